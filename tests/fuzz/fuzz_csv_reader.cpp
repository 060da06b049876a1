// The CSV reader for viewing: the input (after one control byte) is the file. The sequential pass
// (built with a buffer of 1031 bytes, so small inputs reach the refill path) and the parallel
// pass over small chunks must both store exactly the rows of the reading rule: CR LF, CR and LF
// end a line, each read takes at most 1022 characters, every read is one row.
#include "acquisition/latest_row.h"
#include "acquisition/csv_reader.h"
#include "acquisition/log_store.h"
#include "acquisition/parse_csv.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Rows = std::vector<double>; // row after row, nChannels values each

Rows ExpectedRows(const char* pData, size_t nSize, int nChannels) {
    std::string text;
    for (size_t i = 0; i < nSize; ++i) {
        if (pData[i] != '\r')
            text.push_back(pData[i]);
        else if (!(i + 1 < nSize && pData[i + 1] == '\n'))
            text.push_back('\n');
    }
    Rows rows;
    double row[8];
    for (size_t i = 0; i < text.size();) {
        size_t n = 0;
        while (i + n < text.size() && n < 1022 && (n == 0 || text[i + n - 1] != '\n'))
            ++n;
        const std::string line = text.substr(i, n);
        ParseLineToRowSplit(line.c_str(), nChannels, row);
        rows.insert(rows.end(), row, row + nChannels);
        i += n;
    }
    return rows;
}

/// The input as a file the reader opens by name: a memory file reached through /proc.
class CInputFile {
public:
    CInputFile() : m_nFd(memfd_create("kest-fuzz.csv", 0)) {
        m_strPath = QStringLiteral("/proc/self/fd/") + QString::number(m_nFd);
    }
    void Set(const uint8_t* pData, size_t nSize) {
        if (ftruncate(m_nFd, 0) != 0 ||
            pwrite(m_nFd, pData, nSize, 0) != static_cast<ssize_t>(nSize))
            __builtin_trap();
    }
    int m_nFd;
    QString m_strPath;
};

void Check(bool b) {
    if (!b)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    if (nSize < 1)
        return 0;
    static CInputFile s_file;
    const int nChannels = 1 + pData[0] % 8;
    const size_t nChunkBytes = 1 + (pData[0] >> 3) * 37;
    const char* pText = reinterpret_cast<const char*>(pData + 1);
    const size_t nText = nSize - 1;
    s_file.Set(pData + 1, nText);
    const Rows expected = ExpectedRows(pText, nText, nChannels);

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
        const size_t nRows = expected.size() / static_cast<size_t>(nChannels);
        Check(reader.m_nLines == static_cast<qint64>(nRows));
        for (int c = 0; c < nChannels; ++c) {
            Check(store.m_LogData[c].m_nCount == static_cast<int32_t>(nRows));
            for (size_t r = 0; r < nRows; ++r)
                Check(std::memcmp(
                          &store.m_LogData[c].m_pData[r],
                          &expected[r * static_cast<size_t>(nChannels) + static_cast<size_t>(c)],
                          sizeof(double)) == 0);
            const double dLast = nRows > 0 ? expected[(nRows - 1) * static_cast<size_t>(nChannels) +
                                                      static_cast<size_t>(c)]
                                           : 0.0;
            Check(std::memcmp(&latest[c], &dLast, sizeof(double)) == 0);
        }
        for (int c = nChannels; c < 8; ++c)
            Check(latest[c] == 7);
    }
    return 0;
}
