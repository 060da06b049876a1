// The broker dialog: what OK refuses (with its message, the dialog staying open and the focus on
// the field at fault) and what it takes, and the test button's answer.
#include "dialogs/set_publish_dlg.h"

#include "dialogs/string_table.h"
#include "modal_answerer.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <future>

TEST(SetPublishDlg, OkRefusesWhatCannotWorkAndTakesTheRest) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString strOpenPw = dir.filePath(QStringLiteral("open.pw"));
    QFile file(strOpenPw);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("pw\n");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    const struct {
        const char* pszName;
        bool bEnabled;
        QString strUrl;
        QString strTopic;
        QString strQueue;
        QString strCa;
        QString strPasswordFile;
        int nError; // 0: accepted
        const char* pszFocus;
    } cases[] = {
        {"plain broker", true, "mqtt://lab:1884", "", "60000", "", "", 0, ""},
        {"off and empty", false, "", "", "60000", "", "", 0, ""},
        {"TLS with a CA", true, "mqtts://lab", "lab/t", "1000", "/etc/hostname", "", 0, ""},
        {"another scheme", true, "http://lab", "", "60000", "", "", IDS_PUBLISH_ERR_URL_SCHEME,
         "IDC_EDIT_URL"},
        {"off but malformed", false, "mqtt://lab:0", "", "60000", "", "", IDS_PUBLISH_ERR_URL_PORT,
         "IDC_EDIT_URL"},
        {"on without URL", true, "", "", "60000", "", "", IDS_PUBLISH_ERR_URL_EMPTY,
         "IDC_EDIT_URL"},
        {"wildcard #", true, "mqtt://lab", "lab/#", "60000", "", "", IDS_PUBLISH_ERR_TOPIC_WILDCARD,
         "IDC_EDIT_TOPIC"},
        {"wildcard +", true, "mqtt://lab", "a/+/b", "60000", "", "", IDS_PUBLISH_ERR_TOPIC_WILDCARD,
         "IDC_EDIT_TOPIC"},
        {"NUL in the topic", true, "mqtt://lab", QStringLiteral("a") + QChar(0) + "b", "60000", "",
         "", IDS_PUBLISH_ERR_TOPIC_NUL, "IDC_EDIT_TOPIC"},
        {"queue too small", true, "mqtt://lab", "", "999", "", "", IDS_PUBLISH_ERR_QUEUE,
         "IDC_EDIT_QUEUE"},
        {"CA without TLS", true, "mqtt://lab", "", "60000", "/etc/hostname", "",
         IDS_PUBLISH_ERR_CA_WITHOUT_TLS, "IDC_EDIT_CAFILE"},
        {"password file others can read", true, "mqtt://lab", "", "60000", "", strOpenPw,
         IDS_PUBLISH_ERR_PASSWORD_OPEN, "IDC_EDIT_PASSWORDFILE"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszName);
        CSetPublishDlg dlg;
        dlg.show();
        dlg.m_pCheckEnable->setChecked(c.bEnabled);
        dlg.m_pEditUrl->setText(c.strUrl);
        dlg.m_pEditTopic->setText(c.strTopic);
        dlg.m_pEditQueue->setText(c.strQueue);
        dlg.m_pEditCaFile->setText(c.strCa);
        dlg.m_pEditUser->setText(QStringLiteral("kest"));
        dlg.m_pEditPasswordFile->setText(c.strPasswordFile);
        dlg.m_pComboQos->setCurrentIndex(0);
        CBoxAnswerer answerer;
        dlg.m_pOkButton->click();
        EXPECT_EQ(dlg.result() == QDialog::Accepted, c.nError == 0);
        EXPECT_EQ(answerer.Texts(),
                  c.nError == 0 ? QStringList() : QStringList{LoadKestString(c.nError)});
        if (c.nError != 0) {
            EXPECT_TRUE(dlg.isVisible());
            ASSERT_NE(dlg.focusWidget(), nullptr);
            EXPECT_EQ(dlg.focusWidget()->objectName(), QLatin1String(c.pszFocus));
            EXPECT_EQ(dlg.m_Settings, SPublishSettings()) << "a refusal keeps the old settings";
        } else {
            EXPECT_EQ(dlg.m_Settings.m_bEnabled, c.bEnabled);
            EXPECT_EQ(dlg.m_Settings.m_strUrl, c.strUrl);
            EXPECT_EQ(dlg.m_Settings.m_strTopic, c.strTopic);
            EXPECT_EQ(dlg.m_Settings.m_nQueueLines, c.strQueue.toInt());
            EXPECT_EQ(dlg.m_Settings.m_nQos, 0);
        }
    }
}

TEST(SetPublishDlg, OpensOnTheSettingsAndTheTestButtonSaysTheResult) {
    CSetPublishDlg dlg;
    dlg.m_Settings.m_bEnabled = true;
    dlg.m_Settings.m_strUrl = QStringLiteral("mqtt://lab");
    dlg.m_Settings.m_eFormat = EPublishFormat::Json;
    dlg.m_Settings.m_nQueueLines = 12; // below the range: shown limited
    dlg.m_strDefaultTopic = QStringLiteral("kest/pc/COM2");
    std::vector<SPublishSettings> vecTested;
    SBrokerTestResult answer;
    dlg.m_fnTest = [&](const SPublishSettings& settings) {
        vecTested.push_back(settings);
        return answer;
    };
    dlg.show();
    EXPECT_TRUE(dlg.m_pCheckEnable->isChecked());
    EXPECT_EQ(dlg.m_pComboFormat->currentData().toInt(), static_cast<int>(EPublishFormat::Json));
    EXPECT_EQ(dlg.m_pEditQueue->text(), QStringLiteral("1000"));
    EXPECT_TRUE(dlg.m_pEditTopic->placeholderText().contains(QStringLiteral("kest/pc/COM2")));
    const struct {
        bool bOk;
        EBrokerState eState;
        int nText;
    } cases[] = {
        {true, EBrokerState::Connected, IDS_PUBLISH_TEST_OK},
        {false, EBrokerState::LoginRefused, IDS_PUBLISH_TEST_LOGIN},
        {false, EBrokerState::TlsFailed, IDS_PUBLISH_TEST_TLS},
        {false, EBrokerState::Retrying, IDS_PUBLISH_TEST_FAILED},
    };
    for (const auto& c : cases) {
        answer = {c.bOk, c.eState, EPublishProblem::None, QStringLiteral("why")};
        dlg.m_pTestButton->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !dlg.IsTesting(); }));
        EXPECT_TRUE(dlg.m_pTestButton->isEnabled());
        EXPECT_EQ(dlg.m_pTestResult->text(),
                  c.bOk ? LoadKestString(c.nText) : LoadKestString(c.nText).arg("why"));
    }
    ASSERT_EQ(vecTested.size(), 4u);
    EXPECT_EQ(vecTested[0].m_strUrl, QStringLiteral("mqtt://lab"));
    // A refused field is told instead of testing.
    dlg.m_pEditTopic->setText(QStringLiteral("#"));
    CBoxAnswerer answerer;
    dlg.m_pTestButton->click();
    EXPECT_EQ(vecTested.size(), 4u);
    EXPECT_EQ(answerer.Texts(), QStringList{LoadKestString(IDS_PUBLISH_ERR_TOPIC_WILDCARD)});
    EXPECT_TRUE(dlg.isVisible());
}

// A broker that takes its time to answer does not hold the window: the click returns at once, the
// dialog says it is testing with the button disabled (a second click starts nothing), and the
// answer shows when it comes. A dialog closed during a test waits for it and is gone cleanly.
TEST(SetPublishDlg, TestsWithoutHoldingTheWindow) {
    for (const bool bCloseFirst : {false, true}) {
        SCOPED_TRACE(bCloseFirst ? "closed during the test" : "answer shown");
        std::promise<void> release;
        std::shared_future<void> released = release.get_future().share();
        std::atomic<int> nCalls{0};
        {
            CSetPublishDlg dlg;
            dlg.m_Settings.m_strUrl = QStringLiteral("mqtt://slow-broker");
            dlg.m_fnTest = [&nCalls, released](const SPublishSettings&) {
                ++nCalls;
                // Until the test below has looked at the waiting dialog; a test that held the
                // window would come back after the ten seconds and fail there, not hang.
                released.wait_for(std::chrono::seconds(10));
                return SBrokerTestResult{true, EBrokerState::Connected, EPublishProblem::None, {}};
            };
            dlg.show();
            dlg.m_pTestButton->click();
            dlg.m_pTestButton->click();
            QApplication::processEvents();
            EXPECT_TRUE(dlg.IsTesting());
            EXPECT_FALSE(dlg.m_pTestButton->isEnabled());
            EXPECT_EQ(dlg.m_pTestResult->text(), LoadKestString(IDS_PUBLISH_TESTING));
            release.set_value();
            if (!bCloseFirst) {
                ASSERT_TRUE(QTest::qWaitFor([&] { return !dlg.IsTesting(); }));
                EXPECT_EQ(dlg.m_pTestResult->text(), LoadKestString(IDS_PUBLISH_TEST_OK));
                EXPECT_TRUE(dlg.m_pTestButton->isEnabled());
            }
        }
        QApplication::processEvents(); // an answer posted to the closed dialog goes nowhere
        EXPECT_EQ(nCalls.load(), 1);
    }
}
