// The CSV reader for viewing: the input (after one control byte) is the file. The sequential pass
// (built with a buffer of 1031 bytes, so small inputs reach the refill path) and the parallel
// pass over small chunks must both store exactly the rows of the reading rule: CR LF, CR and LF
// end a line, each read takes at most 1022 characters, every read is one row.
#include "acquisition/latest_row.h"
#include "acquisition/csv_reader.h"
#include "acquisition/log_store.h"
#include "acquisition/parse_csv.h"
#include "fuzz_temp_dir.h"

#include <fcntl.h>

#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

/// The expected store: one column of values per channel.
using Columns = std::array<std::vector<double>, 8>;

// The oracle is not the code under test, so it is left out of the coverage tracing, which
// otherwise cost more than a third of each execution.
__attribute__((no_sanitize("coverage"))) void ExpectedRows(const char* pData, size_t nSize,
                                                           int nChannels, Columns& columns) {
    for (auto& column : columns)
        column.clear();
    char line[1024];
    size_t n = 0;
    double row[8];
    const auto endRead = [&] {
        line[n] = '\0';
        ParseLineToRowSplit(line, nChannels, row);
        for (int c = 0; c < nChannels; ++c)
            columns[static_cast<size_t>(c)].push_back(row[c]);
        n = 0;
    };
    for (size_t i = 0; i < nSize; ++i) {
        // CR LF is one line end, a lone CR is one too.
        char ch = pData[i];
        if (ch == '\r') {
            if (i + 1 < nSize && pData[i + 1] == '\n')
                continue;
            ch = '\n';
        }
        line[n++] = ch;
        if (ch == '\n' || n == 1022)
            endRead();
    }
    if (n > 0)
        endRead();
}

/// The input as a file the reader opens by name, on a tmpfs. (A memory file reached through
/// /proc/self/fd cost more in the path lookup than the reading.)
class CInputFile {
public:
    CInputFile()
        : m_strPath(m_dir.filePath(QStringLiteral("input.csv"))),
          m_nFd(::open(QFile::encodeName(m_strPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC,
                       0600)) {
        if (m_nFd < 0)
            __builtin_trap();
    }
    void Set(const uint8_t* pData, size_t nSize) {
        if (pwrite(m_nFd, pData, nSize, 0) != static_cast<ssize_t>(nSize) ||
            (nSize < m_nSize && ftruncate(m_nFd, static_cast<off_t>(nSize)) != 0))
            __builtin_trap();
        m_nSize = nSize;
    }
    CFuzzTempDir m_dir;
    QString m_strPath;
    int m_nFd;
    size_t m_nSize = 0;
};

void Check(bool b) {
    if (!b)
        __builtin_trap();
}

} // namespace

extern "C" __attribute__((no_sanitize("coverage"))) int LLVMFuzzerTestOneInput(const uint8_t* pData,
                                                                               size_t nSize) {
    if (nSize < 1)
        return 0;
    static CInputFile s_file;
    const int nChannels = 1 + pData[0] % 8;
    const size_t nChunkBytes = 1 + (pData[0] >> 3) * 37;
    const char* pText = reinterpret_cast<const char*>(pData + 1);
    const size_t nText = nSize - 1;
    s_file.Set(pData + 1, nText);
    static Columns s_expected;
    ExpectedRows(pText, nText, nChannels, s_expected);
    const size_t nRows = s_expected[0].size();

    // One reader for the whole run, as a viewer that opens file after file: its workers stay.
    static CCsvReader s_reader;
    // One store too: making and dropping eight address-space reservations per pass cost more
    // than the reading. It starts afresh (1024 rows) whenever an input made it grow, so the
    // growth paths are still taken from the same small start.
    static CLogStore s_store;
    for (int nPass = 0; nPass < 2; ++nPass) {
        CLogStore& store = s_store;
        bool bFresh = store.m_nChannels != nChannels || store.m_LogData[0].m_nSize != 1024;
        for (int c = 0; c < nChannels; ++c) {
            bFresh = bFresh || store.m_LogData[c].m_nSize != 1024;
            store.m_LogData[c].m_nCount = 0;
        }
        if (bFresh)
            Check(store.InitLogData(nChannels, 1024, 1024));
        SLatestRow latest{{7, 7, 7, 7, 7, 7, 7, 7}};
        CCsvReader& reader = s_reader;
        reader.m_bSequential = nPass == 0;
        reader.m_nThreads = 2;
        reader.m_nChunkBytes = nChunkBytes;
        Check(reader.Read(s_file.m_strPath, store, latest) == CCsvReader::EResult::Done);
        Check(reader.m_nLines == static_cast<qint64>(nRows));
        for (int c = 0; c < nChannels; ++c) {
            const std::vector<double>& column = s_expected[static_cast<size_t>(c)];
            Check(store.m_LogData[c].m_nCount == static_cast<int32_t>(nRows));
            Check(nRows == 0 || std::memcmp(store.m_LogData[c].m_pData, column.data(),
                                            nRows * sizeof(double)) == 0);
            const double dLast = nRows > 0 ? column[nRows - 1] : 0.0;
            Check(std::memcmp(&latest[c], &dLast, sizeof(double)) == 0);
        }
        for (int c = nChannels; c < 8; ++c)
            Check(latest[c] == 7);
    }
    return 0;
}
