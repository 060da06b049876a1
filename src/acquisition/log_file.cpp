#include "acquisition/log_file.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

CLogFile::CLogFile() : m_pBuffer(new char[kBufferSize]) {}

CLogFile::~CLogFile() {
    Close();
}

bool CLogFile::Open(const QString& strPath) {
    Close();
    m_bFailed = false;
    m_bFailureReported = false;
    m_nUsed = 0;
    const QByteArray path = QFile::encodeName(strPath);
    if (path.isEmpty())
        return false;
    do {
        m_nFd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    } while (m_nFd < 0 && errno == EINTR);
    return m_nFd >= 0;
}

bool CLogFile::WriteAll(const char* p, size_t n) {
    while (n > 0) {
        const ssize_t nDone = ::write(m_nFd, p, n);
        if (nDone < 0) {
            if (errno == EINTR)
                continue;
            m_bFailed = true;
            return false;
        }
        p += nDone;
        n -= static_cast<size_t>(nDone);
    }
    return true;
}

void CLogFile::WriteRecord(const char* pszLine) {
    if (m_nFd < 0)
        return;
    const size_t nLen = std::strlen(pszLine);
    if (m_nUsed + nLen + 2 > kBufferSize) {
        Flush();
        if (nLen + 2 > kBufferSize) {
            // Longer than the whole buffer (never from the reader, whose lines are short).
            if (WriteAll(pszLine, nLen))
                WriteAll("\r\n", 2);
            return;
        }
    }
    char* pDst = m_pBuffer.get() + m_nUsed;
    std::memcpy(pDst, pszLine, nLen);
    pDst[nLen] = '\r';
    pDst[nLen + 1] = '\n';
    m_nUsed += nLen + 2;
}

void CLogFile::Flush() {
    if (m_nFd < 0 || m_nUsed == 0)
        return;
    // On failure the queued records are dropped: keeping them would only grow the backlog
    // while the disk stays full.
    WriteAll(m_pBuffer.get(), m_nUsed);
    m_nUsed = 0;
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
