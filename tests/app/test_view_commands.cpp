// The settings commands of the view end to end: confirmations and dialogs answered from timers,
// file picks scripted, and the document, the view, the caption and the profile checked after.
#include "app_test_util.h"

#include "app/command_ids.h"
#include "dialogs/set_channels_dlg.h"
#include "dialogs/set_comm_dlg.h"
#include "dialogs/set_horiz_dlg.h"
#include "dialogs/set_input_data_dlg.h"
#include "dialogs/set_publish_dlg.h"
#include "dialogs/string_table.h"
#include "dialogs/up_down_ctrl.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <optional>

namespace {

QByteArray ReadAll(const QString& strPath) {
    QFile f(strPath);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

/// Section names of an INI file in the order they appear.
QStringList Sections(const QString& strPath) {
    QStringList list;
    for (const QByteArray& line : ReadAll(strPath).split('\n')) {
        const QByteArray t = line.trimmed();
        if (t.startsWith('[') && t.endsWith(']'))
            list << QString::fromLatin1(t.mid(1, t.size() - 2));
    }
    return list;
}

void WriteFile(const QString& strPath, const QByteArray& bytes) {
    QFile f(strPath);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

/// A view over nRows rows of nChannels channels, showing an earlier CSV file in its caption.
struct SCommandFixture : SViewFixture {
    SCommandFixture(int nChannels, int nRows) {
        m_Doc.InitLogData(nChannels, 65536, 65536);
        for (int i = 0; i < nRows; ++i) {
            const double row[8] = {1, 2, 3, 4, 5, 6, 7, 8};
            m_Doc.AddRow(row);
        }
        m_pView->m_strLogPath = QStringLiteral("/old/run.csv");
        m_pView->UpdateTitle(m_pView->m_strLogPath);
    }
    int Rows() const { return m_Doc.m_LogData[0].m_nCount; }
    QString Caption() const { return m_pView->window()->windowTitle(); }
    int ProfileInt(const char* pszSection, const char* pszKey) const {
        return m_pProfile->GetProfileInt(pszSection, pszKey, -1);
    }
    bool ProfileExists() const { return QFile::exists(m_pProfile->GetPath()); }
};

const QString kOldCaption = QStringLiteral("KEST-run.csv");

TEST(ViewCommands, ChannelCount) {
    struct SCase {
        const char* pszName;
        QMessageBox::StandardButton nConfirm;
        std::optional<int> newCount; // none: the dialog is cancelled
        int nChannels;
        int nSel;
        int nDialogs;
        int nChannelsAfter;
        int nSelAfter;
        bool bReset; // samples gone, profile written, caption and path cleared
    };
    const SCase cases[] = {
        {"confirmation cancelled", QMessageBox::Cancel, 4, 4, 0, 0, 4, 0, false},
        {"dialog cancelled", QMessageBox::Ok, std::nullopt, 4, 3, 1, 4, 3, false},
        {"OK without a change still resets", QMessageBox::Ok, 4, 4, 3, 1, 4, 3, true},
        {"fewer channels move the selection", QMessageBox::Ok, 3, 8, 5, 1, 3, 2, true},
        {"a selection within the new count stays", QMessageBox::Ok, 3, 8, 1, 1, 3, 1, true},
        {"more channels", QMessageBox::Ok, 8, 2, 1, 1, 8, 1, true},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        SCommandFixture fx(c.nChannels, 5);
        fx.m_pView->m_Graph.m_nSelChannel = c.nSel;
        QString strShown;
        CDialogAnswerer<CSetChannelsDlg> dialog([&](CSetChannelsDlg* pDlg) {
            strShown = pDlg->m_pEditChannels->text();
            if (!c.newCount) {
                pDlg->m_pCancelButton->click();
                return;
            }
            pDlg->m_pSpinChannels->StepBy(*c.newCount - c.nChannels);
            pDlg->m_pOkButton->click();
        });
        CBoxAnswerer box(c.nConfirm);
        EXPECT_TRUE(fx.m_pView->RunCommand(ID_SET_CHANNELS));
        EXPECT_EQ(box.Texts(), QStringList{LoadKestString(IDS_CONFIRM_CHANNELS)});
        EXPECT_EQ(dialog.m_nShown, c.nDialogs);
        if (c.nDialogs > 0) {
            EXPECT_EQ(strShown, QString::number(c.nChannels)) << "opens on the current count";
        }
        EXPECT_EQ(fx.m_Doc.m_nChannels, c.nChannelsAfter);
        EXPECT_EQ(fx.m_pView->m_Graph.m_nSelChannel, c.nSelAfter);
        EXPECT_EQ(fx.Rows(), c.bReset ? 0 : 5);
        EXPECT_EQ(fx.ProfileInt("Setting", "Channels"), c.bReset ? c.nChannelsAfter : -1);
        EXPECT_EQ(fx.Caption(), c.bReset ? QStringLiteral("KEST") : kOldCaption);
        EXPECT_EQ(fx.m_pView->m_strLogPath, c.bReset ? QString() : QStringLiteral("/old/run.csv"));
        // Only the channel count is written.
        EXPECT_EQ(Sections(fx.m_pProfile->GetPath()),
                  c.bReset ? QStringList{QStringLiteral("Setting")} : QStringList{});
    }
}

TEST(ViewCommands, HorizontalSetting) {
    struct SCase {
        const char* pszName;
        const char* pszTyped; // null: Cancel
        int nAfter;
        int nProfile;
    };
    const SCase cases[] = {
        {"OK with 250", "250", 250, 250},
        {"OK with the largest", "10000", 10000, 10000},
        {"OK unchanged", "100", 100, 100},
        {"Cancel", nullptr, 100, -1},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        SCommandFixture fx(2, 7);
        QString strShown;
        CDialogAnswerer<CSetHorizDlg> dialog([&](CSetHorizDlg* pDlg) {
            strShown = pDlg->m_pEditHoriz->text();
            if (c.pszTyped == nullptr) {
                pDlg->m_pCancelButton->click();
                return;
            }
            pDlg->m_pEditHoriz->setText(QString::fromLatin1(c.pszTyped));
            pDlg->m_pOkButton->click();
        });
        EXPECT_TRUE(fx.m_pView->RunCommand(ID_SET_HORIZ));
        EXPECT_EQ(dialog.m_nShown, 1);
        EXPECT_EQ(strShown, QStringLiteral("100"));
        EXPECT_EQ(fx.m_pView->m_Graph.m_nSamplesPerDiv, c.nAfter);
        EXPECT_EQ(fx.ProfileInt("HSetting", "Res"), c.nProfile);
        EXPECT_EQ(fx.Rows(), 7) << "the samples stay";
        EXPECT_EQ(fx.Caption(), kOldCaption);
    }
}

TEST(ViewCommands, CommSetting) {
    struct SCase {
        const char* pszName;
        bool bOk;
        int nPortIndex;
        const char* pszBaud;
        int nByteIndex, nParityIndex, nStopIndex;
        int expected[5]; // port, baud, byte size, parity, stop bits afterwards
    };
    const SCase cases[] = {
        {"COM5 19200 7 bits even parity two stop bits",
         true,
         4,
         "19200bps",
         1,
         1,
         2,
         {5, 19200, 7, 2, 2}},
        {"typed rate outside the list, odd parity",
         true,
         0,
         "250000bps",
         2,
         2,
         1,
         {1, 250000, 8, 1, 1}},
        {"typed rate below the lowest", true, 31, "12", 0, 0, 0, {32, 300, 6, 0, 0}},
        {"Cancel after changes", false, 4, "19200bps", 1, 1, 2, {1, 9600, 8, 0, 0}},
    };
    const char* const keys[5] = {"Port", "BaudRate", "ByteSize", "Parity", "StopBits"};
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        SCommandFixture fx(2, 3);
        CDialogAnswerer<CSetCommDlg> dialog([&](CSetCommDlg* pDlg) {
            pDlg->m_pComboPort->setCurrentIndex(c.nPortIndex);
            pDlg->m_pComboBaud->setEditText(QString::fromLatin1(c.pszBaud));
            pDlg->m_pComboByteSize->setCurrentIndex(c.nByteIndex);
            pDlg->m_pComboParity->setCurrentIndex(c.nParityIndex);
            pDlg->m_pComboStopBits->setCurrentIndex(c.nStopIndex);
            (c.bOk ? pDlg->m_pOkButton : pDlg->m_pCancelButton)->click();
        });
        EXPECT_TRUE(fx.m_pView->RunCommand(ID_SET_COMM));
        EXPECT_EQ(dialog.m_nShown, 1);
        const SCommSetting& comm = fx.m_pView->m_Comm;
        const int actual[5] = {comm.m_nPort, static_cast<int>(comm.m_nBaudRate), comm.m_nByteSize,
                               comm.m_nParity, comm.m_nStopBits};
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(actual[i], c.expected[i]) << keys[i];
            EXPECT_EQ(fx.ProfileInt("Comm", keys[i]), c.bOk ? c.expected[i] : -1) << keys[i];
        }
        EXPECT_EQ(fx.ProfileExists(), c.bOk) << "Cancel writes nothing";
        EXPECT_EQ(fx.Rows(), 3);
    }
}

// The broker dialog from its command: OK writes the whole section at once, Cancel nothing; the
// test button connects with the document's channels and the port's default topic.
TEST(ViewCommands, SetPublishWritesTheProfileOnOkOnly) {
    for (const bool bOk : {true, false}) {
        SCOPED_TRACE(bOk ? "OK" : "Cancel");
        SCommandFixture fx(3, 2);
        SPublisherConfig tested;
        fx.m_pView->m_fnTestBroker = [&](const SPublisherConfig& config) {
            tested = config;
            return SBrokerTestResult{true, EBrokerState::Connected, EPublishProblem::None, {}};
        };
        CDialogAnswerer<CSetPublishDlg> dialog([&](CSetPublishDlg* pDlg) {
            pDlg->m_pCheckEnable->setChecked(true);
            pDlg->m_pEditUrl->setText(QStringLiteral("mqtt://lab-broker:1884"));
            pDlg->m_pComboFormat->setCurrentIndex(2);
            pDlg->m_pEditQueue->setText(QStringLiteral("5000"));
            pDlg->m_pTestButton->click();
            EXPECT_TRUE(QTest::qWaitFor([&] { return !pDlg->IsTesting(); }));
            EXPECT_EQ(pDlg->m_pTestResult->text(), LoadKestString(IDS_PUBLISH_TEST_OK));
            (bOk ? pDlg->m_pOkButton : pDlg->m_pCancelButton)->click();
        });
        EXPECT_TRUE(fx.m_pView->RunCommand(ID_SET_PUBLISH));
        EXPECT_EQ(dialog.m_nShown, 1);
        EXPECT_EQ(tested.m_Settings.m_strUrl, QStringLiteral("mqtt://lab-broker:1884"));
        EXPECT_EQ(tested.m_nChannels, 3);
        EXPECT_EQ(fx.m_pView->m_Publish.m_bEnabled, bOk);
        EXPECT_EQ(fx.ProfileInt("Publish", "Enabled"), bOk ? 1 : -1);
        EXPECT_EQ(fx.ProfileInt("Publish", "QueueLines"), bOk ? 5000 : -1);
        EXPECT_EQ(fx.m_pProfile->GetProfileString("Publish", "Format", "none"),
                  bOk ? QByteArray("influx") : QByteArray("none"));
        EXPECT_EQ(fx.m_pProfile->GetProfileString("Publish", "Url", ""),
                  bOk ? QByteArray("mqtt://lab-broker:1884") : QByteArray());
    }
}

TEST(ViewCommands, SaveSetting) {
    struct SCase {
        const char* pszName;
        const char* pszPick; // relative to the temporary directory; null: the user cancels
        bool bWritten;
        QStringList messages;
    };
    const SCase cases[] = {
        {"saved", "a.cfg", true, {}},
        {"cancelled", nullptr, false, {}},
        {"missing directory", "nodir/a.cfg", false, {LoadKestString(IDS_ERR_SAVE_SETTING_OPEN)}},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        SCommandFixture fx(3, 4);
        fx.m_pView->m_Graph.m_nSamplesPerDiv = 250;
        fx.m_pView->m_Comm.m_nPort = 7;
        fx.m_Doc.GetChannelAttr(1).m_strName = "Probe A";
        fx.m_Doc.GetChannelAttr(7).m_dVRes = 0.1234567;
        fx.m_strNextPick = c.pszPick ? fx.Path(c.pszPick) : QString();
        CBoxAnswerer box;
        EXPECT_TRUE(fx.m_pView->RunCommand(ID_SAVE_SETTING));
        EXPECT_EQ(box.Texts(), c.messages);
        ASSERT_EQ(fx.m_Requests.size(), 1);
        EXPECT_TRUE(fx.m_Requests[0].m_bSave);
        EXPECT_EQ(fx.m_Requests[0].m_strTitle, LoadKestString(IDS_SAVE_SETTING_TITLE));
        EXPECT_EQ(fx.m_Requests[0].m_strFilterName, QStringLiteral("CFG file(*.cfg)"));
        EXPECT_EQ(fx.m_Requests[0].m_strExtension, QStringLiteral("cfg"));
        EXPECT_FALSE(fx.ProfileExists()) << "saving never touches the profile";
        EXPECT_EQ(fx.Rows(), 4);
        if (!c.bWritten) {
            EXPECT_FALSE(c.pszPick && QFile::exists(fx.m_strNextPick));
            continue;
        }
        const QByteArray text = ReadAll(fx.m_strNextPick);
        ASSERT_TRUE(text.endsWith("#END\r\n"));
        QList<QByteArray> lines = text.split('\n');
        lines.removeLast(); // after the last line end
        ASSERT_EQ(lines.size(), 93);
        for (QByteArray& line : lines) {
            ASSERT_TRUE(line.endsWith('\r')) << line.constData();
            line.chop(1);
        }
        EXPECT_FALSE(text.contains("\r\r"));
        // Line numbers from 1, as the file is read by a person.
        const std::pair<int, const char*> expected[] = {
            {1, "#Comm"},          {2, "Port,7"},       {9, "Channels,3"},    {12, "Res,250"},
            {14, "#VSetting,1"},   {24, "#VSetting,2"}, {28, "Name,Probe A"}, {84, "#VSetting,8"},
            {85, "VRes,0.123457"}, {93, "#END"},
        };
        for (const auto& [nLine, pszText] : expected)
            EXPECT_EQ(lines[nLine - 1], QByteArray(pszText)) << nLine;
    }
}

TEST(ViewCommands, LoadSetting) {
    struct SCase {
        const char* pszName;
        QMessageBox::StandardButton nConfirm;
        const char* pszPick;    // relative to the temporary directory; null: the user cancels
        const char* pszContent; // written to the pick first; null: no such file
        QList<int> messages;
        bool bApplied; // profile rewritten, caption and path cleared
        int nChannelsAfter;
        int nRowsAfter;
    };
    const SCase cases[] = {
        {"confirmation cancelled",
         QMessageBox::Cancel,
         "a.cfg",
         "#Setting\nChannels,5\n#END\n",
         {IDS_CONFIRM_LOAD_SETTING},
         false,
         4,
         6},
        {"file dialog cancelled",
         QMessageBox::Ok,
         nullptr,
         nullptr,
         {IDS_CONFIRM_LOAD_SETTING},
         false,
         4,
         6},
        {"file that cannot be opened",
         QMessageBox::Ok,
         "missing.cfg",
         nullptr,
         {IDS_CONFIRM_LOAD_SETTING, IDS_ERR_LOAD_SETTING_OPEN},
         false,
         4,
         6},
        {"file without any section",
         QMessageBox::Ok,
         "plain.cfg",
         "hello\r\nPort,5\r\nChannels,1\r\n#END\r\n",
         {IDS_CONFIRM_LOAD_SETTING},
         true,
         4,
         6},
        {"file with sections",
         QMessageBox::Ok,
         "some.cfg",
         "#Comm\nPort,9\n#END\n#Setting\nChannels,3\n#END\n#VSetting,2\nName,Probe\nPos,1500\n"
         "#END\n#HSetting\nRes,0\n#END\n",
         {IDS_CONFIRM_LOAD_SETTING},
         true,
         3,
         0},
    };
    const QStringList profileOrder = {"Comm",      "Setting",   "VSetting1", "VSetting2",
                                      "VSetting3", "VSetting4", "VSetting5", "VSetting6",
                                      "VSetting7", "VSetting8", "HSetting"};
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        SCommandFixture fx(4, 6);
        fx.m_pView->m_Graph.m_nSelChannel = 3;
        if (c.pszPick)
            fx.m_strNextPick = fx.Path(c.pszPick);
        if (c.pszContent)
            WriteFile(fx.m_strNextPick, c.pszContent);
        CBoxAnswerer box(c.nConfirm);
        EXPECT_TRUE(fx.m_pView->RunCommand(ID_LOAD_SETTING));
        QStringList messages;
        for (int nId : c.messages)
            messages << LoadKestString(nId);
        EXPECT_EQ(box.Texts(), messages);
        EXPECT_EQ(fx.m_Requests.size(), c.nConfirm == QMessageBox::Ok ? 1 : 0);
        if (!fx.m_Requests.isEmpty()) {
            EXPECT_FALSE(fx.m_Requests[0].m_bSave);
            EXPECT_EQ(fx.m_Requests[0].m_strTitle, LoadKestString(IDS_LOAD_SETTING_TITLE));
            EXPECT_EQ(fx.m_Requests[0].m_strFilterName, QStringLiteral("CFG file(*.cfg)"));
        }
        EXPECT_EQ(fx.m_Doc.m_nChannels, c.nChannelsAfter);
        EXPECT_EQ(fx.Rows(), c.nRowsAfter);
        EXPECT_EQ(fx.m_pView->m_Graph.m_nSelChannel, 3) << "the selection is never changed";
        EXPECT_EQ(fx.Caption(), c.bApplied ? QStringLiteral("KEST") : kOldCaption);
        EXPECT_EQ(fx.m_pView->m_strLogPath,
                  c.bApplied ? QString() : QStringLiteral("/old/run.csv"));
        if (!c.bApplied) {
            EXPECT_FALSE(fx.ProfileExists());
            EXPECT_EQ(fx.m_pView->m_Comm.m_nPort, 1);
            continue;
        }
        EXPECT_EQ(Sections(fx.m_pProfile->GetPath()), profileOrder);
        // The profile holds what the view holds now.
        EXPECT_EQ(fx.ProfileInt("Comm", "Port"), fx.m_pView->m_Comm.m_nPort);
        EXPECT_EQ(fx.ProfileInt("Setting", "Channels"), c.nChannelsAfter);
        EXPECT_EQ(fx.ProfileInt("HSetting", "Res"), fx.m_pView->m_Graph.m_nSamplesPerDiv);
        EXPECT_EQ(fx.ProfileInt("VSetting2", "Pos"), fx.m_Doc.GetChannelAttr(1).m_nPos);
        EXPECT_EQ(fx.m_pProfile->GetProfileString("VSetting2", "Name", "?"),
                  fx.m_Doc.GetChannelAttr(1).m_strName);
    }
}

TEST(ViewCommands, LoadSettingAppliesSectionsThroughTheClamps) {
    SCommandFixture fx(4, 6);
    fx.m_strNextPick = fx.Path("some.cfg");
    WriteFile(fx.m_strNextPick, "#Comm\nPort,9\nByteSize,264\n#END\n#VSetting,2\nName,Probe\n"
                                "Pos,1500\n#END\n#HSetting\nRes,0\n#END\n");
    CBoxAnswerer box;
    fx.m_pView->RunCommand(ID_LOAD_SETTING);
    EXPECT_EQ(fx.m_pView->m_Comm.m_nPort, 9);
    EXPECT_EQ(fx.m_pView->m_Comm.m_nByteSize, 8);
    EXPECT_EQ(fx.m_Doc.GetChannelAttr(1).m_strName, QByteArray("Probe"));
    EXPECT_EQ(fx.m_Doc.GetChannelAttr(1).m_nPos, 1000);
    EXPECT_EQ(fx.m_pView->m_Graph.m_nSamplesPerDiv, 1);
    EXPECT_EQ(fx.Rows(), 6) << "without a #Setting section the samples stay";
    EXPECT_EQ(fx.ProfileInt("VSetting2", "Pos"), 1000);
    EXPECT_EQ(fx.ProfileInt("HSetting", "Res"), 1);
    EXPECT_EQ(fx.ProfileInt("Comm", "ByteSize"), 8);
}

TEST(ViewCommands, ChannelAttributes) {
    struct SCase {
        const char* pszName;
        int nChannels;
        int nSel;
        int nStep; // selector steps before the edits
        bool bOk;
        int nShownFirst;
        int nSelAfter;
    };
    const SCase cases[] = {
        {"switch to CH3, edit, OK", 4, 1, 1, true, 1, 2},
        {"edit CH2, OK", 4, 1, 0, true, 1, 1},
        {"selection beyond the count opens there", 2, 5, 0, true, 5, 5},
        {"switch, edit, Cancel", 4, 1, 1, false, 1, 1},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        SCommandFixture fx(c.nChannels, 2);
        fx.m_pView->m_Graph.m_nSelChannel = c.nSel;
        fx.m_Doc.GetChannelAttr(0).m_strName = "Keep";
        const int nEdited = c.nSel + c.nStep;
        int nShown = -1;
        QString strSelector;
        CDialogAnswerer<CSetInputDataDlg> dialog([&](CSetInputDataDlg* pDlg) {
            nShown = pDlg->m_nCurChannel;
            strSelector = pDlg->m_pEditChannel->text();
            if (c.nStep != 0)
                pDlg->m_pSpinChannel->StepBy(c.nStep);
            pDlg->m_pEditName->setText(QStringLiteral("Fan"));
            pDlg->m_pEditPos->setText(QStringLiteral("250"));
            // Working copies of channels never shown: only the command's store can correct them.
            pDlg->m_Attr[6].m_nPos = 5000;
            pDlg->m_Attr[7].m_dVRes = -1.0;
            pDlg->m_Attr[4].m_dMultiplier = 0.0;
            (c.bOk ? pDlg->m_pOkButton : pDlg->m_pCancelButton)->click();
        });
        CBoxAnswerer box;
        EXPECT_TRUE(fx.m_pView->RunCommand(ID_SET_INPUTDATA));
        EXPECT_EQ(dialog.m_nShown, 1);
        EXPECT_TRUE(box.Texts().isEmpty()) << qPrintable(box.Texts().join('|'));
        EXPECT_EQ(nShown, c.nShownFirst);
        EXPECT_EQ(strSelector, QString::number(c.nShownFirst + 1));
        EXPECT_EQ(fx.m_pView->m_Graph.m_nSelChannel, c.nSelAfter);
        const SChannelAttr& edited = fx.m_Doc.GetChannelAttr(nEdited);
        if (!c.bOk) {
            EXPECT_EQ(edited.m_strName, QByteArray());
            EXPECT_EQ(fx.m_Doc.GetChannelAttr(6).m_nPos, 0);
            EXPECT_DOUBLE_EQ(fx.m_Doc.GetChannelAttr(7).m_dVRes, 10.0);
            EXPECT_FALSE(fx.ProfileExists());
            continue;
        }
        EXPECT_EQ(edited.m_strName, QByteArray("Fan"));
        EXPECT_EQ(edited.m_nPos, 250);
        EXPECT_EQ(fx.m_Doc.GetChannelAttr(0).m_strName, QByteArray("Keep"));
        EXPECT_EQ(fx.m_Doc.GetChannelAttr(6).m_nPos, 1000);
        EXPECT_DOUBLE_EQ(fx.m_Doc.GetChannelAttr(7).m_dVRes, 10.0);
        EXPECT_DOUBLE_EQ(fx.m_Doc.GetChannelAttr(4).m_dMultiplier, 1.0);
        // All eight sections are rewritten, whatever the channel count.
        EXPECT_EQ(Sections(fx.m_pProfile->GetPath()),
                  QStringList({"VSetting1", "VSetting2", "VSetting3", "VSetting4", "VSetting5",
                               "VSetting6", "VSetting7", "VSetting8"}));
        const QByteArray section = "VSetting" + QByteArray::number(nEdited + 1);
        EXPECT_EQ(fx.m_pProfile->GetProfileString(section.constData(), "Name", "?"),
                  QByteArray("Fan"));
        EXPECT_EQ(fx.ProfileInt(section.constData(), "Pos"), 250);
        EXPECT_EQ(fx.m_pProfile->GetProfileString("VSetting1", "Name", "?"), QByteArray("Keep"));
        EXPECT_EQ(fx.ProfileInt("VSetting7", "Pos"), 1000);
        EXPECT_EQ(fx.m_pProfile->GetProfileString("VSetting8", "VRes", "?"), QByteArray("10"));
        EXPECT_EQ(fx.m_pProfile->GetProfileString("VSetting5", "Multiplier", "?"), QByteArray("1"));
    }
}

} // namespace
