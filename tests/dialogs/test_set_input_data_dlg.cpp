#include "dialogs/color_wnd.h"
#include "dialogs/dialog_text.h"
#include "dialogs/set_input_data_dlg.h"
#include "dialogs/string_table.h"
#include "dialogs/up_down_ctrl.h"

#include "modal_answerer.h"

#include <QColorDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

SChannelAttr MakeAttr(int i) {
    SChannelAttr attr;
    attr.m_strName = QByteArray("ch") + QByteArray::number(i);
    attr.m_crColor = g_crDefaultColor[i];
    attr.m_nPos = 100 * i;
    attr.m_dVRes = 1.0 + i;
    attr.m_dOffset = -i;
    attr.m_dMultiplier = 2.0;
    attr.m_dAddend = 0.5 * i;
    attr.m_strUnit = "V";
    return attr;
}

/// A dialog as the command prepares it, shown (initialised) but not run modally.
struct SOpenDialog {
    explicit SOpenDialog(int nChannels = 8, int nCur = 0) {
        dlg.m_nChannels = nChannels;
        dlg.m_nCurChannel = nCur;
        for (int i = 0; i < 8; ++i) {
            dlg.m_Attr[i] = MakeAttr(i);
            original[i] = dlg.m_Attr[i];
        }
        dlg.show();
    }
    CSetInputDataDlg dlg;
    SChannelAttr original[8];
};

QString Msg(int nId) {
    return LoadKestString(nId);
}

} // namespace

TEST(SetInputDataDlg, ShowsTheChannelWithPercentG) {
    SOpenDialog o(8, 2);
    o.dlg.m_Attr[2].m_dMultiplier = 1.23456789;
    o.dlg.ShowChannel();
    EXPECT_EQ(o.dlg.m_pEditChannel->text(), QStringLiteral("3"));
    EXPECT_EQ(o.dlg.m_pEditVDiv->text(), QStringLiteral("3"));
    EXPECT_EQ(o.dlg.m_pEditOffset->text(), QStringLiteral("-2"));
    EXPECT_EQ(o.dlg.m_pEditMultiplier->text(), QStringLiteral("1.23457"));
    EXPECT_EQ(o.dlg.m_pEditAddend->text(), QStringLiteral("1"));
    EXPECT_EQ(o.dlg.m_pEditPos->text(), QStringLiteral("200"));
    EXPECT_EQ(o.dlg.m_pEditName->text(), QStringLiteral("ch2"));
    EXPECT_EQ(o.dlg.m_pColorWnd->m_crColor, g_crDefaultColor[2]);
    EXPECT_TRUE(o.dlg.m_bInitDone);
}

TEST(SetInputDataDlg, StoreChannelChecksInOrderAndStoresOnlyWhenAllPass) {
    const struct {
        const char* pszVDiv;
        const char* pszMult;
        const char* pszPos;
        int nMessage; // 0: stored
    } cases[] = {
        {"0", "1", "0", IDS_ERR_VDIV},
        {"-1", "1", "0", IDS_ERR_VDIV},
        {"", "1", "0", IDS_ERR_VDIV},
        {"abc", "1", "0", IDS_ERR_VDIV},
        {"1e400", "1", "0", IDS_ERR_VDIV},
        {"1e-9", "1", "0", 0},
        {"1", "0", "0", IDS_ERR_MULTIPLIER},
        {"1", "0.0", "0", IDS_ERR_MULTIPLIER},
        {"1", "-0", "0", IDS_ERR_MULTIPLIER},
        {"1", "", "0", IDS_ERR_MULTIPLIER},
        {"1", "x", "0", IDS_ERR_MULTIPLIER},
        {"1", "-0.5", "0", 0},
        {"1", "1", "1001", IDS_ERR_POS},
        {"1", "1", "99999999999", IDS_ERR_POS},
        {"1", "1", "1000", 0},
        {"1", "1", "0", 0},
        {"1", "1", "", 0},
        {"0", "0", "5000", IDS_ERR_VDIV},
        {"1", "0", "5000", IDS_ERR_MULTIPLIER},
    };
    for (const auto& c : cases) {
        SOpenDialog o;
        o.dlg.m_pEditVDiv->setText(QString::fromLatin1(c.pszVDiv));
        o.dlg.m_pEditMultiplier->setText(QString::fromLatin1(c.pszMult));
        o.dlg.m_pEditPos->setText(QString::fromLatin1(c.pszPos));
        CBoxAnswerer answerer;
        const bool bStored = o.dlg.StoreChannel();
        const std::string what = std::string(c.pszVDiv) + "|" + c.pszMult + "|" + c.pszPos;
        EXPECT_EQ(bStored, c.nMessage == 0) << what;
        if (c.nMessage != 0) {
            EXPECT_EQ(answerer.Texts(), QStringList{Msg(c.nMessage)}) << what;
            EXPECT_EQ(o.dlg.m_Attr[0], o.original[0]) << what;
            EXPECT_EQ(o.dlg.m_pEditVDiv->text(), QString::fromLatin1(c.pszVDiv)) << what;
        } else {
            EXPECT_TRUE(answerer.m_Boxes.isEmpty()) << what;
            EXPECT_DOUBLE_EQ(o.dlg.m_Attr[0].m_dVRes, TextToDouble(QString::fromLatin1(c.pszVDiv)))
                << what;
            EXPECT_EQ(o.dlg.m_Attr[0].m_nPos, QString::fromLatin1(c.pszPos).toInt()) << what;
        }
    }
}

TEST(SetInputDataDlg, FreeFieldsAreStoredAsTyped) {
    SOpenDialog o;
    o.dlg.m_pEditOffset->setText(QStringLiteral("abc"));
    o.dlg.m_pEditAddend->setText(QStringLiteral(" 2.5d1x"));
    o.dlg.m_pEditName->setText(QString());
    o.dlg.m_pEditUnit->setText(QStringLiteral("℃"));
    ASSERT_TRUE(o.dlg.StoreChannel());
    EXPECT_EQ(o.dlg.m_Attr[0].m_dOffset, 0.0);
    EXPECT_EQ(o.dlg.m_Attr[0].m_dAddend, 25.0);
    EXPECT_TRUE(o.dlg.m_Attr[0].m_strName.isEmpty());
    EXPECT_EQ(o.dlg.m_Attr[0].m_strUnit, QByteArray("\xE2\x84\x83"));
}

TEST(SetInputDataDlg, UneditedTextsKeepTheirBytes) {
    SOpenDialog o;
    // Shift-JIS bytes from a settings file are not valid UTF-8.
    const QByteArray sjis("\x93\xfc\x97\xcd", 4);
    o.dlg.m_Attr[0].m_strName = sjis;
    o.dlg.m_Attr[0].m_strUnit = sjis;
    o.dlg.ShowChannel();
    o.dlg.m_pEditUnit->setText(QStringLiteral("mV"));
    ASSERT_TRUE(o.dlg.StoreChannel());
    EXPECT_EQ(o.dlg.m_Attr[0].m_strName, sjis);
    EXPECT_EQ(o.dlg.m_Attr[0].m_strUnit, QByteArray("mV"));
}

TEST(SetInputDataDlg, ChannelChangeKeepsEditsAndRefusesToLeaveAnInvalidChannel) {
    SOpenDialog o(3, 0);
    o.dlg.m_pEditName->setText(QStringLiteral("first"));
    o.dlg.m_pSpinChannel->m_pUpButton->click();
    EXPECT_EQ(o.dlg.m_nCurChannel, 1);
    EXPECT_EQ(o.dlg.m_Attr[0].m_strName, QByteArray("first"));
    EXPECT_EQ(o.dlg.m_pEditName->text(), QStringLiteral("ch1"));

    o.dlg.m_pEditVDiv->setText(QStringLiteral("0"));
    CBoxAnswerer answerer;
    QTest::keyClick(o.dlg.m_pEditChannel, Qt::Key_Up);
    EXPECT_EQ(answerer.Texts(), QStringList{Msg(IDS_ERR_VDIV)});
    EXPECT_EQ(o.dlg.m_nCurChannel, 1);
    EXPECT_EQ(o.dlg.m_pEditChannel->text(), QStringLiteral("2"));
    EXPECT_EQ(o.dlg.m_pEditVDiv->text(), QStringLiteral("0"));

    // The range is the channel count: the up arrow stops at 3.
    o.dlg.m_pEditVDiv->setText(QStringLiteral("7"));
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(o.dlg.m_pEditChannel, Qt::Key_Up);
    EXPECT_EQ(o.dlg.m_nCurChannel, 2);
    EXPECT_EQ(o.dlg.m_Attr[1].m_dVRes, 7.0);
    EXPECT_EQ(answerer.m_Boxes.size(), 1);
}

TEST(SetInputDataDlg, OpensOnAChannelBeyondTheCount) {
    SOpenDialog o(2, 5);
    EXPECT_EQ(o.dlg.m_pEditChannel->text(), QStringLiteral("6"));
    EXPECT_EQ(o.dlg.m_pEditName->text(), QStringLiteral("ch5"));
    o.dlg.m_pEditName->setText(QStringLiteral("six"));
    o.dlg.OnOK();
    EXPECT_EQ(o.dlg.result(), QDialog::Accepted);
    EXPECT_EQ(o.dlg.m_Attr[5].m_strName, QByteArray("six"));
    EXPECT_EQ(o.dlg.m_nCurChannel, 5);
}

TEST(SetInputDataDlg, OkStoresTheShownChannelAndRoundsOnlyChannelsShown) {
    SOpenDialog o(8, 0);
    for (int i = 0; i < 8; ++i)
        o.dlg.m_Attr[i].m_dMultiplier = 1.23456789;
    o.dlg.ShowChannel();
    o.dlg.m_pEditName->setText(QStringLiteral("a"));
    o.dlg.m_pSpinChannel->StepBy(1);
    o.dlg.m_pEditName->setText(QStringLiteral("b"));
    o.dlg.OnOK();
    EXPECT_EQ(o.dlg.result(), QDialog::Accepted);
    EXPECT_EQ(o.dlg.m_nCurChannel, 1);
    EXPECT_EQ(o.dlg.m_Attr[0].m_strName, QByteArray("a"));
    EXPECT_EQ(o.dlg.m_Attr[1].m_strName, QByteArray("b"));
    EXPECT_EQ(o.dlg.m_Attr[0].m_dMultiplier, 1.23457);
    EXPECT_EQ(o.dlg.m_Attr[1].m_dMultiplier, 1.23457);
    for (int i = 2; i < 8; ++i)
        EXPECT_EQ(o.dlg.m_Attr[i].m_dMultiplier, 1.23456789) << i;
}

TEST(SetInputDataDlg, OkWithAnInvalidFieldStaysOpen) {
    SOpenDialog o;
    o.dlg.m_pEditPos->setText(QStringLiteral("1001"));
    CBoxAnswerer answerer;
    o.dlg.OnOK();
    EXPECT_EQ(answerer.Texts(), QStringList{Msg(IDS_ERR_POS)});
    EXPECT_TRUE(o.dlg.isVisible());
    EXPECT_EQ(o.dlg.m_pEditChannel->text(), QStringLiteral("1"));
}

TEST(SetInputDataDlg, CancelAfterSwitchingHandsNothingBack) {
    SChannelAttr handedIn[8];
    CSetInputDataDlg dlg;
    dlg.m_nChannels = 2;
    for (int i = 0; i < 8; ++i)
        dlg.m_Attr[i] = handedIn[i] = MakeAttr(i);
    WhenModal<CSetInputDataDlg>([](CSetInputDataDlg* pDlg) {
        pDlg->m_pEditName->setText(QStringLiteral("x"));
        pDlg->m_pSpinChannel->StepBy(1);
        pDlg->m_pEditName->setText(QStringLiteral("y"));
        pDlg->m_pCancelButton->click();
    });
    EXPECT_EQ(dlg.exec(), QDialog::Rejected);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(dlg.m_Attr[i], handedIn[i]) << i;
    EXPECT_EQ(dlg.m_nCurChannel, 0);
}

TEST(SetInputDataDlg, ColourDialogSetsTheSwatchOnlyOnOk) {
    for (bool bAccept : {true, false}) {
        SCustomColors custom;
        SOpenDialog o;
        o.dlg.m_pCustomColors = &custom;
        WhenModal<QColorDialog>([bAccept](QColorDialog* pColor) {
            EXPECT_EQ(QColorDialog::customColor(0), QColor(Qt::white));
            QColorDialog::setCustomColor(3, QColor(1, 2, 3));
            pColor->setCurrentColor(QColor(0x11, 0x22, 0x33));
            if (bAccept)
                pColor->accept();
            else
                pColor->reject();
        });
        o.dlg.m_pColorButton->click();
        EXPECT_EQ(o.dlg.m_pColorWnd->m_crColor, bAccept ? 0x332211u : g_crDefaultColor[0]);
        EXPECT_EQ(custom.m_crColors[3], 0x030201u);
        EXPECT_EQ(custom.m_crColors[0], 0xFFFFFFu);
        EXPECT_EQ(o.dlg.m_Attr[0].m_crColor, g_crDefaultColor[0]);
        ASSERT_TRUE(o.dlg.StoreChannel());
        EXPECT_EQ(o.dlg.m_Attr[0].m_crColor, bAccept ? 0x332211u : g_crDefaultColor[0]);
    }
}

TEST(ColorWnd, PaintsItsColourInsideTheEdge) {
    CColorWnd wnd;
    wnd.resize(40, 20);
    const struct {
        COLORREF cr;
        QColor color;
    } cases[] = {{0x0000FF, QColor(255, 0, 0)},
                 {0xFF0000, QColor(0, 0, 255)},
                 {0x808000, QColor(0, 128, 128)}};
    for (const auto& c : cases) {
        wnd.SetColor(c.cr);
        const QImage image = wnd.grab().toImage();
        EXPECT_EQ(image.pixelColor(20, 10), c.color);
        EXPECT_EQ(ColorrefFromColor(ColorFromColorref(c.cr)), c.cr);
    }
}

TEST(SetInputDataDlg, LongTextsShowTheirBeginning) {
    CSetInputDataDlg dlg;
    dlg.m_nChannels = 2;
    for (int i = 0; i < 2; ++i) {
        dlg.m_Attr[i] = MakeAttr(i);
        dlg.m_Attr[i].m_strName = "Channel " + QByteArray::number(i + 1) + " supply voltage";
        dlg.m_Attr[i].m_strUnit = "millivolt per degree";
        dlg.m_Attr[i].m_dOffset = -1.23456e-100;
    }
    dlg.show();
    // On opening, and after the selector has brought another channel into the same fields.
    for (int nStep = 0; nStep < 2; ++nStep) {
        SCOPED_TRACE(nStep);
        if (nStep == 1)
            dlg.m_pSpinChannel->m_pUpButton->click();
        ASSERT_EQ(dlg.m_nCurChannel, nStep);
        for (QLineEdit* pEdit : {dlg.m_pEditName, dlg.m_pEditUnit, dlg.m_pEditOffset}) {
            SCOPED_TRACE(pEdit->objectName().toStdString());
            ASSERT_GT(pEdit->fontMetrics().horizontalAdvance(pEdit->text()),
                      pEdit->contentsRect().width())
                << "the text must be longer than its field";
            EXPECT_EQ(pEdit->cursorPosition(), 0);
        }
    }
}
