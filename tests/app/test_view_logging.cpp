// Logging through the view against a pseudo-terminal, its failure messages, and the command
// enablement of the main frame while logging.
#include "app_test_util.h"
#include "pty_pair.h"

#include "app/command_ids.h"
#include "app/kest_app.h"
#include "app/kest_view.h"
#include "app/main_frame.h"
#include "dialogs/string_table.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstring>
#include <string>

#include <pty.h>
#include <signal.h>
#include <unistd.h>

namespace {

/// A pseudo-terminal whose slave side stands in for the serial device.
struct SPty {
    SPty() {
        char szName[256] = {};
        m_bOk = openpty(&m_nMaster, &m_nSlave, szName, nullptr, nullptr) == 0;
        m_strSlave = QString::fromLocal8Bit(szName);
    }
    ~SPty() {
        if (m_bOk) {
            ::close(m_nMaster);
            ::close(m_nSlave);
        }
    }
    bool Write(const QByteArray& bytes) const {
        return ::write(m_nMaster, bytes.constData(), bytes.size()) == bytes.size();
    }
    bool m_bOk = false;
    int m_nMaster = -1;
    int m_nSlave = -1;
    QString m_strSlave;
};

QByteArray ReadAll(const QString& strPath) {
    QFile f(strPath);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

TEST(ViewLogging, LinesReachStoreLogAndTitle) {
    SPty pty;
    ASSERT_TRUE(pty.m_bOk);
    SViewFixture fx;
    fx.m_PortMap.SetOverrides({{3, pty.m_strSlave}});
    fx.m_pView->m_Comm.m_nPort = 3;
    const double stale[8] = {42, 42};
    fx.m_Doc.AddRow(stale);
    fx.m_strNextPick = fx.Path("run.csv");

    fx.m_pView->RunCommand(ID_FILE_LOGGING);
    ASSERT_TRUE(fx.m_pView->IsLogging());
    ASSERT_EQ(fx.m_Requests.size(), 1);
    EXPECT_TRUE(fx.m_Requests[0].m_bSave);
    EXPECT_EQ(fx.m_Requests[0].m_strTitle, LoadKestString(IDS_LOGFILE_TITLE));
    EXPECT_EQ(fx.m_Doc.m_LogData[0].m_nCount, 0) << "start empties the store";
    EXPECT_EQ(fx.m_pView->window()->windowTitle(), QStringLiteral("KEST-run.csv"));

    ASSERT_TRUE(pty.Write("1.5,2\r\n-3,4e1\r\r"));
    ASSERT_TRUE(WaitUntil([&] { return fx.m_Doc.m_LogData[0].m_nCount >= 3; }));
    EXPECT_EQ(fx.m_Doc.m_LogData[0].m_nCount, 3);
    const double expected[3][2] = {{1.5, 2}, {-3, 40}, {0, 0}};
    for (int r = 0; r < 3; ++r) {
        EXPECT_DOUBLE_EQ(fx.m_Doc.m_LogData[0].m_pData[r], expected[r][0]) << r;
        EXPECT_DOUBLE_EQ(fx.m_Doc.m_LogData[1].m_pData[r], expected[r][1]) << r;
    }
    EXPECT_DOUBLE_EQ(fx.m_pView->m_Graph.m_dLatest[0], 0.0);

    fx.m_pView->m_Graph.SetHold(true);
    fx.m_pView->RunCommand(ID_FILE_LOGGING);
    EXPECT_FALSE(fx.m_pView->IsLogging());
    EXPECT_FALSE(fx.m_pView->m_Graph.IsHeld()) << "stop releases the hold";
    EXPECT_EQ(fx.m_pView->window()->windowTitle(), QStringLiteral("KEST-run.csv"));
    EXPECT_EQ(fx.m_pView->m_strLogPath, fx.Path("run.csv"));
    EXPECT_EQ(ReadAll(fx.Path("run.csv")), QByteArray("1.5,2\r\n-3,4e1\r\n\r\n"));
    EXPECT_EQ(fx.m_Doc.m_LogData[0].m_nCount, 3) << "stop keeps the samples";
}

TEST(ViewLogging, StartFailures) {
    struct SCase {
        const char* pszName;
        const char* pszDevice; // COM1's device
        const char* pszLog;    // relative to the temporary directory
        int nMessage;
        bool bFileRemains;
        const char* pszCause;
    };
    const SCase cases[] = {
        {"no such port", "/nonexistent/ttyKEST", "log.csv", IDS_ERR_COMM_OPEN, true,
         "デバイス /nonexistent/ttyKEST が見つかりません"},
        {"port held by another reader", "held", "held.csv", IDS_ERR_COMM_OPEN, true,
         "は他のプログラム（"},
        {"log in missing directory", nullptr, "nodir/log.csv", IDS_ERR_LOGFILE_OPEN, false, ""},
    };
    SPty pty;
    ASSERT_TRUE(pty.m_bOk);
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.pszName);
        SViewFixture fx;
        const bool bHeld = c.pszDevice != nullptr && std::strcmp(c.pszDevice, "held") == 0;
        fx.m_PortMap.SetOverrides(
            {{1, c.pszDevice && !bHeld ? QString::fromLatin1(c.pszDevice) : pty.m_strSlave}});
        fx.m_pView->m_Comm.m_nPort = 1;
        CCommReader holder;
        holder.SetPortMap(MapOne(1, pty.m_strSlave));
        if (bHeld) {
            ASSERT_TRUE(holder.Open(1, nullptr, nullptr));
        }
        const double row[8] = {1, 2};
        fx.m_Doc.AddRow(row);
        fx.m_pView->window()->setWindowTitle(QStringLiteral("KEST-old.csv"));
        fx.m_strNextPick = fx.Path(c.pszLog);
        CBoxAnswerer answerer;
        fx.m_pView->RunCommand(ID_FILE_LOGGING);
        ASSERT_EQ(answerer.Texts().size(), 1);
        // The message stays as it is; a port failure adds what the system said.
        EXPECT_TRUE(answerer.Texts()[0].startsWith(LoadKestString(c.nMessage)));
        EXPECT_TRUE(answerer.Texts()[0].contains(QString::fromUtf8(c.pszCause)))
            << answerer.Texts()[0].toStdString();
        EXPECT_FALSE(fx.m_pView->IsLogging());
        EXPECT_EQ(fx.m_Doc.m_LogData[0].m_nCount, 0);
        EXPECT_EQ(fx.m_pView->window()->windowTitle(), QStringLiteral("KEST"));
        EXPECT_TRUE(fx.m_pView->m_strLogPath.isEmpty());
        EXPECT_EQ(QFile::exists(fx.m_strNextPick), c.bFileRemains);
        if (c.bFileRemains) {
            EXPECT_EQ(QFile(fx.m_strNextPick).size(), 0);
        }
    }
}

TEST(ViewLogging, CancelledFileDialogChangesNothing) {
    SViewFixture fx;
    const double row[8] = {1, 2};
    fx.m_Doc.AddRow(row);
    fx.m_pView->m_strLogPath = QStringLiteral("/a/b.csv");
    fx.m_pView->RunCommand(ID_FILE_LOGGING);
    EXPECT_FALSE(fx.m_pView->IsLogging());
    EXPECT_EQ(fx.m_Doc.m_LogData[0].m_nCount, 1);
    EXPECT_EQ(fx.m_pView->m_strLogPath, QStringLiteral("/a/b.csv"));
}

TEST(ViewLogging, DestroyingTheViewWhileLoggingFlushesTheLog) {
    SPty pty;
    ASSERT_TRUE(pty.m_bOk);
    SViewFixture fx;
    fx.m_PortMap.SetOverrides({{1, pty.m_strSlave}});
    fx.m_strNextPick = fx.Path("closing.csv");
    fx.m_pView->RunCommand(ID_FILE_LOGGING);
    ASSERT_TRUE(fx.m_pView->IsLogging());
    ASSERT_TRUE(pty.Write("5,6\r"));
    ASSERT_TRUE(WaitUntil([&] { return fx.m_Doc.m_LogData[0].m_nCount >= 1; }));
    fx.m_pView.reset();
    EXPECT_EQ(ReadAll(fx.Path("closing.csv")), QByteArray("5,6\r\n"));
}

// SIGTERM and SIGHUP end the window as closing it does: the event loop quits, and every line
// received before the signal is in the log, the device let go.
TEST(AppSignals, TermAndHangUpQuitWithTheLogComplete) {
    for (const int nSignal : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(nSignal);
        SPty pty;
        ASSERT_TRUE(pty.m_bOk);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        qputenv("KEST_COM1", QFile::encodeName(pty.m_strSlave));
        const QString strLog = dir.filePath(QStringLiteral("signal.csv"));
        {
            CkestApp app(dir.filePath(QStringLiteral("kest")));
            ASSERT_TRUE(app.InitInstance({}));
            app.m_pView->m_fnPickFile = [&](QWidget*, const SFileRequest&) { return strLog; };
            ASSERT_TRUE(app.m_pView->RunCommand(ID_FILE_LOGGING));
            ASSERT_TRUE(app.m_pView->IsLogging());
            std::string strSent;
            for (int i = 0; i < 500; ++i)
                strSent += std::to_string(i) + ",0.5\r\n";
            ASSERT_TRUE(pty.Write(QByteArray::fromStdString(strSent)));
            // The signal comes while the lines may still be in the driver and the ring.
            QTimer::singleShot(0, [nSignal] { ::raise(nSignal); });
            QTimer watchdog;
            watchdog.setSingleShot(true);
            QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
            watchdog.start(10000);
            EXPECT_EQ(QCoreApplication::exec(), 0) << "the event loop quits on the signal";
            EXPECT_FALSE(app.m_pView->IsLogging());
            QList<QByteArray> records = ReadAll(strLog).split('\n');
            EXPECT_EQ(records.size(), 501);
            EXPECT_EQ(records.value(499), QByteArray("499,0.5\r"));
        }
        // The device is free again for another program.
        CCommReader other;
        other.SetPortMap(MapOne(1, pty.m_strSlave));
        EXPECT_TRUE(other.Open(1, nullptr, nullptr));
        other.Close();
        qunsetenv("KEST_COM1");
    }
}

TEST(FrameCommands, EnablementWhileLoggingAndShortcutRespectsIt) {
    SPty pty;
    ASSERT_TRUE(pty.m_bOk);
    SViewFixture fx;
    fx.m_PortMap.SetOverrides({{1, pty.m_strSlave}});
    CMainFrame frame;
    CkestView* pView = fx.m_pView.release();
    frame.SetView(pView); // the frame owns the view from here
    frame.show();
    frame.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    // Both sizes are outer sizes, window frame included.
    const QSize sizeFrame = frame.frameGeometry().size() - frame.size();
    EXPECT_EQ(frame.size() + sizeFrame, QSize(630, 440));
    EXPECT_EQ(frame.minimumSize() + sizeFrame, QSize(600, 400));

    int nOpenPicks = 0;
    pView->m_fnPickFile = [&](QWidget*, const SFileRequest& req) {
        if (req.m_bSave)
            return fx.Path("frame.csv");
        ++nOpenPicks;
        return QString();
    };
    auto pressCtrlO = [&] {
        QTest::keyClick(&frame, Qt::Key_O, Qt::ControlModifier);
        QApplication::processEvents();
    };
    // Idle: open runs from the shortcut (the picker is asked), hold is grey.
    frame.UpdateCommandUI();
    EXPECT_TRUE(frame.GetAction(ID_FILE_OPEN)->isEnabled());
    EXPECT_FALSE(frame.GetAction(ID_VIEW_HOLD)->isEnabled());
    pressCtrlO();
    EXPECT_EQ(nOpenPicks, 1);

    frame.GetAction(ID_FILE_LOGGING)->trigger();
    ASSERT_TRUE(pView->IsLogging());
    for (int nId : {ID_FILE_OPEN, ID_SET_CHANNELS, ID_SET_COMM, ID_SET_PUBLISH, ID_LOAD_SETTING})
        EXPECT_FALSE(frame.GetAction(nId)->isEnabled()) << nId;
    EXPECT_TRUE(frame.GetAction(ID_FILE_LOGGING)->isChecked());
    EXPECT_TRUE(frame.GetAction(ID_VIEW_HOLD)->isEnabled());
    pressCtrlO();
    EXPECT_EQ(nOpenPicks, 1) << "Ctrl+O must do nothing while logging";
    // Even a direct route refuses the disabled command.
    EXPECT_FALSE(pView->RunCommand(ID_FILE_OPEN));
    EXPECT_EQ(nOpenPicks, 1);

    frame.GetAction(ID_VIEW_HOLD)->trigger();
    EXPECT_TRUE(pView->m_Graph.IsHeld());
    EXPECT_TRUE(frame.GetAction(ID_VIEW_HOLD)->isChecked());

    frame.GetAction(ID_FILE_LOGGING)->trigger();
    EXPECT_FALSE(pView->IsLogging());
    EXPECT_FALSE(frame.GetAction(ID_FILE_LOGGING)->isChecked());
    EXPECT_FALSE(frame.GetAction(ID_VIEW_HOLD)->isEnabled());
    EXPECT_FALSE(frame.GetAction(ID_VIEW_HOLD)->isChecked());
    EXPECT_TRUE(frame.GetAction(ID_FILE_OPEN)->isEnabled());
    EXPECT_EQ(frame.windowTitle(), QStringLiteral("KEST-frame.csv"));
    frame.close();
}

} // namespace

namespace {

// A run that publishes to a port where no broker listens: the status bar's broker pane appears
// with the state and the queue, the failure is told once in the status bar, the log is complete,
// and at the stop the pane goes and the totals are told.
TEST(FrameCommands, BrokerPaneShowsThePublishingStateWhileLogging) {
    SPty pty;
    ASSERT_TRUE(pty.m_bOk);
    SViewFixture fx;
    fx.m_PortMap.SetOverrides({{1, pty.m_strSlave}});
    CMainFrame frame;
    CkestView* pView = fx.m_pView.release();
    frame.SetView(pView);
    frame.show();
    auto* pPane = frame.findChild<QLabel*>(QStringLiteral("BrokerPane"));
    ASSERT_NE(pPane, nullptr);
    EXPECT_TRUE(pPane->isHidden());
    pView->m_Publish.m_bEnabled = true;
    // Port 1 on loopback: nothing listens there.
    pView->m_Publish.m_strUrl = QStringLiteral("mqtt://127.0.0.1:1");
    pView->m_fnPickFile = [&](QWidget*, const SFileRequest&) { return fx.Path("pub.csv"); };
    QStringList notices;
    QObject::connect(pView, &CkestView::StatusNotice,
                     [&](const QString& strText) { notices << strText; });
    frame.GetAction(ID_FILE_LOGGING)->trigger();
    ASSERT_TRUE(pView->IsLogging());
    EXPECT_FALSE(frame.GetAction(ID_SET_PUBLISH)->isEnabled());
    ASSERT_TRUE(pty.Write("1,2\r\n3,4\r\n5,6\r\n"));
    const QString strRetrying = LoadKestString(IDS_PUBLISH_PANE)
                                    .arg(LoadKestString(IDS_PUBLISH_STATE_RETRYING))
                                    .arg(3)
                                    .arg(0);
    ASSERT_TRUE(WaitUntil([&] { return pPane->text() == strRetrying; }, 5000))
        << pPane->text().toStdString();
    EXPECT_TRUE(pPane->isVisible());
    Settle(1200); // another attempt fails meanwhile, and is not told again
    EXPECT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices.value(0).contains(LoadKestString(IDS_PUBLISH_STATE_RETRYING)))
        << notices.value(0).toStdString();
    frame.GetAction(ID_FILE_LOGGING)->trigger();
    EXPECT_FALSE(pView->IsLogging());
    EXPECT_TRUE(pPane->isHidden());
    EXPECT_EQ(notices.value(1), LoadKestString(IDS_STATUS_PUBLISH_SUMMARY).arg(0).arg(3));
    EXPECT_EQ(ReadAll(fx.Path("pub.csv")), QByteArray("1,2\r\n3,4\r\n5,6\r\n"));
}

} // namespace
