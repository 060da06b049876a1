#include "acquisition/csv_reader.h"

#include "acquisition/latest_row.h"
#include "acquisition/log_store.h"
#include "acquisition/mapped_file.h"
#include "acquisition/parse_csv.h"
#include "acquisition/regular_file.h"

#include <QFile>

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__SSE2__) && defined(__x86_64__)
// New store memory is written with 64-bit streaming stores (StoreColumn).
#define KEST_STREAM_STORES 1
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <functional>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// The fuzzing build shrinks the buffer so that small inputs reach the refill path.
#ifndef KEST_CSV_BUFFER_SIZE
#define KEST_CSV_BUFFER_SIZE (1 << 20)
#endif

/// The worker threads of one CCsvReader, kept between its reads: each job runs fn(nIndex) for
/// every index in 0..nCount-1 on some of them, handing the indexes out in rising order; fn
/// returns false to stop handing out further ones. Owned by the reader; Run is called on the
/// reader's thread and returns when the job has ended.
class CCsvWorkerPool {
public:
    CCsvWorkerPool() = default;
    ~CCsvWorkerPool() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_bShutdown = true;
        }
        m_cvJob.notify_all();
        for (std::thread& t : m_threads)
            t.join();
    }
    CCsvWorkerPool(const CCsvWorkerPool&) = delete;
    CCsvWorkerPool& operator=(const CCsvWorkerPool&) = delete;

    /// Starts the job on up to nThreads workers (started now if fewer exist) and calls fnWait on
    /// the calling thread meanwhile; returns once every worker has left the job. With no worker
    /// at all (the system refused threads) the job runs on the calling thread before fnWait.
    void Run(int nThreads, size_t nCount, const std::function<bool(size_t)>& fn,
             const std::function<void()>& fnWait = {}) {
        Grow(nThreads);
        const int nUse = std::min<int>(nThreads, static_cast<int>(m_threads.size()));
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_pFn = &fn;
            m_nCount = nCount;
            m_nNext.store(0);
            m_bStop.store(false);
            m_nWanted = nUse;
            m_nBusy = nUse;
            ++m_nJob;
        }
        if (nUse == 0)
            Work(fn, nCount);
        else
            m_cvJob.notify_all();
        if (fnWait)
            fnWait();
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cvDone.wait(lock, [this] { return m_nBusy == 0; });
        m_pFn = nullptr;
    }

private:
    void Grow(int nThreads) {
        try {
            while (static_cast<int>(m_threads.size()) < nThreads) {
                const int nSlot = static_cast<int>(m_threads.size());
                m_threads.emplace_back([this, nSlot] { Loop(nSlot); });
            }
        } catch (const std::exception&) {
            // Fewer workers when the system refuses more; none means the caller's thread.
        }
    }

    void Loop(int nSlot) {
        uint64_t nSeen = 0;
        for (;;) {
            const std::function<bool(size_t)>* pFn = nullptr;
            size_t nCount = 0;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_cvJob.wait(lock, [&] { return m_bShutdown || (m_nJob != nSeen); });
                if (m_bShutdown)
                    return;
                nSeen = m_nJob;
                if (nSlot >= m_nWanted)
                    continue; // this job wants fewer workers
                pFn = m_pFn;
                nCount = m_nCount;
            }
            Work(*pFn, nCount);
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                --m_nBusy;
            }
            m_cvDone.notify_one();
        }
    }

    void Work(const std::function<bool(size_t)>& fn, size_t nCount) {
        while (!m_bStop.load(std::memory_order_relaxed)) {
            const size_t nIndex = m_nNext.fetch_add(1);
            if (nIndex >= nCount)
                return;
            if (!fn(nIndex))
                m_bStop.store(true);
        }
    }

    std::vector<std::thread> m_threads;
    std::mutex m_mutex;
    std::condition_variable m_cvJob;
    std::condition_variable m_cvDone;
    uint64_t m_nJob = 0;                                ///< guarded by m_mutex
    int m_nWanted = 0;                                  ///< workers of the current job
    int m_nBusy = 0;                                    ///< workers still in the current job
    const std::function<bool(size_t)>* m_pFn = nullptr; ///< the current job
    size_t m_nCount = 0;
    bool m_bShutdown = false;
    std::atomic<size_t> m_nNext{0};
    std::atomic<bool> m_bStop{false};
};

namespace {

constexpr size_t kBufferSize = KEST_CSV_BUFFER_SIZE;
/// Bytes that must be buffered to decide one read: the longest line that still fits in one
/// read is 1021 characters, CR, LF.
constexpr size_t kLookahead = CCsvReader::kMaxRead + 2;
static_assert(kBufferSize > kLookahead, "the buffer must hold one whole read and its line end");

class CFd {
public:
    explicit CFd(int nFd) : m_nFd(nFd) {}
    ~CFd() {
        if (m_nFd >= 0)
            ::close(m_nFd);
    }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    int m_nFd;
};

#if defined(__SSE2__)
/// One bit for each of the 16 bytes at p that is a CR or an LF.
inline unsigned LineEndMask(const char* p) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(
        _mm_cmpeq_epi8(v, _mm_set1_epi8('\n')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\r')))));
}
#endif

/// Index of the first CR or LF in p[0..n), n when there is none.
inline size_t FindLineEnd(const char* p, size_t n) {
    size_t i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= n; i += 16) {
        const unsigned nMask = LineEndMask(p + i);
        if (nMask != 0)
            return i + static_cast<size_t>(__builtin_ctz(nMask));
    }
#endif
    for (; i < n; ++i) {
        if (p[i] == '\n' || p[i] == '\r')
            return i;
    }
    return n;
}

/// One read of the reading rule.
struct SRead {
    size_t m_nLine;    ///< characters that form the row's line
    size_t m_nConsume; ///< bytes of the file the read uses up (the line end included)
};

/// The read starting at p, where nAvail bytes are known: all up to the end of the file (or of a
/// chunk that ends after a line end), or at least kLookahead.
inline SRead NextRead(const char* p, size_t nAvail) {
    const size_t nWindow = std::min(nAvail, static_cast<size_t>(CCsvReader::kMaxRead));
    const size_t i = FindLineEnd(p, nWindow);
    if (i == nWindow)
        return {nWindow, nWindow};
    // A CR LF pair is one line end; only the LF right after the CR pairs with it.
    const size_t nPair = (p[i] == '\r' && i + 1 < nAvail && p[i + 1] == '\n') ? 1 : 0;
    return {i, i + 1 + nPair};
}

/// Parses one read into pRow. A line followed by its line end is parsed in place, since the
/// splitter stops at CR and LF; a line cut by the read limit or the end of the file is copied.
inline void ParseRead(const char* p, const SRead& read, int nChannels, double* pRow) {
    if (read.m_nConsume > read.m_nLine) {
        ParseLineToRow(p, nChannels, pRow);
        return;
    }
    char szLine[CCsvReader::kMaxRead + 1];
    std::memcpy(szLine, p, read.m_nLine);
    szLine[read.m_nLine] = '\0';
    ParseLineToRow(szLine, nChannels, pRow);
}

/// Where the chunk starting at or after nFrom may begin: just after the first line end at or
/// after nFrom (a CR LF pair kept whole), or nSize when none follows.
size_t ChunkStartAfter(const char* pData, size_t nSize, size_t nFrom) {
    for (size_t i = nFrom; i < nSize;) {
        const size_t nEnd = i + FindLineEnd(pData + i, nSize - i);
        if (nEnd >= nSize)
            return nSize;
        if (pData[nEnd] == '\r' && nEnd + 1 < nSize && pData[nEnd + 1] == '\n')
            return nEnd + 2;
        return nEnd + 1;
    }
    return nSize;
}

uintptr_t PageSize() {
    static const uintptr_t s_nPage = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    return s_nPage;
}

/// The start of the page that holds p, and the first page start at or after p.
uintptr_t PageDown(const void* p) {
    return reinterpret_cast<uintptr_t>(p) & ~(PageSize() - 1);
}
uintptr_t PageUp(const void* p) {
    return (reinterpret_cast<uintptr_t>(p) + PageSize() - 1) & ~(PageSize() - 1);
}

/// Lets go of the mapped pages that lie wholly in pData[nFrom..nTo): the file stays in the page
/// cache, but the process does not keep a second copy of the file's size counted against it
/// next to the store.
void ReleasePages(const char* pData, size_t nFrom, size_t nTo) {
    const uintptr_t nBegin = PageUp(pData + nFrom);
    const uintptr_t nEnd = PageDown(pData + nTo);
    if (nEnd > nBegin)
        ::madvise(reinterpret_cast<void*>(nBegin), nEnd - nBegin, MADV_DONTNEED);
}

/// Has the kernel make the store's pages for rows nFrom..nTo of every column at once, before the
/// chunk's parse writes them: one call per column instead of a fault per 4 KB page (on a 500 MB
/// file about 150,000 of them, each a trap into the kernel that clears one page). A kernel
/// without the advice (before 5.14) or without the memory leaves the pages to fault in as before.
void PrepareRows(double* const* apColumn, int nChannels, size_t nFrom, size_t nTo) {
#ifdef MADV_POPULATE_WRITE
    for (int ch = 0; ch < nChannels; ++ch) {
        const uintptr_t nBegin = PageDown(apColumn[ch] + nFrom);
        const uintptr_t nEnd = PageUp(apColumn[ch] + nTo);
        if (nEnd > nBegin)
            ::madvise(reinterpret_cast<void*>(nBegin), nEnd - nBegin, MADV_POPULATE_WRITE);
    }
#else
    (void)apColumn;
    (void)nChannels;
    (void)nFrom;
    (void)nTo;
#endif
}

/// The number of reads in p[0..nSize), which is either a whole file or ends just after a line
/// end. A line of L characters and its end (CR LF counting as one) takes L / kMaxRead + 1 reads,
/// the reads of the rule taking at most kMaxRead characters each.
size_t CountReads(const char* p, size_t nSize) {
    constexpr size_t kMax = CCsvReader::kMaxRead;
    size_t nReads = 0;
    size_t nLineStart = 0;
    auto lineEnd = [&](size_t nPos) {
        nReads += (nPos - nLineStart) / kMax + 1;
        // Only the LF right after a CR pairs with it.
        nLineStart =
            nPos + 1 + ((p[nPos] == '\r' && nPos + 1 < nSize && p[nPos + 1] == '\n') ? 1 : 0);
    };
    size_t i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= nSize; i += 16) {
        unsigned nMask = LineEndMask(p + i);
        while (nMask != 0) {
            const size_t nPos = i + static_cast<size_t>(__builtin_ctz(nMask));
            nMask &= nMask - 1;
            if (nPos >= nLineStart) // not the LF of a pair just counted
                lineEnd(nPos);
        }
    }
#endif
    for (; i < nSize; ++i) {
        if ((p[i] == '\n' || p[i] == '\r') && i >= nLineStart)
            lineEnd(i);
    }
    if (nLineStart < nSize) // the last line has no line end
        nReads += (nSize - nLineStart + kMax - 1) / kMax;
    return nReads;
}

/// Chunk boundaries of a mapped file: 0, then for each chunk the point just after the first line
/// end at least nChunkBytes past its start, last nSize. Every read starts afresh at a line end,
/// so each chunk gives the same reads as the whole file gives over that stretch.
std::vector<size_t> SplitChunks(const char* pData, size_t nSize, size_t nChunkBytes) {
    std::vector<size_t> chunkStart{0};
    while (chunkStart.back() < nSize) {
        const size_t nFrom = chunkStart.back() + nChunkBytes;
        chunkStart.push_back(nFrom >= nSize ? nSize : ChunkStartAfter(pData, nSize, nFrom));
    }
    return chunkStart;
}

/// The counting pass: the first row of every chunk, and the row count after the last chunk.
std::vector<size_t> CountChunkRows(const char* pData, const std::vector<size_t>& chunkStart,
                                   int nWorkers, CCsvWorkerPool& pool) {
    const size_t nChunks = chunkStart.size() - 1;
    std::vector<size_t> rowStart(nChunks + 1, 0);
    auto count = [&](size_t c) {
        rowStart[c + 1] = CountReads(pData + chunkStart[c], chunkStart[c + 1] - chunkStart[c]);
        ReleasePages(pData, chunkStart[c], chunkStart[c + 1]);
        return true;
    };
    if (nWorkers > 1) {
        pool.Run(nWorkers, nChunks, count);
    } else {
        for (size_t c = 0; c < nChunks; ++c)
            count(c);
    }
    for (size_t c = 0; c < nChunks; ++c)
        rowStart[c + 1] += rowStart[c];
    return rowStart;
}

/// Copies n values into a column of the store. The column's memory is new (the store's pages are
/// touched for the first time here), so the values go out as streaming stores where the processor
/// has them: whole cache lines written without reading them in first.
inline void StoreColumn(double* pDst, const double* pSrc, size_t n) {
#ifdef KEST_STREAM_STORES
    for (size_t i = 0; i < n; ++i) {
        long long nBits;
        std::memcpy(&nBits, &pSrc[i], sizeof nBits);
        _mm_stream_si64(reinterpret_cast<long long*>(pDst + i), nBits);
    }
#else
    std::memcpy(pDst, pSrc, n * sizeof(double));
#endif
}

/// Parses one chunk (file offset nChunkOffset) whose first row is nRow into the columns, and
/// notes in progressAt the file offset after every kProgressLines-th row.
void ParseChunk(const char* pChunk, size_t nChunk, size_t nChunkOffset, size_t nRow, int nChannels,
                double* const* apColumn, std::vector<qint64>& progressAt) {
    constexpr size_t kLines = CCsvReader::kProgressLines;
    // Rows gather in a block, column by column, and then go to the store a column at a time:
    // eight cache lines of one column at once rather than one value in each of eight columns.
    constexpr size_t kBlock = 64;
    double block[CLogStore::kMaxChannels][kBlock];
    size_t nInBlock = 0;
    size_t nBlockRow = nRow;
    const auto flush = [&] {
        for (int ch = 0; ch < nChannels; ++ch)
            StoreColumn(apColumn[ch] + nBlockRow, block[ch], nInBlock);
        nBlockRow += nInBlock;
        nInBlock = 0;
    };
    double row[CLogStore::kMaxChannels];
    for (size_t i = 0; i < nChunk; ++nRow) {
        const SRead read = NextRead(pChunk + i, nChunk - i);
        ParseRead(pChunk + i, read, nChannels, row);
        for (int ch = 0; ch < nChannels; ++ch)
            block[ch][nInBlock] = row[ch];
        if (++nInBlock == kBlock)
            flush();
        i += read.m_nConsume;
        if ((nRow + 1) % kLines == 0)
            progressAt[(nRow + 1) / kLines - 1] = static_cast<qint64>(nChunkOffset + i);
    }
    flush();
#ifdef KEST_STREAM_STORES
    // Streaming stores are not ordered with the others: made visible before the chunk is
    // reported done to the thread that reads the store.
    _mm_sfence();
#endif
}

} // namespace

CCsvReader::CCsvReader() = default;
CCsvReader::~CCsvReader() = default;
CCsvReader::CCsvReader(CCsvReader&&) noexcept = default;
CCsvReader& CCsvReader::operator=(CCsvReader&&) noexcept = default;

CCsvReader::EResult CCsvReader::Read(const QString& strPath, CLogStore& store, SLatestRow& latest,
                                     const FnProgress& fnProgress) {
    m_nLines = 0;
    m_nBytes = 0;
    const QByteArray path = QFile::encodeName(strPath);
    CFd fd(OpenRegularFileForReading(path.constData()));
    struct stat st;
    if (fd.m_nFd < 0 || ::fstat(fd.m_nFd, &st) != 0)
        return EResult::OpenFailed;
    const qint64 nTotal = static_cast<qint64>(st.st_size);
    const int n = store.m_nChannels;
    const int32_t nBefore = store.m_LogData[0].m_nCount;

    EResult result = EResult::Done;
    bool bDone = false;
    // Files that report no size (those of /proc) are read sequentially: their size says nothing.
    if (!m_bSequential && nTotal > 0) {
        const CMappedFile map(fd.m_nFd, static_cast<size_t>(nTotal));
        if (map.Data() != nullptr)
            bDone = ReadMapped(map, store, fnProgress, result);
        if (bDone)
            m_nBytes = nTotal;
    }
    if (!bDone)
        result = ReadSequential(fd.m_nFd, nTotal, store, fnProgress);

    const int32_t nAfter = store.m_LogData[0].m_nCount;
    m_nLines = nAfter - nBefore;
    for (int i = 0; i < n; ++i)
        latest[i] = m_nLines > 0 ? store.m_LogData[i].m_pData[nAfter - 1] : 0.0;
    return result;
}

CCsvReader::EResult CCsvReader::ReadSequential(int nFd, qint64 nTotal, CLogStore& store,
                                               const FnProgress& fnProgress) {
    if (::lseek(nFd, 0, SEEK_SET) != 0 && errno != ESPIPE)
        return EResult::ReadError;
    const int n = store.m_nChannels;
    double row[CLogStore::kMaxChannels];
    std::unique_ptr<char[]> pBuffer(new char[kBufferSize]);
    char* const pBuf = pBuffer.get();
    size_t nBegin = 0;
    size_t nEnd = 0;
    qint64 nConsumed = 0;
    bool bEof = false;
    bool bError = false;
    EResult result = EResult::Done;
    qint64 nUntilProgress = kProgressLines;

    for (;;) {
        if (nEnd - nBegin < kLookahead && !bEof && !bError) {
            std::memmove(pBuf, pBuf + nBegin, nEnd - nBegin);
            nEnd -= nBegin;
            nBegin = 0;
            while (nEnd < kBufferSize) {
                const ssize_t nGot = ::read(nFd, pBuf + nEnd, kBufferSize - nEnd);
                if (nGot > 0) {
                    nEnd += static_cast<size_t>(nGot);
                } else if (nGot == 0) {
                    bEof = true;
                    break;
                } else if (errno != EINTR) {
                    bError = true;
                    break;
                }
            }
        }
        if (nBegin == nEnd)
            break;

        const char* p = pBuf + nBegin;
        const SRead read = NextRead(p, nEnd - nBegin);
        ParseRead(p, read, n, row);
        nBegin += read.m_nConsume;
        nConsumed += static_cast<qint64>(read.m_nConsume);

        if (!store.AddRow(row)) {
            result = EResult::StoreFull;
            break;
        }
        if (--nUntilProgress == 0) {
            nUntilProgress = kProgressLines;
            if (fnProgress && !fnProgress(nConsumed, nTotal)) {
                result = EResult::Cancelled;
                break;
            }
        }
    }
    if (result == EResult::Done && bError)
        result = EResult::ReadError;
    m_nBytes = nConsumed;
    return result;
}

bool CCsvReader::ReadMapped(const CMappedFile& map, CLogStore& store, const FnProgress& fnProgress,
                            EResult& result) {
    const char* const pData = map.Data();
    const size_t nSize = map.Size();
    const int n = store.m_nChannels;
    if (!m_pPool)
        m_pPool = std::make_unique<CCsvWorkerPool>();
    int nThreads =
        m_nThreads > 0 ? m_nThreads : static_cast<int>(std::thread::hardware_concurrency());
    nThreads = std::max(nThreads, 1);
    const std::vector<size_t> chunkStart =
        SplitChunks(pData, nSize, std::max<size_t>(m_nChunkBytes, 1));
    const size_t nChunks = chunkStart.size() - 1;
    const int nWorkers = static_cast<int>(std::min<size_t>(static_cast<size_t>(nThreads), nChunks));

    // First pass: the reads of every chunk, so that the store is sized once and each chunk
    // knows where its rows go.
    const std::vector<size_t> rowStart = CountChunkRows(pData, chunkStart, nWorkers, *m_pPool);
    // A file cut short meanwhile has counts that are not the file's; the sequential pass reads
    // what is there now.
    if (map.LostOffset() < nSize)
        return false;
    const size_t nRows = rowStart[nChunks];
    // A store that cannot hold every row now is filled by the sequential pass, which stops
    // exactly where the store refuses a row.
    double* apColumn[CLogStore::kMaxChannels];
    if (!store.ReserveRows(nRows, apColumn))
        return false;

    // Second pass: each chunk's rows straight into their places. progressAt[k] is the file
    // offset just after row (k + 1) * kProgressLines - 1, where the sequential pass would call
    // the progress callback.
    const size_t nMarks = nRows / kProgressLines;
    std::vector<qint64> progressAt(nMarks, 0);
    std::vector<char> chunkDone(nChunks, 0);
    std::mutex mutex;
    std::condition_variable cvDone;
    std::atomic<bool> bCancel{false};
    size_t nAwaited = 0; ///< the chunk the calling thread waits for; guarded by mutex
    auto parse = [&](size_t c) {
        if (bCancel.load(std::memory_order_relaxed))
            return false;
        PrepareRows(apColumn, n, rowStart[c], rowStart[c + 1]);
        ParseChunk(pData + chunkStart[c], chunkStart[c + 1] - chunkStart[c], chunkStart[c],
                   rowStart[c], n, apColumn, progressAt);
        ReleasePages(pData, chunkStart[c], chunkStart[c + 1]);
        bool bAwaited = false;
        {
            std::lock_guard<std::mutex> lock(mutex);
            chunkDone[c] = 1;
            bAwaited = c == nAwaited;
        }
        // Only the chunk the calling thread waits for can let it go on; many small chunks
        // would otherwise cost a wake-up each.
        if (bAwaited)
            cvDone.notify_one();
        return true;
    };

    // The calling thread only waits and reports progress, in file order, for the rows that
    // stand complete from the start of the file.
    size_t nKept = nRows;
    auto waitAndReport = [&]() {
        size_t nPrefix = 0;
        size_t nNextMark = 0;
        while (nPrefix < nChunks && !bCancel.load()) {
            {
                std::unique_lock<std::mutex> lock(mutex);
                nAwaited = nPrefix;
                cvDone.wait(lock, [&]() { return chunkDone[nPrefix] != 0; });
                while (nPrefix < nChunks && chunkDone[nPrefix] != 0)
                    ++nPrefix;
            }
            const size_t nRowsDone = rowStart[nPrefix];
            for (; nNextMark < nMarks && (nNextMark + 1) * kProgressLines <= nRowsDone;
                 ++nNextMark) {
                if (fnProgress && !fnProgress(progressAt[nNextMark], static_cast<qint64>(nSize))) {
                    nKept = (nNextMark + 1) * kProgressLines;
                    bCancel.store(true);
                    break;
                }
            }
        }
    };
    m_pPool->Run(nWorkers, nChunks, parse, waitAndReport);

    result = bCancel.load() ? EResult::Cancelled : EResult::Done;
    // Rows of chunks that reach into bytes lost to a truncation are not the file's.
    const size_t nLost = map.LostOffset();
    if (nLost < nSize) {
        size_t c = 0;
        while (chunkStart[c + 1] <= nLost)
            ++c;
        if (rowStart[c] < nKept) {
            nKept = rowStart[c];
            result = EResult::ReadError;
        }
    }
    store.CommitRows(nKept);
    return true;
}
