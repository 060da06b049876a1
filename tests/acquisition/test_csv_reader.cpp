#include "csv_reader.h"

#include "log_store.h"
#include "parse_csv.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <random>
#include <string>
#include <vector>

namespace {

using Rows = std::vector<std::vector<double>>;

QString WriteFile(const QTemporaryDir& dir, const std::string& strContent) {
    const QString strPath = dir.filePath("view.csv");
    QFile file(strPath);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(strContent.data(), static_cast<qint64>(strContent.size()));
    return strPath;
}

Rows StoredRows(const CLogStore& store) {
    Rows rows(static_cast<size_t>(store.m_LogData[0].m_nCount));
    for (size_t r = 0; r < rows.size(); ++r)
        for (int c = 0; c < store.m_nChannels; ++c)
            rows[r].push_back(store.m_LogData[c].m_pData[r]);
    return rows;
}

/// The text-mode reading rule applied to the whole content at once: CR LF becomes LF, then
/// reads of up to 1022 characters that end after an LF.
Rows ExpectedRows(const std::string& strContent, int nChannels) {
    std::string text;
    for (size_t i = 0; i < strContent.size(); ++i) {
        if (!(strContent[i] == '\r' && i + 1 < strContent.size() && strContent[i + 1] == '\n'))
            text.push_back(strContent[i]);
    }
    Rows rows;
    size_t i = 0;
    while (i < text.size()) {
        size_t n = 0;
        while (i + n < text.size() && n < 1022 && (n == 0 || text[i + n - 1] != '\n'))
            ++n;
        const std::string line = text.substr(i, n);
        std::vector<double> row(static_cast<size_t>(nChannels));
        ParseLineToRow(line.c_str(), nChannels, row.data());
        rows.push_back(row);
        i += n;
    }
    return rows;
}

TEST(CsvReader, ReadsOneRowPerRead) {
    const std::string s1021 = "7,8" + std::string(1018, ' ');
    const std::string s1022 = s1021 + " ";
    const struct {
        const char* pszName;
        int nChannels;
        std::string strContent;
        Rows rows;
    } cases[] = {
        {"empty file", 2, "", {}},
        {"three lines", 2, "1,2\n3,4\n5,6\n", {{1, 2}, {3, 4}, {5, 6}}},
        {"last line without line end", 2, "1,2\n3,4", {{1, 2}, {3, 4}}},
        {"CR LF line ends", 2, "1,2\r\n3,4\r\n", {{1, 2}, {3, 4}}},
        {"empty lines", 2, "\n\r\n", {{0, 0}, {0, 0}}},
        {"1021 characters", 2, s1021 + "\n", {{7, 8}}},
        {"1022 characters", 2, s1022 + "\n", {{7, 8}, {0, 0}}},
        {"1021 characters, CR LF", 2, s1021 + "\r\n", {{7, 8}}},
        {"1022 characters, CR LF", 2, s1022 + "\r\n1,1", {{7, 8}, {0, 0}, {1, 1}}},
        {"1022 characters at end of file", 2, s1022, {{7, 8}}},
        {"more fields than channels", 2, "1,2,3\n", {{1, 2}}},
        {"fewer fields than channels", 3, "1\n", {{1, 0, 0}}},
        {"lone CR ends the fields", 2, "1,2\r3\n4,5\n", {{1, 2}, {4, 5}}},
        {"CR at end of file", 2, "1,2\r", {{1, 2}}},
        {"NUL ends the line", 2, std::string("1\0,2\n3,4\n", 9), {{1, 0}, {3, 4}}},
        {"d exponent", 1, "1d3\n", {{1000}}},
    };
    QTemporaryDir dir;
    for (const auto& c : cases) {
        CLogStore store;
        ASSERT_TRUE(store.InitLogData(c.nChannels, 65536, 65536));
        double latest[8] = {9, 9, 9, 9, 9, 9, 9, 9};
        CCsvReader reader;
        EXPECT_EQ(reader.Read(WriteFile(dir, c.strContent), store, latest),
                  CCsvReader::EResult::Done)
            << c.pszName;
        EXPECT_EQ(StoredRows(store), c.rows) << c.pszName;
        EXPECT_EQ(reader.m_nLines, static_cast<qint64>(c.rows.size()));
        const std::vector<double> lastRow =
            c.rows.empty() ? std::vector<double>(static_cast<size_t>(c.nChannels), 0.0)
                           : c.rows.back();
        EXPECT_EQ(std::vector<double>(latest, latest + c.nChannels), lastRow) << c.pszName;
        EXPECT_EQ(latest[c.nChannels], 9) << c.pszName;
    }
}

TEST(CsvReader, LargeMixedFileMatchesTheReadingRule) {
    // Lines of every length around the read limit, spread over several buffer fills, so that
    // CR LF pairs and long lines meet the buffer boundaries.
    std::mt19937 rng(7);
    std::string strContent;
    while (strContent.size() < 3'500'000) {
        const int nShape = static_cast<int>(rng() % 8);
        const size_t nLen = nShape == 0   ? 1015 + rng() % 15
                            : nShape == 1 ? rng() % 3000
                                          : rng() % 40;
        std::string line = std::to_string(rng() % 1000) + "," + std::to_string(rng() % 77);
        while (line.size() < nLen)
            line += "0123456789,. \r"[rng() % 14];
        line.resize(nLen);
        strContent += line;
        strContent += (rng() % 2) ? "\r\n" : "\n";
    }
    QTemporaryDir dir;
    CLogStore store;
    ASSERT_TRUE(store.InitLogData(3, 65536, 65536));
    double latest[8];
    CCsvReader reader;
    ASSERT_EQ(reader.Read(WriteFile(dir, strContent), store, latest), CCsvReader::EResult::Done);
    const Rows expected = ExpectedRows(strContent, 3);
    const Rows got = StoredRows(store);
    ASSERT_EQ(got.size(), expected.size());
    for (size_t r = 0; r < got.size(); ++r)
        ASSERT_EQ(got[r], expected[r]) << "row " << r;
}

TEST(CsvReader, CancelKeepsRowsReadSoFar) {
    std::string strContent;
    for (int i = 0; i < 200000; ++i)
        strContent += std::to_string(i) + ",1\n";
    QTemporaryDir dir;
    const QString strPath = WriteFile(dir, strContent);
    const struct {
        int nAllowedCalls;
        CCsvReader::EResult result;
        int nRows;
    } cases[] = {
        {0, CCsvReader::EResult::Cancelled, 65536},
        {2, CCsvReader::EResult::Cancelled, 3 * 65536},
        {3, CCsvReader::EResult::Done, 200000},
    };
    for (const auto& c : cases) {
        CLogStore store;
        ASSERT_TRUE(store.InitLogData(2, 65536, 65536));
        double latest[8];
        std::vector<std::pair<qint64, qint64>> calls;
        CCsvReader reader;
        const auto result = reader.Read(strPath, store, latest, [&](qint64 nDone, qint64 nTotal) {
            calls.emplace_back(nDone, nTotal);
            return static_cast<int>(calls.size()) <= c.nAllowedCalls;
        });
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(store.m_LogData[1].m_nCount, c.nRows);
        EXPECT_EQ(latest[0], c.nRows - 1.0);
        for (size_t i = 0; i < calls.size(); ++i) {
            EXPECT_EQ(calls[i].second, static_cast<qint64>(strContent.size()));
            EXPECT_GT(calls[i].first, i == 0 ? 0 : calls[i - 1].first);
            EXPECT_LE(calls[i].first, calls[i].second);
        }
    }
}

TEST(CsvReader, FailuresKeepWhatWasRead) {
    QTemporaryDir dir;
    double latest[8] = {5, 5, 5};
    CCsvReader reader;
    {
        CLogStore store;
        store.InitLogData(2, 65536, 65536);
        EXPECT_EQ(reader.Read(dir.filePath("missing.csv"), store, latest),
                  CCsvReader::EResult::OpenFailed);
        EXPECT_EQ(reader.Read(dir.path(), store, latest), CCsvReader::EResult::OpenFailed);
        EXPECT_EQ(reader.Read(QString(), store, latest), CCsvReader::EResult::OpenFailed);
        EXPECT_EQ(latest[0], 5);
    }
    if (QFile::exists("/proc/self/mem")) {
        // Readable to open, failing on the first read.
        CLogStore store;
        store.InitLogData(2, 65536, 65536);
        EXPECT_EQ(reader.Read("/proc/self/mem", store, latest), CCsvReader::EResult::ReadError);
        EXPECT_EQ(store.m_LogData[0].m_nCount, 0);
        EXPECT_EQ(latest[0], 0);
    }
    {
        std::string strContent;
        for (int i = 0; i < 2000; ++i)
            strContent += std::to_string(i) + "," + std::to_string(-i) + "\n";
        CLogStore store;
        store.InitLogData(2, 1024, 1024);
        store.m_LogData[1].m_nMaxBytes = 1024 * sizeof(double);
        EXPECT_EQ(reader.Read(WriteFile(dir, strContent), store, latest),
                  CCsvReader::EResult::StoreFull);
        EXPECT_EQ(store.m_LogData[0].m_nCount, 1024);
        EXPECT_EQ(store.m_LogData[1].m_nCount, 1024);
        EXPECT_EQ(latest[0], 1023);
        EXPECT_EQ(latest[1], -1023);
    }
}

} // namespace
