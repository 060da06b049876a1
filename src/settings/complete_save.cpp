#include "settings/complete_save.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void SetReason(QString* pstrError, const QString& strReason) {
    if (pstrError)
        *pstrError = strReason;
}

QString ErrnoText(int nErr) {
    return QString::fromLocal8Bit(std::strerror(nErr));
}

/// The mode a file made now with 0666 would get.
mode_t UmaskMode() {
    const mode_t nMask = ::umask(022);
    ::umask(nMask);
    return 0666 & ~nMask;
}

/// A temporary file whose first failed write fails every later one: QFileDevice forgets an
/// error at the next write, and a file with a hole in the middle must not pass as complete.
class CStickyTempFile : public QTemporaryFile {
public:
    using QTemporaryFile::QTemporaryFile;
    bool HasFailed() const { return m_bFailed; }

protected:
    qint64 writeData(const char* pData, qint64 nLen) override {
        if (m_bFailed)
            return -1;
        const qint64 n = QTemporaryFile::writeData(pData, nLen);
        if (n != nLen)
            m_bFailed = true;
        return n;
    }

private:
    bool m_bFailed = false;
};

} // namespace

CCompleteFile::CCompleteFile(const QString& strPath)
    : m_strPath(strPath),
      m_pTemp(std::make_unique<CStickyTempFile>(QFileInfo(strPath).absolutePath() +
                                                QStringLiteral("/.kest-XXXXXX"))) {
    m_pTemp->setAutoRemove(true);
}

CCompleteFile::~CCompleteFile() = default;

QIODevice* CCompleteFile::Device() {
    return m_pTemp.get();
}

bool CCompleteFile::Open(QString* pstrError) {
    if (!m_pTemp->open()) {
        SetReason(pstrError, m_pTemp->errorString());
        return false;
    }
    // The temporary is made 0600; the output gets the mode an ordinary new file would, or keeps
    // the mode of the regular file it replaces.
    struct stat st {};
    const QByteArray path = QFile::encodeName(m_strPath);
    const mode_t nMode = ::lstat(path.constData(), &st) == 0 && S_ISREG(st.st_mode)
                             ? (st.st_mode & 07777)
                             : UmaskMode();
    if (::fchmod(m_pTemp->handle(), nMode) != 0) {
        SetReason(pstrError, ErrnoText(errno));
        m_pTemp->close();
        return false;
    }
    return true;
}

bool CCompleteFile::Commit(QString* pstrError) {
    if (!m_pTemp->isOpen()) {
        SetReason(pstrError, QStringLiteral("not open"));
        return false;
    }
    if (static_cast<CStickyTempFile*>(m_pTemp.get())->HasFailed() || !m_pTemp->flush() ||
        m_pTemp->error() != QFileDevice::NoError) {
        SetReason(pstrError, m_pTemp->errorString());
        m_pTemp->close();
        return false;
    }
    if (::fsync(m_pTemp->handle()) != 0 && errno != EINVAL && errno != EROFS) {
        SetReason(pstrError, ErrnoText(errno));
        m_pTemp->close();
        return false;
    }
    m_pTemp->close();
    // rename() replaces the directory entry itself: a link at the name is not followed.
    if (::rename(QFile::encodeName(m_pTemp->fileName()).constData(),
                 QFile::encodeName(m_strPath).constData()) != 0) {
        SetReason(pstrError, ErrnoText(errno));
        return false;
    }
    m_pTemp->setAutoRemove(false);
    return true;
}

bool SaveFileComplete(const QString& strPath, const QByteArray& data, QString* pstrError) {
    CCompleteFile file(strPath);
    if (!file.Open(pstrError))
        return false;
    if (file.Device()->write(data) != data.size()) {
        SetReason(pstrError, file.Device()->errorString());
        return false;
    }
    return file.Commit(pstrError);
}
