#include "acquisition/file_follower.h"

#include "acquisition/csv_reader.h"
#include "acquisition/log_store.h"
#include "acquisition/parse_csv.h"
#include "acquisition/regular_file.h"

#include <QFile>
#include <QFileSystemWatcher>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

constexpr size_t kMaxRead = CCsvReader::kMaxRead;
constexpr size_t kChunk = 256 * 1024;

ssize_t ReadAt(int nFd, char* p, size_t n, int64_t nOffset) {
    ssize_t nDone;
    do {
        nDone = ::pread(nFd, p, n, static_cast<off_t>(nOffset));
    } while (nDone < 0 && errno == EINTR);
    return nDone;
}

} // namespace

bool CFollowParser::Feed(const char* pData, size_t n, CLogStore& store) {
    std::string buf;
    buf.reserve(m_strPending.size() + n);
    buf.append(m_strPending);
    buf.append(pData, n);
    m_strPending.clear();
    const size_t nSize = buf.size();
    size_t nPos = 0;
    if (m_bSkipLf && nSize > 0) {
        if (buf[0] == '\n')
            nPos = 1;
        m_bSkipLf = false;
    }
    const int nChannels = store.m_nChannels;
    double row[CLogStore::kMaxChannels];
    char szLine[kMaxRead + 1];
    while (nPos < nSize) {
        const size_t nWindow = std::min(nSize - nPos, kMaxRead);
        const char* p = buf.data() + nPos;
        size_t i = 0;
        while (i < nWindow && p[i] != '\r' && p[i] != '\n')
            ++i;
        size_t nConsume;
        if (i == nWindow) {
            // A read cut by the limit is complete; a shorter one without its end waits for more.
            if (nWindow < kMaxRead)
                break;
            nConsume = nWindow;
        } else if (p[i] == '\r' && nPos + i + 1 == nSize) {
            // The LF of a CR LF pair may still be on its way.
            m_bSkipLf = true;
            nConsume = i + 1;
        } else {
            nConsume = i + 1 + ((p[i] == '\r' && p[i + 1] == '\n') ? 1 : 0);
        }
        std::memcpy(szLine, p, i);
        szLine[i] = '\0';
        ParseLineToRow(szLine, nChannels, row);
        if (!store.AddRow(row)) {
            m_strPending.clear();
            return false;
        }
        nPos += nConsume;
    }
    m_strPending.assign(buf, nPos, std::string::npos);
    return true;
}

CFileFollower::CFileFollower() {
    m_CoalesceTimer.setSingleShot(true);
    m_CoalesceTimer.setInterval(kCoalesceMs);
    connect(&m_CoalesceTimer, &QTimer::timeout, this, [this] { Check(); });
    m_SlowTimer.setInterval(kSlowCheckMs);
    connect(&m_SlowTimer, &QTimer::timeout, this, [this] { Check(); });
}

CFileFollower::~CFileFollower() {
    Stop();
}

bool CFileFollower::OpenPath() {
    ClosePath();
    const QByteArray path = QFile::encodeName(m_strPath);
    m_nFd = OpenRegularFileForReading(path.constData());
    if (m_nFd < 0)
        return false;
    struct stat st;
    if (::fstat(m_nFd, &st) != 0) {
        ClosePath();
        return false;
    }
    m_nDev = st.st_dev;
    m_nIno = st.st_ino;
    return true;
}

void CFileFollower::ClosePath() {
    if (m_nFd >= 0)
        ::close(m_nFd);
    m_nFd = -1;
}

void CFileFollower::SetResumePoint(int64_t nBytes) {
    // Where the last line end before nBytes is, and what byte it is.
    int64_t nLineStart = 0;
    bool bAfterCr = false;
    std::vector<char>& buf = m_Buffer;
    buf.resize(kChunk);
    for (int64_t nEnd = nBytes; nEnd > 0;) {
        const int64_t nFrom = std::max<int64_t>(0, nEnd - static_cast<int64_t>(kChunk));
        const ssize_t nGot = ReadAt(m_nFd, buf.data(), static_cast<size_t>(nEnd - nFrom), nFrom);
        if (nGot <= 0)
            break;
        int64_t i = nGot - 1;
        while (i >= 0 && buf[static_cast<size_t>(i)] != '\r' && buf[static_cast<size_t>(i)] != '\n')
            --i;
        if (i >= 0) {
            nLineStart = nFrom + i + 1;
            bAfterCr = buf[static_cast<size_t>(i)] == '\r';
            break;
        }
        nEnd = nFrom;
    }
    // The last line's reads of kMaxRead characters are complete rows; a shorter rest is not
    // finished yet: its row is taken back and made again once its end arrives.
    const int64_t nRest = (nBytes - nLineStart) % static_cast<int64_t>(kMaxRead);
    if (nRest > 0) {
        m_pStore->DropLastRows(1);
        m_nOffset = nBytes - nRest;
        m_Parser.Reset(nBytes - nRest == nLineStart && bAfterCr);
    } else {
        m_nOffset = nBytes;
        m_Parser.Reset(nBytes == nLineStart && bAfterCr);
    }
}

bool CFileFollower::Start(const QString& strPath, CLogStore& store, int64_t nBytesRead,
                          bool bWatch) {
    Stop();
    m_strPath = strPath;
    m_pStore = &store;
    if (!OpenPath())
        return false;
    SetResumePoint(nBytesRead);
    if (bWatch) {
        m_pWatcher = std::make_unique<QFileSystemWatcher>();
        m_pWatcher->addPath(m_strPath);
        // One notice is enough until the check has run: the path is watched again by the check,
        // before it reads, so nothing written after the read goes unnoticed. Without this, a
        // writer that appends a line at a time wakes the window for every line.
        connect(m_pWatcher.get(), &QFileSystemWatcher::fileChanged, this, [this] {
            m_pWatcher->removePath(m_strPath);
            ScheduleCheck();
        });
    }
    m_SlowTimer.start();
    // What was written between the read and now.
    ScheduleCheck();
    return true;
}

void CFileFollower::Stop() {
    m_CoalesceTimer.stop();
    m_SlowTimer.stop();
    m_pWatcher.reset();
    ClosePath();
}

void CFileFollower::ScheduleCheck() {
    if (!m_CoalesceTimer.isActive())
        m_CoalesceTimer.start();
}

void CFileFollower::Finish(EEvent eEvent) {
    Stop();
    if (m_fnEvent)
        m_fnEvent(eEvent);
}

bool CFileFollower::ReadNew() {
    std::vector<char>& buf = m_Buffer;
    buf.resize(kChunk);
    for (;;) {
        const ssize_t nGot = ReadAt(m_nFd, buf.data(), buf.size(), m_nOffset);
        if (nGot <= 0)
            return true;
        m_nOffset += nGot;
        if (!m_Parser.Feed(buf.data(), static_cast<size_t>(nGot), *m_pStore))
            return false;
    }
}

void CFileFollower::Check() {
    if (m_nFd < 0)
        return;
    const QByteArray path = QFile::encodeName(m_strPath);
    struct stat st;
    if (::stat(path.constData(), &st) != 0) {
        Finish(EEvent::Vanished);
        return;
    }
    // Watched again from here (it was let go at the notice, and the watcher loses a path whose
    // file was replaced).
    if (m_pWatcher && !m_pWatcher->files().contains(m_strPath))
        m_pWatcher->addPath(m_strPath);
    const bool bReplaced = st.st_dev != m_nDev || st.st_ino != m_nIno;
    struct stat stOpen;
    const bool bShrunk = ::fstat(m_nFd, &stOpen) == 0 && stOpen.st_size < m_nOffset;
    const int32_t nBefore = m_pStore->m_LogData[0].m_nCount;
    if (bReplaced || bShrunk) {
        // What the old file still held beyond what was read is lost with it: the new file is
        // the one the writer goes on with.
        if (bReplaced && !OpenPath()) {
            Finish(EEvent::Vanished);
            return;
        }
        m_pStore->ClearRows();
        m_nOffset = 0;
        m_Parser.Reset(false);
        const bool bOk = ReadNew();
        if (m_fnEvent)
            m_fnEvent(EEvent::Restarted);
        if (!bOk)
            Finish(EEvent::StoreFull);
        return;
    }
    if (!ReadNew()) {
        if (m_pStore->m_LogData[0].m_nCount != nBefore && m_fnEvent)
            m_fnEvent(EEvent::Rows);
        Finish(EEvent::StoreFull);
        return;
    }
    if (m_pStore->m_LogData[0].m_nCount != nBefore && m_fnEvent)
        m_fnEvent(EEvent::Rows);
}
