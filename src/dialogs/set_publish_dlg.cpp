#include "dialogs/set_publish_dlg.h"

#include "dialogs/dialog_text.h"
#include "dialogs/dialog_units.h"
#include "dialogs/kest_message_box.h"
#include "dialogs/string_table.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr int kLabelX = 7;
constexpr int kLabelCx = 76;
constexpr int kFieldX = 86;
constexpr int kFieldCx = 150;
constexpr int kRowCy = 16;

/// A label at the left and its field of type T beside it, on row y.
template <typename T>
T* AddLabelled(QDialog* pDlg, const CDialogUnits& du, int nLabelId, const char* pszId, int y,
               int cx, int cy) {
    auto* pLabel = new QLabel(LoadKestString(nLabelId), pDlg);
    pLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    PlaceControl(du, pLabel, kLabelX, y, kLabelCx, 12);
    auto* pField = new T(pDlg);
    pField->setObjectName(QString::fromLatin1(pszId));
    PlaceControl(du, pField, kFieldX, y, cx, cy);
    pLabel->setBuddy(pField);
    return pField;
}

QLineEdit* AddRow(QDialog* pDlg, const CDialogUnits& du, int nLabelId, const char* pszId, int y,
                  int cx = kFieldCx) {
    return AddLabelled<QLineEdit>(pDlg, du, nLabelId, pszId, y, cx, 12);
}

QComboBox* AddComboRow(QDialog* pDlg, const CDialogUnits& du, int nLabelId, const char* pszId,
                       int y, int cx) {
    return AddLabelled<QComboBox>(pDlg, du, nLabelId, pszId, y, cx, 13);
}

} // namespace

int PublishProblemStringId(EPublishProblem eProblem) {
    switch (eProblem) {
    case EPublishProblem::None:
        break;
    case EPublishProblem::UrlEmpty:
        return IDS_PUBLISH_ERR_URL_EMPTY;
    case EPublishProblem::UrlScheme:
        return IDS_PUBLISH_ERR_URL_SCHEME;
    case EPublishProblem::UrlHost:
        return IDS_PUBLISH_ERR_URL_HOST;
    case EPublishProblem::UrlPort:
        return IDS_PUBLISH_ERR_URL_PORT;
    case EPublishProblem::UrlExtra:
        return IDS_PUBLISH_ERR_URL_EXTRA;
    case EPublishProblem::TopicEmpty:
        return IDS_PUBLISH_ERR_TOPIC_EMPTY;
    case EPublishProblem::TopicWildcard:
        return IDS_PUBLISH_ERR_TOPIC_WILDCARD;
    case EPublishProblem::TopicNul:
        return IDS_PUBLISH_ERR_TOPIC_NUL;
    case EPublishProblem::TopicTooLong:
        return IDS_PUBLISH_ERR_TOPIC_LONG;
    case EPublishProblem::CaFileMissing:
        return IDS_PUBLISH_ERR_CA_MISSING;
    case EPublishProblem::CaWithoutTls:
        return IDS_PUBLISH_ERR_CA_WITHOUT_TLS;
    case EPublishProblem::PasswordFileUnreadable:
        return IDS_PUBLISH_ERR_PASSWORD_UNREADABLE;
    case EPublishProblem::PasswordFileOpen:
        return IDS_PUBLISH_ERR_PASSWORD_OPEN;
    case EPublishProblem::PasswordWithoutUser:
        return IDS_PUBLISH_ERR_PASSWORD_NO_USER;
    }
    return 0;
}

CSetPublishDlg::CSetPublishDlg(QWidget* pParent)
    : CSettingsDlg(pParent, "IDD_SET_PUBLISH", LoadKestString(IDS_PUBLISH_TITLE), 300, 216) {
    const CDialogUnits& du = m_Du;
    m_pCheckEnable = new QCheckBox(LoadKestString(IDS_PUBLISH_ENABLE), this);
    m_pCheckEnable->setObjectName(QStringLiteral("IDC_CHECK_PUBLISH"));
    PlaceControl(du, m_pCheckEnable, kLabelX, 7, 229, 10);
    int y = 22;
    m_pEditUrl = AddRow(this, du, IDS_PUBLISH_URL, "IDC_EDIT_URL", y);
    m_pEditTopic = AddRow(this, du, IDS_PUBLISH_TOPIC, "IDC_EDIT_TOPIC", y += kRowCy);
    m_pComboQos = AddComboRow(this, du, IDS_PUBLISH_QOS, "IDC_COMBO_QOS", y += kRowCy, 40);
    m_pComboFormat =
        AddComboRow(this, du, IDS_PUBLISH_FORMAT, "IDC_COMBO_FORMAT", y += kRowCy, kFieldCx);
    m_pEditClientId = AddRow(this, du, IDS_PUBLISH_CLIENT_ID, "IDC_EDIT_CLIENTID", y += kRowCy);
    m_pEditUser = AddRow(this, du, IDS_PUBLISH_USER, "IDC_EDIT_USER", y += kRowCy);
    m_pEditPasswordFile =
        AddRow(this, du, IDS_PUBLISH_PASSWORD_FILE, "IDC_EDIT_PASSWORDFILE", y += kRowCy);
    m_pEditCaFile = AddRow(this, du, IDS_PUBLISH_CA_FILE, "IDC_EDIT_CAFILE", y += kRowCy);
    m_pEditQueue = AddRow(this, du, IDS_PUBLISH_QUEUE, "IDC_EDIT_QUEUE", y += kRowCy, 44);
    m_pEditQueue->setValidator(NewDigitsValidator());
    auto* pRange = new QLabel(LoadKestString(IDS_PUBLISH_QUEUE_RANGE), this);
    pRange->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    PlaceControl(du, pRange, kFieldX + 48, y, 80, 12);

    m_pTestButton = new QPushButton(LoadKestString(IDS_PUBLISH_TEST), this);
    m_pTestButton->setObjectName(QStringLiteral("IDC_BUTTON_TEST"));
    PlaceControl(du, m_pTestButton, kLabelX, y += 20, 70, 14);
    m_pTestResult = new QLabel(this);
    m_pTestResult->setObjectName(QStringLiteral("IDC_STATIC_TEST_RESULT"));
    m_pTestResult->setWordWrap(true);
    m_pTestResult->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    PlaceControl(du, m_pTestResult, kLabelX, y + 17, 286, 24);
    connect(m_pTestButton, &QPushButton::clicked, this, [this] { OnTest(); });

    AddOkCancel(243, 7, 24);
    SetTemplateTabOrder(this);
}

void CSetPublishDlg::OnInitDialog() {
    const SPublishSettings settings = ClampPublishSettings(m_Settings);
    m_pCheckEnable->setChecked(settings.m_bEnabled);
    m_pEditUrl->setText(settings.m_strUrl);
    m_pEditUrl->setPlaceholderText(QStringLiteral("mqtt://host:1883"));
    m_pEditTopic->setText(settings.m_strTopic);
    m_pEditTopic->setPlaceholderText(
        LoadKestString(IDS_PUBLISH_TOPIC_DEFAULT).arg(m_strDefaultTopic));
    m_pComboQos->clear();
    m_pComboQos->addItem(QStringLiteral("0"), 0);
    m_pComboQos->addItem(QStringLiteral("1"), 1);
    m_pComboQos->setCurrentIndex(settings.m_nQos);
    m_pComboFormat->clear();
    m_pComboFormat->addItem(LoadKestString(IDS_PUBLISH_FORMAT_LINE),
                            static_cast<int>(EPublishFormat::Line));
    m_pComboFormat->addItem(LoadKestString(IDS_PUBLISH_FORMAT_JSON),
                            static_cast<int>(EPublishFormat::Json));
    m_pComboFormat->addItem(LoadKestString(IDS_PUBLISH_FORMAT_INFLUX),
                            static_cast<int>(EPublishFormat::Influx));
    m_pComboFormat->setCurrentIndex(
        std::max(0, m_pComboFormat->findData(static_cast<int>(settings.m_eFormat))));
    m_pEditClientId->setText(settings.m_strClientId);
    m_pEditUser->setText(settings.m_strUser);
    m_pEditPasswordFile->setText(settings.m_strPasswordFile);
    m_pEditPasswordFile->setPlaceholderText(
        LoadKestString(IDS_PUBLISH_PASSWORD_DEFAULT).arg(QLatin1String(kPasswordEnv)));
    m_pEditCaFile->setText(settings.m_strCaFile);
    m_pEditQueue->setText(QString::number(settings.m_nQueueLines));
    m_pTestResult->clear();
    m_pEditUrl->setFocus();
}

bool CSetPublishDlg::Collect(SPublishSettings& settings) {
    settings.m_bEnabled = m_pCheckEnable->isChecked();
    settings.m_strUrl = m_pEditUrl->text().trimmed();
    settings.m_strTopic = m_pEditTopic->text();
    settings.m_nQos = m_pComboQos->currentData().toInt();
    settings.m_eFormat = static_cast<EPublishFormat>(m_pComboFormat->currentData().toInt());
    settings.m_strClientId = m_pEditClientId->text().trimmed();
    settings.m_strUser = m_pEditUser->text().trimmed();
    settings.m_strPasswordFile = m_pEditPasswordFile->text().trimmed();
    settings.m_strCaFile = m_pEditCaFile->text().trimmed();
    const uint32_t nQueue = TextToUnsigned(m_pEditQueue->text());
    if (nQueue < SPublishSettings::kMinQueueLines || nQueue > SPublishSettings::kMaxQueueLines) {
        KestMessageBox(this, IDS_PUBLISH_ERR_QUEUE);
        m_pEditQueue->setFocus();
        return false;
    }
    settings.m_nQueueLines = static_cast<int>(nQueue);
    // Switched off with nothing entered is fine; anything entered must be usable.
    if (!settings.m_bEnabled && settings.m_strUrl.isEmpty() && settings.m_strTopic.isEmpty())
        return true;
    const EPublishProblem eProblem = CheckPublishSettings(settings);
    if (eProblem == EPublishProblem::None)
        return true;
    KestMessageBox(this, PublishProblemStringId(eProblem));
    QLineEdit* pField = m_pEditUrl;
    if (eProblem >= EPublishProblem::TopicEmpty && eProblem <= EPublishProblem::TopicTooLong)
        pField = m_pEditTopic;
    else if (eProblem == EPublishProblem::CaFileMissing ||
             eProblem == EPublishProblem::CaWithoutTls)
        pField = m_pEditCaFile;
    else if (eProblem == EPublishProblem::PasswordWithoutUser)
        pField = m_pEditUser;
    else if (eProblem >= EPublishProblem::PasswordFileUnreadable)
        pField = m_pEditPasswordFile;
    pField->setFocus();
    pField->selectAll();
    return false;
}

void CSetPublishDlg::OnOK() {
    SPublishSettings settings;
    if (!Collect(settings))
        return;
    m_Settings = settings;
    accept();
}

void CSetPublishDlg::OnTest() {
    SPublishSettings settings;
    if (!Collect(settings) || !m_fnTest)
        return;
    if (settings.m_strUrl.isEmpty()) {
        KestMessageBox(this, IDS_PUBLISH_ERR_URL_EMPTY);
        m_pEditUrl->setFocus();
        return;
    }
    if (IsTesting())
        return;
    m_pTestResult->setText(LoadKestString(IDS_PUBLISH_TESTING));
    m_pTestButton->setEnabled(false);
    // A broker that does not answer holds the test for its whole time-out: the connection is
    // made on a thread of its own, and the answer comes back to this one as a queued call (which
    // Qt drops if the dialog is gone by then; the destructor waits for the thread).
    m_TestThread = std::thread([this, fnTest = m_fnTest, settings] {
        const SBrokerTestResult result = fnTest(settings);
        QMetaObject::invokeMethod(
            this, [this, result] { OnTestDone(result); }, Qt::QueuedConnection);
    });
}

CSetPublishDlg::~CSetPublishDlg() {
    if (m_TestThread.joinable())
        m_TestThread.join();
}

void CSetPublishDlg::OnTestDone(const SBrokerTestResult& result) {
    if (m_TestThread.joinable())
        m_TestThread.join();
    m_pTestButton->setEnabled(true);
    int nId = IDS_PUBLISH_TEST_FAILED;
    if (result.m_bOk)
        nId = IDS_PUBLISH_TEST_OK;
    else if (result.m_eState == EBrokerState::LoginRefused)
        nId = IDS_PUBLISH_TEST_LOGIN;
    else if (result.m_eState == EBrokerState::TlsFailed)
        nId = IDS_PUBLISH_TEST_TLS;
    m_pTestResult->setText(result.m_bOk ? LoadKestString(nId)
                                        : LoadKestString(nId).arg(result.m_strError));
}
