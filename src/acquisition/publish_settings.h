#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

/// What each published message carries.
enum class EPublishFormat {
    Line,   ///< the received line exactly
    Json,   ///< {"t": ns, "seq": n, "values": [...]} with the display values
    Influx, ///< InfluxDB line protocol, measurement kest
};

/// Where and how the received lines are sent to an MQTT broker; value type held by the view and
/// by `kest --log`, stored in the profile's section "Publish". The password is never held here:
/// it comes from m_strPasswordFile or the environment when a connection is made.
struct SPublishSettings {
    static constexpr int kDefaultQueueLines = 60000; ///< a minute at 1000 lines/s
    static constexpr int kMinQueueLines = 1000;
    static constexpr int kMaxQueueLines = 1000000;

    bool m_bEnabled = false;
    QString m_strUrl;   ///< mqtt://host[:port] or mqtts://host[:port]
    QString m_strTopic; ///< empty: DefaultTopic
    int m_nQos = 1;     ///< 0 or 1
    EPublishFormat m_eFormat = EPublishFormat::Line;
    QString m_strClientId;     ///< empty: kest-<host>-<pid>
    QString m_strUser;         ///< empty: no login
    QString m_strPasswordFile; ///< empty: the environment variable kPasswordEnv, if set
    QString m_strCaFile;       ///< mqtts only; empty: the system's certificates
    int m_nQueueLines = kDefaultQueueLines;

    bool operator==(const SPublishSettings&) const = default;
};

/// The environment variable that holds the broker password when no password file is named.
inline constexpr char kPasswordEnv[] = "KEST_MQTT_PASSWORD";

/// A broker URL taken apart.
struct SBrokerUrl {
    bool m_bTls = false;
    QString m_strHost;
    int m_nPort = 1883;
};

/// Why a publishing setting was refused.
enum class EPublishProblem {
    None,
    UrlEmpty,
    UrlScheme,     ///< neither mqtt:// nor mqtts://
    UrlHost,       ///< no host, or a host with characters no host name has
    UrlPort,       ///< not a number in 1..65535
    UrlExtra,      ///< a path, query, fragment or user name in the URL
    TopicEmpty,    ///< an explicit empty topic (the default is used when none is set)
    TopicWildcard, ///< '#' or '+': only subscribers may use them
    TopicNul,      ///< a NUL character
    TopicTooLong,  ///< more than 65535 bytes of UTF-8
    CaFileMissing, ///< the CA file cannot be read
    CaWithoutTls,  ///< a CA file with an mqtt:// URL
    PasswordFileUnreadable,
    PasswordFileOpen, ///< others than the user may read or write the password file
    PasswordWithoutUser,
};

/// English text of a problem, for the command line and logs.
const char* PublishProblemText(EPublishProblem eProblem);

/// Takes strUrl apart; None and url filled, or the problem.
EPublishProblem ParseBrokerUrl(const QString& strUrl, SBrokerUrl& url);
/// Checks a topic to publish to (an empty one is TopicEmpty).
EPublishProblem CheckTopic(const QString& strTopic);
/// kest/<host>/COM<n>, with the characters a topic may not hold in the host name replaced.
QString DefaultTopic(const QString& strHost, int nPort);
/// The format's profile word (line, json, influx); ParsePublishFormat reads it back (false for
/// anything else).
const char* PublishFormatName(EPublishFormat eFormat);
bool ParsePublishFormat(const QString& strName, EPublishFormat& eFormat);
/// Every check of a setting that can be made without a connection: URL, topic (when set), CA
/// file, password file and the user name it needs (the environment's password is used only
/// with a user name).
EPublishProblem CheckPublishSettings(const SPublishSettings& settings);
/// The password: the file's content up to its first line end when settings names a file (which
/// only its owner, this user, may read), else the variable kPasswordEnv; empty when neither.
EPublishProblem ReadPublishPassword(const SPublishSettings& settings, QByteArray& strPassword);
/// The settings with the queue size limited to kMinQueueLines..kMaxQueueLines and QoS to 0..1.
SPublishSettings ClampPublishSettings(SPublishSettings settings);
