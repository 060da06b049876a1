#pragma once

#include "acquisition/publish_settings.h"
#include "acquisition/publisher.h"
#include "dialogs/settings_dlg.h"

#include <QString>

#include <functional>
#include <thread>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

/// Modal dialog editing where the received lines are published (the profile's "Publish"
/// section); created by the view's command on the window thread, which fills m_Settings before
/// exec() and reads it back after OK. Every field is checked when OK or the test button is
/// pressed: a refused value keeps the dialog open with the reason and the focus on its field.
class CSetPublishDlg : public CSettingsDlg {
    Q_OBJECT
public:
    explicit CSetPublishDlg(QWidget* pParent = nullptr);
    /// Waits for a test still under way (at most its connection's time-out).
    ~CSetPublishDlg() override;

    void OnInitDialog() override;
    /// Takes the fields into m_Settings and accepts, or tells what is wrong and stays open.
    void OnOK() override;
    /// The test button: checks the fields, then connects once through m_fnTest on a thread of
    /// its own, so that the dialog stays responsive meanwhile; the result is shown when it
    /// comes, the button disabled until then.
    void OnTest();
    /// True from the test button until its result is shown.
    bool IsTesting() const { return m_TestThread.joinable(); }

    SPublishSettings m_Settings;
    /// Shown as the topic's placeholder: the topic used when none is entered.
    QString m_strDefaultTopic;
    /// Connects once with the settings; the view supplies the host and port, tests a stand-in.
    std::function<SBrokerTestResult(const SPublishSettings&)> m_fnTest;

    QCheckBox* m_pCheckEnable = nullptr;      ///< IDC_CHECK_PUBLISH
    QLineEdit* m_pEditUrl = nullptr;          ///< IDC_EDIT_URL
    QLineEdit* m_pEditTopic = nullptr;        ///< IDC_EDIT_TOPIC
    QComboBox* m_pComboQos = nullptr;         ///< IDC_COMBO_QOS
    QComboBox* m_pComboFormat = nullptr;      ///< IDC_COMBO_FORMAT
    QLineEdit* m_pEditClientId = nullptr;     ///< IDC_EDIT_CLIENTID
    QLineEdit* m_pEditUser = nullptr;         ///< IDC_EDIT_USER
    QLineEdit* m_pEditPasswordFile = nullptr; ///< IDC_EDIT_PASSWORDFILE
    QLineEdit* m_pEditCaFile = nullptr;       ///< IDC_EDIT_CAFILE
    QLineEdit* m_pEditQueue = nullptr;        ///< IDC_EDIT_QUEUE
    QPushButton* m_pTestButton = nullptr;     ///< IDC_BUTTON_TEST
    QLabel* m_pTestResult = nullptr;          ///< IDC_STATIC_TEST_RESULT

private:
    /// The fields as settings; false after telling the user what is refused.
    bool Collect(SPublishSettings& settings);
    /// On the window thread, once the test's thread has its answer.
    void OnTestDone(const SBrokerTestResult& result);
    std::thread m_TestThread;
};

/// The string number that words a refused publishing setting for the user.
int PublishProblemStringId(EPublishProblem eProblem);
