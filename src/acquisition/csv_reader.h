#pragma once

#include <QString>
#include <QtGlobal>

#include <cstddef>
#include <functional>
#include <memory>

class CLogStore;
class CMappedFile;
struct SLatestRow;
class CCsvWorkerPool;

/// Reads a CSV file for viewing into the sample store, one row per line; used by the view on the
/// window thread, for one read or several (its worker threads then stay between reads).
///
/// Only a regular file (links followed) is read: a named pipe or a device is refused like a file
/// that cannot be opened. CR, LF and a CR LF pair each end a line. Each read takes the characters
/// up to and including the next line end (a CR LF pair counting as one character) but at most
/// 1022 of them; every read is one row. The caller empties the store first.
///
/// A file that can be mapped is read in chunks split at line ends, parsed on worker threads of
/// its own and stored in file order; anything else, and a file whose rows the store cannot make
/// room for at once, is read in one sequential pass with the same result. A file cut short by
/// another process while it is read gives ReadError and keeps the rows read from bytes that were
/// still the file's.
///
/// The workers are started at the first parallel read and kept, idle, until the reader is
/// destroyed, so that many reads of small files do not pay for starting threads each time.
class CCsvReader {
public:
    CCsvReader();
    ~CCsvReader();
    CCsvReader(CCsvReader&&) noexcept;
    CCsvReader& operator=(CCsvReader&&) noexcept;

    enum class EResult {
        OpenFailed, ///< nothing was read; the store and the latest row are untouched
        Done,       ///< the whole file was read
        ReadError,  ///< reading failed part way; the rows before it stay
        Cancelled,  ///< the progress callback asked to stop; the rows so far stay
        StoreFull,  ///< the store refused a row (memory exhausted); the rows so far stay
    };
    /// Told the bytes consumed and the file size; returns false to cancel. Called on the calling
    /// thread after every kProgressLines rows, with the bytes those rows used up.
    using FnProgress = std::function<bool(qint64 nDone, qint64 nTotal)>;

    static constexpr int kMaxRead = 1022;        ///< characters per read, line end included
    static constexpr int kProgressLines = 65536; ///< lines between progress calls

    /// Appends one row per read to store's active channels. Unless the open failed,
    /// latest[0..n-1] receives the last row stored (zeros when there was none).
    EResult Read(const QString& strPath, CLogStore& store, SLatestRow& latest,
                 const FnProgress& fnProgress = {});

    qint64 m_nLines = 0; ///< rows appended by the last Read
    /// Bytes of the file the last Read took its rows from (all of it when it ended Done); where
    /// a follower of the growing file goes on.
    qint64 m_nBytes = 0;

    // Tuning, for tests and benchmarks.
    bool m_bSequential = false;             ///< always use the sequential pass
    int m_nThreads = 0;                     ///< worker threads; 0 means one per hardware thread
    size_t m_nChunkBytes = size_t{2} << 20; ///< bytes per parallel chunk, before the line end

private:
    EResult ReadSequential(int nFd, qint64 nTotal, CLogStore& store, const FnProgress& fnProgress);
    /// False when the parallel read does not apply (nothing was stored then).
    bool ReadMapped(const CMappedFile& map, CLogStore& store, const FnProgress& fnProgress,
                    EResult& result);

    std::unique_ptr<CCsvWorkerPool> m_pPool; ///< made at the first parallel read
};
