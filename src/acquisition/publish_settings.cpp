#include "acquisition/publish_settings.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

const char* PublishProblemText(EPublishProblem eProblem) {
    switch (eProblem) {
    case EPublishProblem::None:
        return "no problem";
    case EPublishProblem::UrlEmpty:
        return "no broker URL is set";
    case EPublishProblem::UrlScheme:
        return "the broker URL must start with mqtt:// or mqtts://";
    case EPublishProblem::UrlHost:
        return "the broker URL names no valid host";
    case EPublishProblem::UrlPort:
        return "the broker port must be a number from 1 to 65535";
    case EPublishProblem::UrlExtra:
        return "the broker URL may hold only mqtt[s]://host[:port]";
    case EPublishProblem::TopicEmpty:
        return "the topic is empty";
    case EPublishProblem::TopicWildcard:
        return "the topic may not contain the wildcards # or +";
    case EPublishProblem::TopicNul:
        return "the topic may not contain a NUL character";
    case EPublishProblem::TopicTooLong:
        return "the topic is longer than 65535 bytes";
    case EPublishProblem::CaFileMissing:
        return "the CA file cannot be read";
    case EPublishProblem::CaWithoutTls:
        return "a CA file needs an mqtts:// URL";
    case EPublishProblem::PasswordFileUnreadable:
        return "the password file cannot be read";
    case EPublishProblem::PasswordFileOpen:
        return "the password file must be a regular file of this user that no one else may read "
               "or write (chmod 600)";
    case EPublishProblem::PasswordWithoutUser:
        return "a password needs a user name";
    }
    return "unknown problem";
}

namespace {

bool IsHostChar(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'-' || c == u'.' || c == u'_';
}

} // namespace

EPublishProblem ParseBrokerUrl(const QString& strUrl, SBrokerUrl& url) {
    const QString str = strUrl.trimmed();
    if (str.isEmpty())
        return EPublishProblem::UrlEmpty;
    SBrokerUrl parsed;
    QString strRest;
    if (str.startsWith(u"mqtt://", Qt::CaseInsensitive)) {
        strRest = str.mid(7);
    } else if (str.startsWith(u"mqtts://", Qt::CaseInsensitive)) {
        parsed.m_bTls = true;
        parsed.m_nPort = 8883;
        strRest = str.mid(8);
    } else {
        return EPublishProblem::UrlScheme;
    }
    // A lone trailing slash is what people paste; anything after it is not ours to guess.
    if (strRest.endsWith(u'/'))
        strRest.chop(1);
    if (strRest.contains(u'/') || strRest.contains(u'?') || strRest.contains(u'#') ||
        strRest.contains(u'@'))
        return EPublishProblem::UrlExtra;
    QString strPort;
    if (strRest.startsWith(u'[')) {
        // An IPv6 literal: [::1] or [::1]:1883.
        const qsizetype nClose = strRest.indexOf(u']');
        if (nClose < 2)
            return EPublishProblem::UrlHost;
        parsed.m_strHost = strRest.mid(1, nClose - 1);
        for (QChar c : parsed.m_strHost) {
            if (!(c.isDigit() || (c.toLower() >= u'a' && c.toLower() <= u'f') || c == u':' ||
                  c == u'.'))
                return EPublishProblem::UrlHost;
        }
        const QString strAfter = strRest.mid(nClose + 1);
        if (!strAfter.isEmpty()) {
            if (!strAfter.startsWith(u':'))
                return EPublishProblem::UrlHost;
            strPort = strAfter.mid(1);
            if (strPort.isEmpty())
                return EPublishProblem::UrlPort;
        }
    } else {
        const qsizetype nColon = strRest.indexOf(u':');
        parsed.m_strHost = nColon < 0 ? strRest : strRest.left(nColon);
        if (nColon >= 0) {
            strPort = strRest.mid(nColon + 1);
            if (strPort.isEmpty())
                return EPublishProblem::UrlPort;
        }
        if (parsed.m_strHost.isEmpty() || parsed.m_strHost.size() > 253 ||
            !std::all_of(parsed.m_strHost.begin(), parsed.m_strHost.end(), IsHostChar))
            return EPublishProblem::UrlHost;
    }
    if (!strPort.isEmpty()) {
        bool bOk = false;
        const int nPort = strPort.toInt(&bOk, 10);
        if (!bOk || nPort < 1 || nPort > 65535 ||
            !std::all_of(strPort.begin(), strPort.end(), [](QChar c) { return c.isDigit(); }))
            return EPublishProblem::UrlPort;
        parsed.m_nPort = nPort;
    }
    url = parsed;
    return EPublishProblem::None;
}

EPublishProblem CheckTopic(const QString& strTopic) {
    if (strTopic.isEmpty())
        return EPublishProblem::TopicEmpty;
    if (strTopic.contains(QChar(0)))
        return EPublishProblem::TopicNul;
    if (strTopic.contains(u'#') || strTopic.contains(u'+'))
        return EPublishProblem::TopicWildcard;
    if (strTopic.toUtf8().size() > 65535)
        return EPublishProblem::TopicTooLong;
    return EPublishProblem::None;
}

QString DefaultTopic(const QString& strHost, int nPort) {
    QString strSafe = strHost;
    for (QChar& c : strSafe) {
        if (c == u'#' || c == u'+' || c == u'/' || c == QChar(0))
            c = u'_';
    }
    if (strSafe.isEmpty())
        strSafe = QStringLiteral("localhost");
    return QStringLiteral("kest/%1/COM%2").arg(strSafe).arg(nPort);
}

const char* PublishFormatName(EPublishFormat eFormat) {
    switch (eFormat) {
    case EPublishFormat::Line:
        break;
    case EPublishFormat::Json:
        return "json";
    case EPublishFormat::Influx:
        return "influx";
    }
    return "line";
}

bool ParsePublishFormat(const QString& strName, EPublishFormat& eFormat) {
    const QString str = strName.trimmed().toLower();
    for (EPublishFormat e : {EPublishFormat::Line, EPublishFormat::Json, EPublishFormat::Influx}) {
        if (str == QLatin1String(PublishFormatName(e))) {
            eFormat = e;
            return true;
        }
    }
    return false;
}

EPublishProblem CheckPublishSettings(const SPublishSettings& settings) {
    SBrokerUrl url;
    if (const EPublishProblem e = ParseBrokerUrl(settings.m_strUrl, url);
        e != EPublishProblem::None)
        return e;
    if (!settings.m_strTopic.isEmpty()) {
        if (const EPublishProblem e = CheckTopic(settings.m_strTopic); e != EPublishProblem::None)
            return e;
    }
    if (!settings.m_strCaFile.isEmpty()) {
        if (!url.m_bTls)
            return EPublishProblem::CaWithoutTls;
        if (::access(QFile::encodeName(settings.m_strCaFile).constData(), R_OK) != 0)
            return EPublishProblem::CaFileMissing;
    }
    QByteArray strPassword;
    if (const EPublishProblem e = ReadPublishPassword(settings, strPassword);
        e != EPublishProblem::None)
        return e;
    // A password file named for no user is a mistake; the environment's password is simply not
    // used without one (it may be set for other programs).
    if (!settings.m_strPasswordFile.isEmpty() && settings.m_strUser.isEmpty())
        return EPublishProblem::PasswordWithoutUser;
    return EPublishProblem::None;
}

EPublishProblem ReadPublishPassword(const SPublishSettings& settings, QByteArray& strPassword) {
    strPassword.clear();
    if (settings.m_strPasswordFile.isEmpty()) {
        strPassword = qgetenv(kPasswordEnv);
        return EPublishProblem::None;
    }
    // Opened first and checked through the descriptor, so the file checked is the file read.
    const int fd = ::open(QFile::encodeName(settings.m_strPasswordFile).constData(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return EPublishProblem::PasswordFileUnreadable;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid() ||
        (st.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        ::close(fd);
        return EPublishProblem::PasswordFileOpen;
    }
    char buf[4096];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    ::close(fd);
    if (n < 0)
        return EPublishProblem::PasswordFileUnreadable;
    QByteArray str(buf, static_cast<qsizetype>(n));
    const qsizetype nEnd = str.indexOf('\n');
    if (nEnd >= 0)
        str.truncate(nEnd);
    if (str.endsWith('\r'))
        str.chop(1);
    strPassword = str;
    return EPublishProblem::None;
}

SPublishSettings ClampPublishSettings(SPublishSettings settings) {
    settings.m_nQueueLines = std::clamp(settings.m_nQueueLines, SPublishSettings::kMinQueueLines,
                                        SPublishSettings::kMaxQueueLines);
    settings.m_nQos = std::clamp(settings.m_nQos, 0, 1);
    return settings;
}
