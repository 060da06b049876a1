#include "dialogs/set_comm_dlg.h"
#include "dialogs/set_horiz_dlg.h"
#include "dialogs/string_table.h"

#include "modal_answerer.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

TEST(SetHorizDlg, OpensWithTheValueLimited) {
    const struct {
        int nGiven;
        const char* pszShown;
    } cases[] = {{100, "100"}, {0, "1"}, {-5, "1"}, {10001, "10000"}, {50, "50"}};
    for (const auto& c : cases) {
        CSetHorizDlg dlg;
        dlg.m_nSamplesPerDiv = c.nGiven;
        dlg.show();
        EXPECT_EQ(dlg.m_pEditHoriz->text().toStdString(), c.pszShown);
        EXPECT_EQ(dlg.m_nSamplesPerDiv, c.nGiven);
    }
}

TEST(SetHorizDlg, OkAcceptsOneToTenThousandOnly) {
    const struct {
        const char* pszText;
        bool bAccepted;
        int nStored;
    } cases[] = {
        {"1", true, 1},      {"10000", true, 10000},      {"00050", true, 50},
        {"0", false, 100},   {"10001", false, 100},       {"", false, 100},
        {"abc", false, 100}, {"99999999999", false, 100},
    };
    for (const auto& c : cases) {
        CSetHorizDlg dlg;
        dlg.show();
        dlg.m_pEditHoriz->setText(QString::fromLatin1(c.pszText));
        CBoxAnswerer answerer;
        dlg.m_pOkButton->click();
        EXPECT_EQ(dlg.result() == QDialog::Accepted, c.bAccepted) << c.pszText;
        EXPECT_EQ(dlg.isVisible(), !c.bAccepted) << c.pszText;
        EXPECT_EQ(dlg.m_nSamplesPerDiv, c.nStored) << c.pszText;
        EXPECT_EQ(answerer.Texts(),
                  c.bAccepted ? QStringList() : QStringList{LoadKestString(IDS_ERR_RANGE)})
            << c.pszText;
    }
}

namespace {

struct SComm {
    int m_nPort, m_nBaudRate, m_nByteSize, m_nParity, m_nStopBits;
};

void Fill(CSetCommDlg& dlg, const SComm& comm) {
    dlg.m_nPort = comm.m_nPort;
    dlg.m_nBaudRate = comm.m_nBaudRate;
    dlg.m_nByteSize = comm.m_nByteSize;
    dlg.m_nParity = comm.m_nParity;
    dlg.m_nStopBits = comm.m_nStopBits;
}

} // namespace

TEST(SetCommDlg, OpensOnTheStoredValuesOrTheFallBacksAndOkKeepsThem) {
    const struct {
        SComm in;
        const char* pszPort;
        const char* pszBaud;
        int nBaudIndex;
        const char* pszByteSize;
        int nParityString;
        int nStopString;
        SComm out;
    } cases[] = {
        {{1, 9600, 8, 0, 0},
         "COM1",
         "9600bps",
         5,
         "8bit",
         IDS_PARITY_NONE,
         IDS_STOPBITS_1,
         {1, 9600, 8, 0, 0}},
        {{32, 300, 7, 2, 1},
         "COM32",
         "300bps",
         0,
         "7bit",
         IDS_PARITY_EVEN,
         IDS_STOPBITS_15,
         {32, 300, 7, 2, 1}},
        {{3, 128000, 6, 1, 2},
         "COM3",
         "128000bps",
         10,
         "6bit",
         IDS_PARITY_ODD,
         IDS_STOPBITS_2,
         {3, 128000, 6, 1, 2}},
        {{40, 250000, 5, 3, 5},
         "COM1",
         "250000bps",
         -1,
         "6bit",
         IDS_PARITY_ODD,
         IDS_STOPBITS_2,
         {1, 250000, 6, 1, 2}},
        {{0, 100, 9, -1, -1},
         "COM1",
         "100bps",
         -1,
         "6bit",
         IDS_PARITY_ODD,
         IDS_STOPBITS_2,
         {1, 300, 6, 1, 2}},
    };
    for (const auto& c : cases) {
        CSetCommDlg dlg;
        Fill(dlg, c.in);
        dlg.show();
        EXPECT_EQ(dlg.m_pComboPort->currentText().toStdString(), c.pszPort);
        EXPECT_EQ(dlg.m_pComboBaud->currentText().toStdString(), c.pszBaud);
        EXPECT_EQ(dlg.m_pComboBaud->currentIndex(), c.nBaudIndex);
        EXPECT_EQ(dlg.m_pComboByteSize->currentText().toStdString(), c.pszByteSize);
        EXPECT_EQ(dlg.m_pComboParity->currentText(), LoadKestString(c.nParityString));
        EXPECT_EQ(dlg.m_pComboStopBits->currentText(), LoadKestString(c.nStopString));
        dlg.m_pOkButton->click();
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
        EXPECT_EQ(dlg.m_nPort, c.out.m_nPort);
        EXPECT_EQ(dlg.m_nBaudRate, c.out.m_nBaudRate);
        EXPECT_EQ(dlg.m_nByteSize, c.out.m_nByteSize);
        EXPECT_EQ(dlg.m_nParity, c.out.m_nParity);
        EXPECT_EQ(dlg.m_nStopBits, c.out.m_nStopBits);
    }
}

TEST(SetCommDlg, ListsHoldTheirItemsInOrder) {
    CSetCommDlg dlg;
    Fill(dlg, {1, 9600, 8, 0, 0});
    dlg.show();
    EXPECT_EQ(dlg.m_pComboPort->count(), 32);
    EXPECT_FALSE(dlg.m_pComboPort->isEditable());
    EXPECT_TRUE(dlg.m_pComboBaud->isEditable());
    EXPECT_EQ(dlg.m_pComboPort->itemText(31), QStringLiteral("COM32"));
    QStringList bauds, parity;
    for (int i = 0; i < dlg.m_pComboBaud->count(); ++i)
        bauds << dlg.m_pComboBaud->itemText(i);
    for (int i = 0; i < dlg.m_pComboParity->count(); ++i)
        parity << dlg.m_pComboParity->itemText(i);
    EXPECT_EQ(bauds.join(u','), QStringLiteral("300bps,600bps,1200bps,2400bps,4800bps,9600bps,"
                                               "19200bps,38400bps,57600bps,115200bps,128000bps"));
    EXPECT_EQ(parity, (QStringList{QStringLiteral("パリティなし"), QStringLiteral("偶数パリティ"),
                                   QStringLiteral("奇数パリティ")}));
}

TEST(SetCommDlg, ChoicesMapThroughTheTables) {
    const struct {
        int nPortIndex, nByteIndex, nParityIndex, nStopIndex;
        SComm out;
    } cases[] = {
        {4, 1, 1, 1, {5, 9600, 7, 2, 1}},
        {0, 2, 2, 0, {1, 9600, 8, 1, 0}},
        {31, 0, 0, 2, {32, 9600, 6, 0, 2}},
    };
    for (const auto& c : cases) {
        CSetCommDlg dlg;
        Fill(dlg, {2, 9600, 8, 0, 0});
        dlg.show();
        dlg.m_pComboPort->setCurrentIndex(c.nPortIndex);
        dlg.m_pComboByteSize->setCurrentIndex(c.nByteIndex);
        dlg.m_pComboParity->setCurrentIndex(c.nParityIndex);
        dlg.m_pComboStopBits->setCurrentIndex(c.nStopIndex);
        dlg.OnOK();
        EXPECT_EQ(dlg.m_nPort, c.out.m_nPort);
        EXPECT_EQ(dlg.m_nByteSize, c.out.m_nByteSize);
        EXPECT_EQ(dlg.m_nParity, c.out.m_nParity);
        EXPECT_EQ(dlg.m_nStopBits, c.out.m_nStopBits);
    }
}

TEST(SetCommDlg, TypedBaudRateIsReadLikeAtoiAndLimited) {
    const struct {
        const char* pszTyped;
        int nExpected;
    } cases[] = {
        {"100", 300},         {"bps", 300},         {"", 300},
        {"9600 bps", 9600},   {"  19200", 19200},   {"250000", 250000},
        {"3200000", 3200000}, {"3200001", 3200000}, {"99999999999", 3200000},
        {"-9600", 300},       {"14400bps", 14400},
    };
    for (const auto& c : cases) {
        CSetCommDlg dlg;
        Fill(dlg, {1, 9600, 8, 0, 0});
        dlg.show();
        dlg.m_pComboBaud->lineEdit()->clear();
        QTest::keyClicks(dlg.m_pComboBaud->lineEdit(), QString::fromLatin1(c.pszTyped));
        QTest::keyClick(dlg.m_pComboBaud->lineEdit(), Qt::Key_Return);
        EXPECT_EQ(dlg.result(), QDialog::Accepted) << c.pszTyped;
        EXPECT_EQ(dlg.m_nBaudRate, c.nExpected) << c.pszTyped;
        EXPECT_EQ(dlg.m_pComboBaud->count(), 11) << c.pszTyped;
    }
}

TEST(SetCommDlg, PortItemsNameTheirDeviceInTooltipsOnly) {
    CSetCommDlg dlg;
    Fill(dlg, {2, 9600, 8, 0, 0});
    dlg.m_fnDeviceForPort = [](int nPort) { return QStringLiteral("/dev/ttyS%1").arg(nPort - 1); };
    dlg.show();
    EXPECT_EQ(dlg.m_pComboPort->itemText(1), QStringLiteral("COM2"));
    EXPECT_EQ(dlg.m_pComboPort->itemData(1, Qt::ToolTipRole).toString(),
              QStringLiteral("/dev/ttyS1"));
}

TEST(SetCommDlg, CancelAfterChangingEveryListKeepsTheMembers) {
    CSetCommDlg dlg;
    Fill(dlg, {3, 19200, 7, 2, 1});
    WhenModal<CSetCommDlg>([](CSetCommDlg* pDlg) {
        pDlg->m_pComboPort->setCurrentIndex(0);
        pDlg->m_pComboBaud->setCurrentIndex(0);
        pDlg->m_pComboByteSize->setCurrentIndex(2);
        pDlg->m_pComboParity->setCurrentIndex(0);
        pDlg->m_pComboStopBits->setCurrentIndex(0);
        EXPECT_EQ(QApplication::focusWidget(), pDlg->m_pComboPort);
        QTest::keyClick(pDlg, Qt::Key_Escape);
    });
    EXPECT_EQ(dlg.exec(), QDialog::Rejected);
    EXPECT_EQ(dlg.m_nPort, 3);
    EXPECT_EQ(dlg.m_nBaudRate, 19200);
    EXPECT_EQ(dlg.m_nByteSize, 7);
    EXPECT_EQ(dlg.m_nParity, 2);
    EXPECT_EQ(dlg.m_nStopBits, 1);
}
