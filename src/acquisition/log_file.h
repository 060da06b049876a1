#pragma once

#include <QString>

#include <cstddef>
#include <memory>

/// The log file of one logging run: one record per received line, each ended by CR LF; owned by
/// the view, window thread only.
///
/// Records collect in a buffer of its own and go to disk on Flush (once per drained batch) or
/// when the buffer is full. A failed write is not retried; it is remembered so that the user can
/// be told once per file, and later records are still attempted.
class CLogFile {
public:
    CLogFile();
    ~CLogFile();
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    /// Creates or truncates the file (closing any file held before); false if it cannot be opened.
    bool Open(const QString& strPath);
    /// Queues the bytes of pszLine up to its first NUL, then CR LF. Ignored while no file is open.
    void WriteRecord(const char* pszLine);
    /// Hands everything queued to the operating system.
    void Flush();
    /// Flushes and closes; nothing happens when no file is open.
    void Close();
    bool IsOpen() const { return m_nFd >= 0; }
    /// True once per opened file after a write, flush or close has failed (e.g. disk full).
    bool TakeFailureToReport();
    bool HasFailed() const { return m_bFailed; }

private:
    static constexpr size_t kBufferSize = 64 * 1024;

    bool WriteAll(const char* p, size_t n);

    int m_nFd = -1;
    std::unique_ptr<char[]> m_pBuffer;
    size_t m_nUsed = 0;
    bool m_bFailed = false;
    bool m_bFailureReported = false;
};
