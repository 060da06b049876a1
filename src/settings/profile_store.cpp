#include "settings/profile_store.h"

#include "settings/number_text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const char kComm[] = "Comm";
const char kSetting[] = "Setting";
const char kHSetting[] = "HSetting";
const char kSettings[] = "Settings";
const char kPublish[] = "Publish";

QString ReadText(const CProfile& profile, const char* pszSection, const char* pszKey) {
    return QString::fromUtf8(profile.GetProfileString(pszSection, pszKey, {})).trimmed();
}

QByteArray VSettingSection(int nChannel) {
    return "VSetting" + QByteArray::number(nChannel + 1);
}

double ReadNumber(const CProfile& profile, const char* pszSection, const char* pszKey,
                  const char* pszDefault) {
    return AtofC(profile.GetProfileString(pszSection, pszKey, pszDefault).constData());
}

} // namespace

void LoadCommSetting(const CProfile& profile, SCommSetting& comm) {
    comm.m_nPort = profile.GetProfileInt(kComm, "Port", 1);
    comm.m_nBaudRate = static_cast<uint32_t>(profile.GetProfileInt(kComm, "BaudRate", 9600));
    comm.m_nByteSize = static_cast<uint8_t>(profile.GetProfileInt(kComm, "ByteSize", 8));
    comm.m_nParity = static_cast<uint8_t>(profile.GetProfileInt(kComm, "Parity", 0));
    comm.m_nStopBits = static_cast<uint8_t>(profile.GetProfileInt(kComm, "StopBits", 0));
}

void LoadChannelCount(const CProfile& profile, CkestDoc& doc) {
    // InitLogData limits the count to 1..8.
    doc.InitLogData(profile.GetProfileInt(kSetting, "Channels", 2), CkestDoc::kInitialSize,
                    CkestDoc::kInitialSize);
}

int LoadChannelCountValue(const CProfile& profile) {
    return CLogStore::ClampChannelCount(profile.GetProfileInt(kSetting, "Channels", 2));
}

QString ProgramProfilePath(const QString& strExePath) {
    // An installed program shares its directory with every other program and every user; root
    // may be able to write there, but a profile in /usr/bin would be wrong for anyone.
    const QDir dirExe = QFileInfo(strExePath).absoluteDir();
    if (QFileInfo(dirExe.filePath(QStringLiteral("../share/doc/kest"))).isDir())
        return UserProfilePath();
    return ChooseProfilePath(strExePath);
}

void LoadChannelAttrs(const CProfile& profile, CkestDoc& doc) {
    for (int i = 0; i < CkestDoc::kMaxChannels; ++i) {
        const QByteArray strSection = VSettingSection(i);
        const char* pszSection = strSection.constData();
        SChannelAttr attr;
        attr.m_dVRes = ReadNumber(profile, pszSection, "VRes", "10");
        attr.m_dMultiplier = ReadNumber(profile, pszSection, "Multiplier", "1");
        attr.m_dAddend = ReadNumber(profile, pszSection, "Addend", "0");
        attr.m_strUnit = profile.GetProfileString(pszSection, "Unit", QByteArray());
        attr.m_dOffset = ReadNumber(profile, pszSection, "Offset", "");
        attr.m_strName = profile.GetProfileString(pszSection, "Name", QByteArray());
        attr.m_nPos = profile.GetProfileInt(pszSection, "Pos", 0);
        attr.m_crColor = static_cast<COLORREF>(
            profile.GetProfileInt(pszSection, "Color", static_cast<int>(g_crDefaultColor[i])));
        doc.SetChannelAttr(i, attr);
    }
}

void LoadHorizSetting(const CProfile& profile, int& nSamplesPerDiv) {
    nSamplesPerDiv = ClampSamplesPerDiv(profile.GetProfileInt(kHSetting, "Res", 100));
}

void LoadAllFromProfile(const CProfile& profile, SCommSetting& comm, CkestDoc& doc,
                        int& nSamplesPerDiv) {
    LoadCommSetting(profile, comm);
    LoadChannelCount(profile, doc);
    LoadChannelAttrs(profile, doc);
    LoadHorizSetting(profile, nSamplesPerDiv);
}

int LoadPreviewPages(const CProfile& profile) {
    return profile.GetProfileInt(kSettings, "PreviewPages", 0);
}

QMap<int, QString> LoadPortOverrides(const CProfile& profile) {
    QMap<int, QString> map;
    for (int nPort = SCommSetting::kMinPort; nPort <= SCommSetting::kMaxPort; ++nPort) {
        const QByteArray strKey = "COM" + QByteArray::number(nPort);
        const QByteArray strPath = profile.GetProfileString("Ports", strKey.constData(), {});
        if (!strPath.trimmed().isEmpty())
            map.insert(nPort, QString::fromLocal8Bit(strPath.trimmed()));
    }
    return map;
}

bool SaveCommSetting(CProfile& profile, const SCommSetting& comm) {
    bool bOk = profile.WriteProfileInt(kComm, "Port", comm.m_nPort);
    bOk = profile.WriteProfileInt(kComm, "BaudRate", static_cast<int>(comm.m_nBaudRate)) && bOk;
    bOk = profile.WriteProfileInt(kComm, "ByteSize", comm.m_nByteSize) && bOk;
    bOk = profile.WriteProfileInt(kComm, "Parity", comm.m_nParity) && bOk;
    bOk = profile.WriteProfileInt(kComm, "StopBits", comm.m_nStopBits) && bOk;
    return bOk;
}

bool SaveChannelCount(CProfile& profile, const CkestDoc& doc) {
    return profile.WriteProfileInt(kSetting, "Channels", doc.m_nChannels);
}

bool SaveHorizSetting(CProfile& profile, int nSamplesPerDiv) {
    return profile.WriteProfileInt(kHSetting, "Res", nSamplesPerDiv);
}

bool SavePreviewPages(CProfile& profile, int nPages) {
    return profile.WriteProfileInt(kSettings, "PreviewPages", nPages);
}

bool SaveChannelAttrs(CProfile& profile, const CkestDoc& doc) {
    bool bOk = true;
    for (int i = 0; i < CkestDoc::kMaxChannels; ++i) {
        const QByteArray strSection = VSettingSection(i);
        const char* pszSection = strSection.constData();
        const SChannelAttr& attr = doc.GetChannelAttr(i);
        bOk = profile.WriteProfileString(pszSection, "VRes", FormatG(attr.m_dVRes)) && bOk;
        bOk = profile.WriteProfileString(pszSection, "Multiplier", FormatG(attr.m_dMultiplier)) &&
              bOk;
        bOk = profile.WriteProfileString(pszSection, "Addend", FormatG(attr.m_dAddend)) && bOk;
        bOk = profile.WriteProfileString(pszSection, "Unit", attr.m_strUnit) && bOk;
        bOk = profile.WriteProfileString(pszSection, "Offset", FormatG(attr.m_dOffset)) && bOk;
        bOk = profile.WriteProfileString(pszSection, "Name", attr.m_strName) && bOk;
        bOk = profile.WriteProfileInt(pszSection, "Pos", attr.m_nPos) && bOk;
        bOk = profile.WriteProfileInt(pszSection, "Color", static_cast<int>(attr.m_crColor)) && bOk;
    }
    return bOk;
}

bool SaveAllToProfile(CProfile& profile, const SCommSetting& comm, const CkestDoc& doc,
                      int nSamplesPerDiv) {
    bool bOk = SaveCommSetting(profile, comm);
    bOk = SaveChannelCount(profile, doc) && bOk;
    bOk = SaveChannelAttrs(profile, doc) && bOk;
    bOk = SaveHorizSetting(profile, nSamplesPerDiv) && bOk;
    return bOk;
}

SPublishSettings LoadPublishSettings(const CProfile& profile) {
    SPublishSettings settings;
    settings.m_strUrl = ReadText(profile, kPublish, "Url");
    settings.m_strTopic = ReadText(profile, kPublish, "Topic");
    settings.m_nQos = profile.GetProfileInt(kPublish, "Qos", 1);
    if (!ParsePublishFormat(ReadText(profile, kPublish, "Format"), settings.m_eFormat))
        settings.m_eFormat = EPublishFormat::Line;
    settings.m_strClientId = ReadText(profile, kPublish, "ClientId");
    settings.m_strUser = ReadText(profile, kPublish, "User");
    settings.m_strPasswordFile = ReadText(profile, kPublish, "PasswordFile");
    settings.m_strCaFile = ReadText(profile, kPublish, "CaFile");
    settings.m_nQueueLines =
        profile.GetProfileInt(kPublish, "QueueLines", SPublishSettings::kDefaultQueueLines);
    settings = ClampPublishSettings(settings);
    SBrokerUrl url;
    // A hand-edited URL or topic that the dialog would refuse never starts a connection.
    settings.m_bEnabled =
        profile.GetProfileInt(kPublish, "Enabled", 0) != 0 &&
        ParseBrokerUrl(settings.m_strUrl, url) == EPublishProblem::None &&
        (settings.m_strTopic.isEmpty() || CheckTopic(settings.m_strTopic) == EPublishProblem::None);
    return settings;
}

bool SavePublishSettings(CProfile& profile, const SPublishSettings& settings) {
    bool bOk = profile.WriteProfileInt(kPublish, "Enabled", settings.m_bEnabled ? 1 : 0);
    bOk = profile.WriteProfileString(kPublish, "Url", settings.m_strUrl.toUtf8()) && bOk;
    bOk = profile.WriteProfileString(kPublish, "Topic", settings.m_strTopic.toUtf8()) && bOk;
    bOk = profile.WriteProfileInt(kPublish, "Qos", settings.m_nQos) && bOk;
    bOk = profile.WriteProfileString(kPublish, "Format", PublishFormatName(settings.m_eFormat)) &&
          bOk;
    bOk = profile.WriteProfileString(kPublish, "ClientId", settings.m_strClientId.toUtf8()) && bOk;
    bOk = profile.WriteProfileString(kPublish, "User", settings.m_strUser.toUtf8()) && bOk;
    bOk = profile.WriteProfileString(kPublish, "PasswordFile",
                                     QFile::encodeName(settings.m_strPasswordFile)) &&
          bOk;
    bOk = profile.WriteProfileString(kPublish, "CaFile", QFile::encodeName(settings.m_strCaFile)) &&
          bOk;
    bOk = profile.WriteProfileInt(kPublish, "QueueLines", settings.m_nQueueLines) && bOk;
    return bOk;
}
