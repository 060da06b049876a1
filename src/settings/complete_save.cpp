#include "settings/complete_save.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
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

/// The mode the output gets: that of the regular file it replaces, else the one a new file
/// would get.
mode_t TargetMode(const QByteArray& path) {
    struct stat st {};
    return ::lstat(path.constData(), &st) == 0 && S_ISREG(st.st_mode) ? (st.st_mode & 07777)
                                                                      : UmaskMode();
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
    if (::fchmod(m_pTemp->handle(), TargetMode(QFile::encodeName(m_strPath))) != 0) {
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

namespace {

/// The old way, through a CCompleteFile: for file systems without unnamed files.
bool SaveThroughTemporary(const QString& strPath, const QByteArray& data, QString* pstrError) {
    CCompleteFile file(strPath);
    if (!file.Open(pstrError))
        return false;
    if (file.Device()->write(data) != data.size()) {
        SetReason(pstrError, file.Device()->errorString());
        return false;
    }
    return file.Commit(pstrError);
}

bool WriteFully(int nFd, const char* p, size_t n) {
    while (n > 0) {
        const ssize_t k = ::write(nFd, p, n);
        if (k < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += k;
        n -= static_cast<size_t>(k);
    }
    return true;
}

bool Fail(QString* pstrError, int nErr) {
    SetReason(pstrError, ErrnoText(nErr));
    return false;
}

} // namespace

bool SaveFileComplete(const QString& strPath, const QByteArray& data, QString* pstrError) {
    // The same steps as CCompleteFile, straight on the descriptor: settings are saved at every
    // change, and the file objects cost more than the few system calls.
    const QByteArray path = QFile::encodeName(strPath);
    const qsizetype nSlash = path.lastIndexOf('/');
    const QByteArray dir = nSlash < 0    ? QByteArray(".")
                           : nSlash == 0 ? QByteArray("/")
                                         : path.left(nSlash);
    // An unnamed file in the target's folder: nothing is left behind until it is complete.
    const int nFd = ::open(dir.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (nFd < 0) {
        if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)
            return SaveThroughTemporary(strPath, data, pstrError);
        return Fail(pstrError, errno);
    }
    if (::fchmod(nFd, TargetMode(path)) != 0 ||
        !WriteFully(nFd, data.constData(), static_cast<size_t>(data.size())) ||
        (::fsync(nFd) != 0 && errno != EINVAL && errno != EROFS)) {
        const int nErr = errno;
        ::close(nFd);
        return Fail(pstrError, nErr);
    }
    // Named through /proc, which needs no privilege (linking the descriptor itself does).
    char szProc[40];
    std::snprintf(szProc, sizeof szProc, "/proc/self/fd/%d", nFd);
    QByteArray temp;
    int nErr = EEXIST;
    for (int i = 0; i < 16 && nErr == EEXIST; ++i) {
        temp = dir + "/.kest-" + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        nErr = ::linkat(AT_FDCWD, szProc, AT_FDCWD, temp.constData(), AT_SYMLINK_FOLLOW) == 0
                   ? 0
                   : errno;
    }
    ::close(nFd);
    if (nErr == ENOENT)
        return SaveThroughTemporary(strPath, data, pstrError); // no /proc
    if (nErr != 0)
        return Fail(pstrError, nErr);
    // rename() replaces the directory entry itself: a link at the name is not followed.
    if (::rename(temp.constData(), path.constData()) != 0) {
        nErr = errno;
        ::unlink(temp.constData());
        return Fail(pstrError, nErr);
    }
    return true;
}
