#include "csv_reader.h"

#include "log_store.h"
#include "parse_csv.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace {

constexpr size_t kBufferSize = 1 << 20;
/// Bytes that must be buffered to decide one read: the longest line that still fits in one
/// read is 1021 characters, CR, LF.
constexpr size_t kLookahead = CCsvReader::kMaxRead + 2;

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

} // namespace

CCsvReader::EResult CCsvReader::Read(const QString& strPath, CLogStore& store, double* pLatestRow8,
                                     const FnProgress& fnProgress) {
    m_nLines = 0;
    const QByteArray path = QFile::encodeName(strPath);
    if (path.isEmpty())
        return EResult::OpenFailed;
    int nFd;
    do {
        nFd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    } while (nFd < 0 && errno == EINTR);
    CFd fd(nFd);
    struct stat st;
    if (nFd < 0 || ::fstat(nFd, &st) != 0 || S_ISDIR(st.st_mode))
        return EResult::OpenFailed;
    const qint64 nTotal = S_ISREG(st.st_mode) ? static_cast<qint64>(st.st_size) : 0;

    const int n = store.m_nChannels;
    double row[CLogStore::kMaxChannels] = {};
    double next[CLogStore::kMaxChannels];
    // One spare byte past the data: the line being parsed is ended there with a NUL.
    std::unique_ptr<char[]> pBuffer(new char[kBufferSize + 1]);
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

        char* p = pBuf + nBegin;
        const size_t nAvail = nEnd - nBegin;
        const size_t nWindow = nAvail < kLookahead ? nAvail : kLookahead;
        const char* pLf = static_cast<const char*>(std::memchr(p, '\n', nWindow));
        size_t nLine;    // characters handed to the splitter
        size_t nConsume; // bytes of the file this read used up
        if (pLf != nullptr) {
            const size_t nRaw = static_cast<size_t>(pLf - p);
            const size_t nCr = (nRaw > 0 && p[nRaw - 1] == '\r') ? 1 : 0;
            if (nRaw - nCr + 1 <= static_cast<size_t>(kMaxRead)) {
                nLine = nRaw - nCr;
                nConsume = nRaw + 1;
            } else {
                // Only the CR right before the LF pairs with it, and it lies beyond this read.
                nLine = nConsume = kMaxRead;
            }
        } else {
            nLine = nConsume = nAvail < static_cast<size_t>(kMaxRead) ? nAvail : kMaxRead;
        }

        const char cSaved = p[nLine];
        p[nLine] = '\0';
        ParseLineToRow(p, n, next);
        p[nLine] = cSaved;
        nBegin += nConsume;
        nConsumed += static_cast<qint64>(nConsume);

        if (!store.AddRow(next)) {
            result = EResult::StoreFull;
            break;
        }
        for (int i = 0; i < n; ++i)
            row[i] = next[i];
        ++m_nLines;
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
    for (int i = 0; i < n; ++i)
        pLatestRow8[i] = row[i];
    return result;
}
