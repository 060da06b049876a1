#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

/// How CLogFile::Open treats what is already at the path.
enum class ELogOpenMode {
    /// Only a new file: fails when anything exists at the path, a link or a directory included
    /// (O_CREAT | O_EXCL | O_NOFOLLOW).
    CreateNew,
    /// An existing regular file is truncated, a character device such as /dev/null is written as
    /// it is, a missing file is created. A symbolic link at the path is refused, never followed;
    /// so are directories, FIFOs (without blocking), sockets and block devices.
    Replace,
};

/// Why CLogFile::Open failed.
enum class ELogOpenError {
    None,
    Exists,            ///< CreateNew found something at the path (errno EEXIST)
    IsDirectory,       ///< the path is a directory
    IsLink,            ///< Replace found a symbolic link at the path
    NotRegularFile,    ///< a FIFO, socket or block device
    Permission,        ///< EACCES or EPERM
    NotTheCheckedFile, ///< Replace: the file at the path is not the one the caller checked
    Other,             ///< any other errno (missing directory, read-only file system, ...)
};

/// The failure of the last CLogFile::Open: its kind and the errno behind it (0 when none).
struct SLogOpenFailure {
    ELogOpenError m_eKind = ELogOpenError::None;
    int m_nErrno = 0;
};

/// Which file a path named when it was looked at: device and inode number.
struct SFileId {
    uint64_t m_nDev = 0;
    uint64_t m_nIno = 0;
    bool operator==(const SFileId&) const = default;
};

/// A run of records that the log does not hold because writing failed (e.g. disk full).
struct SLogGap {
    int64_t m_nAfterRecord = 0; ///< whole records in the file before the gap
    int64_t m_nLinesLost = 0;   ///< records dropped in the gap
    int m_nErrno = 0;           ///< errno of the write that opened the gap (ENOSPC, EFBIG, EIO...)
    bool m_bResumed = false;    ///< writing went on after the gap
};

/// The log file of one logging run: one record per received line, each ended by CR LF; owned by
/// the logging session (window or `kest --log`), window thread only.
///
/// Records collect in a buffer of its own and go to disk on Flush (once per drained batch) or
/// when the buffer is full. The file never holds a cut record: when a write fails part-way, the
/// file is cut back to the end of the last whole record, the records not written are dropped
/// and counted as lost, and the next Flush starts again at that record boundary. A gap is thus
/// a run of missing records between whole ones; the file itself keeps its plain CSV form (no
/// marker lines), and the gaps are told through TakeFailureToReport, TakeResumedGaps and
/// LinesLost. When the cut record cannot be removed (a file that cannot be truncated), nothing
/// more is written.
class CLogFile {
public:
    CLogFile();
    ~CLogFile();
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    /// Creates or truncates the file, following links (closing any file held before); false if
    /// it cannot be opened. New callers use the overload with a mode.
    bool Open(const QString& strPath);
    /// Opens strPath as eMode says, without following a link at the path and without blocking
    /// on a FIFO. With pExpected (Replace only), the opened file must be that file (as
    /// IdentityOf gave it earlier), else it is closed untouched. False on failure; the reason
    /// is in LastOpenFailure. A regular file is truncated only after these checks.
    bool Open(const QString& strPath, ELogOpenMode eMode, const SFileId* pExpected = nullptr);
    /// Why the last Open failed (kind None after a successful one).
    const SLogOpenFailure& LastOpenFailure() const { return m_OpenFailure; }
    /// The file at strPath itself, a link not followed; nullopt when nothing is there.
    static std::optional<SFileId> IdentityOf(const QString& strPath);

    /// Queues the bytes of pszLine up to its first NUL, then CR LF. Ignored while no file is open.
    void WriteRecord(const char* pszLine);
    /// Hands everything queued to the operating system.
    void Flush();
    /// Flushes and closes; nothing happens when no file is open.
    void Close();
    bool IsOpen() const { return m_nFd >= 0; }

    /// True once per opened file, as soon as a write (in WriteRecord, Flush or Close) has failed
    /// for the first time; callers look after every batch they hand over.
    bool TakeFailureToReport();
    /// A write has failed in this file (it may have resumed since).
    bool HasFailed() const { return m_bFailed; }
    /// The last write attempt failed: records are being dropped now.
    bool IsFailing() const { return m_bInGap; }
    /// Each gap after which writing has resumed, once, in file order.
    std::vector<SLogGap> TakeResumedGaps();
    /// The gap still open (writing has not resumed), if any.
    std::optional<SLogGap> OpenGap() const;

    /// Bytes of whole records in the file (for the current or last file).
    int64_t BytesWritten() const { return m_nBytesWritten; }
    /// Whole records in the file.
    int64_t RecordsWritten() const { return m_nRecordsWritten; }
    /// Records dropped in all gaps of the current or last file.
    int64_t LinesLost() const { return m_nLinesLost; }
    /// False when the path no longer names the open file (deleted or renamed away, or replaced).
    bool IsStillAtPath() const;

private:
    static constexpr size_t kBufferSize = 64 * 1024;

    void ResetState();
    bool FinishOpen(int nFd);
    void FailOpen(ELogOpenError eKind, int nErrno);
    /// Writes records [p, p+n) whose ends are at pEnds; keeps the file at a record boundary.
    void WriteRecords(const char* p, size_t n, const size_t* pEnds, size_t nRecords);
    /// Bytes handed to write() before the first failure (n when all); errno is kept then.
    size_t WriteSome(const char* p, size_t n, int& nErrno);

    int m_nFd = -1;
    QString m_strPath;
    std::unique_ptr<char[]> m_pBuffer;
    size_t m_nUsed = 0;
    std::vector<size_t> m_vecEnds; ///< end offset of each queued record in the buffer
    bool m_bFailed = false;
    bool m_bFailureReported = false;
    bool m_bInGap = false;
    bool m_bStopped = false; ///< a cut record could not be removed: nothing more is written
    SLogGap m_CurrentGap;
    std::vector<SLogGap> m_vecResumed;
    int64_t m_nBytesWritten = 0;
    int64_t m_nRecordsWritten = 0;
    int64_t m_nLinesLost = 0;
    SLogOpenFailure m_OpenFailure;
};
