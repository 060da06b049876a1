#include "acquisition/log_file.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace {

int OpenRetrying(const char* pszPath, int nFlags) {
    int fd = -1;
    do {
        fd = ::open(pszPath, nFlags, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

ELogOpenError Classify(int nErrno, const char* pszPath) {
    switch (nErrno) {
    case EEXIST: {
        struct stat st {};
        if (::lstat(pszPath, &st) == 0 && S_ISDIR(st.st_mode))
            return ELogOpenError::IsDirectory;
        return ELogOpenError::Exists;
    }
    case EISDIR:
        return ELogOpenError::IsDirectory;
    case ELOOP:
        return ELogOpenError::IsLink;
    case ENXIO: // a FIFO with no reader, opened without blocking; a socket
        return ELogOpenError::NotRegularFile;
    case EACCES:
    case EPERM:
        return ELogOpenError::Permission;
    default:
        return ELogOpenError::Other;
    }
}

SFileId IdOf(const struct stat& st) {
    return SFileId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

} // namespace

CLogFile::CLogFile() : m_pBuffer(new char[kBufferSize]) {
    m_vecEnds.reserve(kBufferSize / 2);
}

CLogFile::~CLogFile() {
    Close();
}

void CLogFile::ResetState() {
    m_bFailed = false;
    m_bFailureReported = false;
    m_bInGap = false;
    m_bStopped = false;
    m_CurrentGap = {};
    m_vecResumed.clear();
    m_nUsed = 0;
    m_vecEnds.clear();
    m_nBytesWritten = 0;
    m_nRecordsWritten = 0;
    m_nLinesLost = 0;
    m_OpenFailure = {};
    m_strPath.clear();
}

void CLogFile::FailOpen(ELogOpenError eKind, int nErrno) {
    m_OpenFailure = {eKind, nErrno};
}

bool CLogFile::FinishOpen(int nFd) {
    m_nFd = nFd;
    return true;
}

bool CLogFile::Open(const QString& strPath) {
    Close();
    ResetState();
    const QByteArray path = QFile::encodeName(strPath);
    if (path.isEmpty()) {
        FailOpen(ELogOpenError::Other, ENOENT);
        return false;
    }
    const int fd = OpenRetrying(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC);
    if (fd < 0) {
        FailOpen(Classify(errno, path.constData()), errno);
        return false;
    }
    m_strPath = strPath;
    return FinishOpen(fd);
}

bool CLogFile::Open(const QString& strPath, ELogOpenMode eMode, const SFileId* pExpected) {
    Close();
    ResetState();
    const QByteArray path = QFile::encodeName(strPath);
    if (path.isEmpty()) {
        FailOpen(ELogOpenError::Other, ENOENT);
        return false;
    }
    const char* pszPath = path.constData();
    constexpr int kCreate = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    int fd = -1;
    bool bCreated = false;
    if (eMode == ELogOpenMode::CreateNew) {
        fd = OpenRetrying(pszPath, kCreate);
        bCreated = fd >= 0;
    } else {
        // No O_CREAT on an existing name, no O_TRUNC before the file has been looked at, and no
        // blocking on a FIFO: the target is checked through the descriptor it was opened by.
        for (int nTry = 0; nTry < 2 && fd < 0; ++nTry) {
            fd = OpenRetrying(pszPath, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
            if (fd >= 0 || errno != ENOENT)
                break;
            if (pExpected) {
                FailOpen(ELogOpenError::NotTheCheckedFile, ENOENT);
                return false;
            }
            fd = OpenRetrying(pszPath, kCreate);
            bCreated = fd >= 0;
            if (fd < 0 && errno != EEXIST)
                break; // EEXIST: made by someone else meanwhile; look at it once more
        }
    }
    if (fd < 0) {
        const int nErrno = errno;
        FailOpen(Classify(nErrno, pszPath), nErrno);
        return false;
    }

    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        FailOpen(ELogOpenError::Other, errno);
        ::close(fd);
        return false;
    }
    ELogOpenError eRefused = ELogOpenError::None;
    if (!S_ISREG(st.st_mode) && !S_ISCHR(st.st_mode))
        eRefused = S_ISDIR(st.st_mode) ? ELogOpenError::IsDirectory : ELogOpenError::NotRegularFile;
    else if (pExpected && !bCreated && !(IdOf(st) == *pExpected))
        eRefused = ELogOpenError::NotTheCheckedFile;
    if (eRefused != ELogOpenError::None) {
        FailOpen(eRefused, 0);
        ::close(fd);
        return false;
    }
    if (S_ISREG(st.st_mode) && !bCreated && ::ftruncate(fd, 0) != 0) {
        FailOpen(Classify(errno, pszPath), errno);
        ::close(fd);
        return false;
    }
    const int nFlags = ::fcntl(fd, F_GETFL);
    if (nFlags >= 0 && (nFlags & O_NONBLOCK))
        ::fcntl(fd, F_SETFL, nFlags & ~O_NONBLOCK);
    m_strPath = strPath;
    return FinishOpen(fd);
}

std::optional<SFileId> CLogFile::IdentityOf(const QString& strPath) {
    const QByteArray path = QFile::encodeName(strPath);
    struct stat st {};
    if (path.isEmpty() || ::lstat(path.constData(), &st) != 0)
        return std::nullopt;
    return IdOf(st);
}

bool CLogFile::IsStillAtPath() const {
    if (m_nFd < 0)
        return false;
    struct stat stOpen {};
    struct stat stPath {};
    const QByteArray path = QFile::encodeName(m_strPath);
    if (::fstat(m_nFd, &stOpen) != 0 || ::stat(path.constData(), &stPath) != 0)
        return false;
    return IdOf(stOpen) == IdOf(stPath);
}

size_t CLogFile::WriteSome(const char* p, size_t n, int& nErrno) {
    size_t nDone = 0;
    while (nDone < n) {
        const ssize_t nWritten = ::write(m_nFd, p + nDone, n - nDone);
        if (nWritten < 0 && errno == EINTR)
            continue;
        if (nWritten <= 0) {
            nErrno = nWritten < 0 ? errno : EIO;
            break;
        }
        nDone += static_cast<size_t>(nWritten);
    }
    return nDone;
}

void CLogFile::WriteRecords(const char* p, size_t n, const size_t* pEnds, size_t nRecords) {
    if (nRecords == 0)
        return;
    int nErrno = 0;
    const size_t nDone = m_bStopped ? 0 : WriteSome(p, n, nErrno);
    if (nDone == n) {
        m_nBytesWritten += static_cast<int64_t>(n);
        m_nRecordsWritten += static_cast<int64_t>(nRecords);
        if (m_bInGap) {
            m_CurrentGap.m_bResumed = true;
            m_vecResumed.push_back(m_CurrentGap);
            m_bInGap = false;
        }
        return;
    }

    // Keep the records that reached the file whole; cut back the one that did not.
    size_t nWhole = 0;
    while (nWhole < nRecords && pEnds[nWhole] <= nDone)
        ++nWhole;
    const size_t nKeep = nWhole ? pEnds[nWhole - 1] : 0;
    if (nDone > nKeep) {
        const off_t nBoundary = static_cast<off_t>(m_nBytesWritten + static_cast<int64_t>(nKeep));
        if (::ftruncate(m_nFd, nBoundary) != 0 || ::lseek(m_nFd, nBoundary, SEEK_SET) < 0)
            m_bStopped = true; // a later record would be glued to the cut one
    }
    m_nBytesWritten += static_cast<int64_t>(nKeep);
    m_nRecordsWritten += static_cast<int64_t>(nWhole);
    const int64_t nLost = static_cast<int64_t>(nRecords - nWhole);
    m_nLinesLost += nLost;
    if (!m_bInGap) {
        m_bInGap = true;
        m_CurrentGap = SLogGap{m_nRecordsWritten, 0, nErrno, false};
    }
    m_CurrentGap.m_nLinesLost += nLost;
    m_bFailed = true;
}

void CLogFile::WriteRecord(const char* pszLine) {
    if (m_nFd < 0)
        return;
    const size_t nLen = std::strlen(pszLine);
    if (m_nUsed + nLen + 2 > kBufferSize) {
        Flush();
        if (nLen + 2 > kBufferSize) {
            // Longer than the whole buffer (never from the reader, whose lines are short).
            std::string strRecord(pszLine, nLen);
            strRecord += "\r\n";
            const size_t nEnd = strRecord.size();
            WriteRecords(strRecord.data(), nEnd, &nEnd, 1);
            return;
        }
    }
    char* pDst = m_pBuffer.get() + m_nUsed;
    std::memcpy(pDst, pszLine, nLen);
    pDst[nLen] = '\r';
    pDst[nLen + 1] = '\n';
    m_nUsed += nLen + 2;
    m_vecEnds.push_back(m_nUsed);
}

void CLogFile::Flush() {
    if (m_nFd < 0 || m_nUsed == 0)
        return;
    // Records that fail are dropped, not kept for later: keeping them would only grow the
    // backlog while the disk stays full. They are counted in the gap.
    WriteRecords(m_pBuffer.get(), m_nUsed, m_vecEnds.data(), m_vecEnds.size());
    m_nUsed = 0;
    m_vecEnds.clear();
}

void CLogFile::Close() {
    if (m_nFd < 0)
        return;
    Flush();
    if (::close(m_nFd) != 0 && errno != EINTR)
        m_bFailed = true;
    m_nFd = -1;
}

bool CLogFile::TakeFailureToReport() {
    if (!m_bFailed || m_bFailureReported)
        return false;
    m_bFailureReported = true;
    return true;
}

std::vector<SLogGap> CLogFile::TakeResumedGaps() {
    std::vector<SLogGap> vec;
    vec.swap(m_vecResumed);
    return vec;
}

std::optional<SLogGap> CLogFile::OpenGap() const {
    if (!m_bInGap)
        return std::nullopt;
    return m_CurrentGap;
}
