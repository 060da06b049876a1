#include "dialogs/set_channels_dlg.h"
#include "dialogs/set_comm_dlg.h"
#include "dialogs/set_horiz_dlg.h"
#include "dialogs/set_input_data_dlg.h"

#include <QDir>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

#include <memory>

namespace {

struct SNamedDialog {
    const char* pszFile;
    std::unique_ptr<QDialog> pDlg;
};

std::vector<SNamedDialog> MakeDialogs() {
    std::vector<SNamedDialog> list;
    auto pChannels = std::make_unique<CSetChannelsDlg>();
    pChannels->m_nChannels = 2;
    list.push_back({"dlg_channels.png", std::move(pChannels)});

    auto pInput = std::make_unique<CSetInputDataDlg>();
    pInput->m_nChannels = 4;
    pInput->m_nCurChannel = 1;
    pInput->m_Attr[1].m_strName = "温度";
    pInput->m_Attr[1].m_strUnit = "℃";
    pInput->m_Attr[1].m_crColor = g_crDefaultColor[1];
    pInput->m_Attr[1].m_nPos = 500;
    pInput->m_Attr[1].m_dMultiplier = 0.125;
    list.push_back({"dlg_inputdata.png", std::move(pInput)});

    auto pHoriz = std::make_unique<CSetHorizDlg>();
    list.push_back({"dlg_horiz.png", std::move(pHoriz)});

    auto pComm = std::make_unique<CSetCommDlg>();
    pComm->m_nPort = 3;
    pComm->m_nBaudRate = 9600;
    pComm->m_nByteSize = 8;
    pComm->m_nParity = 0;
    pComm->m_nStopBits = 0;
    list.push_back({"dlg_comm.png", std::move(pComm)});
    return list;
}

} // namespace

TEST(DialogLook, TextsFitTheirControlsAndControlsStayInside) {
    for (SNamedDialog& d : MakeDialogs()) {
        d.pDlg->show();
        const QRect client = d.pDlg->rect();
        for (QWidget* pChild : d.pDlg->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            EXPECT_TRUE(client.contains(pChild->geometry())) << d.pszFile;
            const QFontMetrics fm(pChild->font());
            if (auto* pLabel = qobject_cast<QLabel*>(pChild)) {
                EXPECT_LE(fm.horizontalAdvance(pLabel->text()), pLabel->contentsRect().width())
                    << d.pszFile << " " << pLabel->text().toStdString();
                EXPECT_LE(fm.height(), pLabel->height()) << pLabel->text().toStdString();
            }
            if (auto* pButton = qobject_cast<QPushButton*>(pChild)) {
                EXPECT_LE(fm.horizontalAdvance(pButton->text()) + 8, pButton->width())
                    << d.pszFile << " " << pButton->text().toStdString();
            }
        }
    }
}

TEST(DialogLook, WritesScreenshotsWhenAsked) {
    const QString dir = qEnvironmentVariable("KEST_SCREENSHOT_DIR");
    if (dir.isEmpty())
        GTEST_SKIP() << "KEST_SCREENSHOT_DIR not set";
    QDir().mkpath(dir);
    for (SNamedDialog& d : MakeDialogs()) {
        d.pDlg->show();
        const QString path = QDir(dir).filePath(QString::fromLatin1(d.pszFile));
        EXPECT_TRUE(d.pDlg->grab().save(path)) << path.toStdString();
    }
}
