#include "dialogs/set_channels_dlg.h"
#include "dialogs/up_down_ctrl.h"

#include "modal_answerer.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

TEST(SetChannelsDlg, OpensWithTheCountLimitedToOneToEight) {
    const struct {
        int nGiven;
        const char* pszShown;
    } cases[] = {{0, "1"}, {-3, "1"}, {1, "1"}, {2, "2"}, {8, "8"}, {12, "8"}};
    for (const auto& c : cases) {
        CSetChannelsDlg dlg;
        dlg.m_nChannels = c.nGiven;
        dlg.show();
        EXPECT_EQ(dlg.m_pEditChannels->text().toStdString(), c.pszShown) << c.nGiven;
        EXPECT_TRUE(dlg.m_pEditChannels->isReadOnly());
    }
}

TEST(SetChannelsDlg, ArrowsStepWithinTheRangeWithoutWrapping) {
    // Start, presses (+1 up, -1 down), then the count OK hands back.
    const struct {
        int nStart;
        std::vector<int> steps;
        int nExpected;
    } cases[] = {
        {8, {+1}, 8},         {1, {-1}, 1},         {2, {+1, +1}, 4},
        {3, {-1, -1, -1}, 1}, {7, {+1, +1, -1}, 7}, {4, {}, 4},
    };
    for (const auto& c : cases) {
        for (bool bKeys : {false, true}) {
            CSetChannelsDlg dlg;
            dlg.m_nChannels = c.nStart;
            dlg.show();
            for (int nStep : c.steps) {
                if (bKeys)
                    QTest::keyClick(dlg.m_pEditChannels, nStep > 0 ? Qt::Key_Up : Qt::Key_Down);
                else
                    (nStep > 0 ? dlg.m_pSpinChannels->m_pUpButton
                               : dlg.m_pSpinChannels->m_pDownButton)
                        ->click();
            }
            dlg.m_pOkButton->click();
            EXPECT_EQ(dlg.result(), QDialog::Accepted);
            EXPECT_EQ(dlg.m_nChannels, c.nExpected) << c.nStart << (bKeys ? " keys" : " mouse");
        }
    }
}

TEST(SetChannelsDlg, OkReadsTheEditAsASignedNumberWithoutRangeCheck) {
    const struct {
        const char* pszText;
        int nExpected;
    } cases[] = {{"5", 5}, {"", 0}, {"x", 0}, {"12", 12}};
    for (const auto& c : cases) {
        CSetChannelsDlg dlg;
        dlg.m_nChannels = 2;
        dlg.show();
        dlg.m_pEditChannels->setText(QString::fromLatin1(c.pszText));
        dlg.OnOK();
        EXPECT_EQ(dlg.m_nChannels, c.nExpected) << c.pszText;
    }
}

TEST(SetChannelsDlg, CancelAndEscapeLeaveTheCount) {
    for (bool bEscape : {false, true}) {
        CSetChannelsDlg dlg;
        dlg.m_nChannels = 3;
        WhenModal<CSetChannelsDlg>([bEscape](CSetChannelsDlg* pDlg) {
            pDlg->m_pSpinChannels->StepBy(1);
            if (bEscape)
                QTest::keyClick(pDlg, Qt::Key_Escape);
            else
                pDlg->m_pCancelButton->click();
        });
        EXPECT_EQ(dlg.exec(), QDialog::Rejected);
        EXPECT_EQ(dlg.m_nChannels, 3);
    }
}

TEST(SetChannelsDlg, ModalRunWithOkReturnsTheNewCount) {
    CSetChannelsDlg dlg;
    dlg.m_nChannels = 2;
    WhenModal<CSetChannelsDlg>([](CSetChannelsDlg* pDlg) {
        // Focus arrives with window activation, which a loaded machine may deliver late.
        EXPECT_TRUE(QTest::qWaitFor([] { return QApplication::focusWidget() != nullptr; }, 2000));
        EXPECT_EQ(QApplication::focusWidget(), pDlg->m_pOkButton);
        QTest::keyClick(pDlg->m_pEditChannels, Qt::Key_Up);
        QTest::keyClick(pDlg, Qt::Key_Return); // the default button
    });
    EXPECT_EQ(dlg.exec(), QDialog::Accepted);
    EXPECT_EQ(dlg.m_nChannels, 3);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("チャンネル数の設定"));
}
