#include "acquisition/latest_row.h"
#include "acquisition/csv_reader.h"

#include "acquisition/log_store.h"
#include "acquisition/mapped_file.h"
#include "acquisition/parse_csv.h"

#include "byte_limit.h"
#include "child_deadline.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
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

/// The reading rule applied to the whole content at once: CR LF and a lone CR become LF, then
/// reads of up to 1022 characters that end after an LF, each split field by field.
Rows ExpectedRows(const std::string& strContent, int nChannels) {
    std::string text;
    for (size_t i = 0; i < strContent.size(); ++i) {
        if (strContent[i] != '\r')
            text.push_back(strContent[i]);
        else if (!(i + 1 < strContent.size() && strContent[i + 1] == '\n'))
            text.push_back('\n');
    }
    Rows rows;
    size_t i = 0;
    while (i < text.size()) {
        size_t n = 0;
        while (i + n < text.size() && n < 1022 && (n == 0 || text[i + n - 1] != '\n'))
            ++n;
        const std::string line = text.substr(i, n);
        std::vector<double> row(static_cast<size_t>(nChannels));
        ParseLineToRowSplit(line.c_str(), nChannels, row.data());
        rows.push_back(row);
        i += n;
    }
    return rows;
}

/// The ways of reading a file that must all give the same rows: the sequential pass, and the
/// parallel one with chunks small enough that they split every test file many times.
struct SReaderSetup {
    const char* m_pszName;
    bool m_bSequential;
    int m_nThreads;
    size_t m_nChunkBytes;
};
const SReaderSetup kSetups[] = {
    {"sequential", true, 0, 0},
    {"parallel, default chunks", false, 0, size_t{2} << 20},
    {"parallel, 1 thread, 1000-byte chunks", false, 1, 1000},
    {"parallel, 3 threads, 1-byte chunks", false, 3, 1},
    {"parallel, 4 threads, 4099-byte chunks", false, 4, 4099},
};

CCsvReader MakeReader(const SReaderSetup& setup) {
    CCsvReader reader;
    reader.m_bSequential = setup.m_bSequential;
    reader.m_nThreads = setup.m_nThreads;
    reader.m_nChunkBytes = setup.m_nChunkBytes;
    return reader;
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
        {"lone CR ends a line", 2, "1,2\r3\n4,5\n", {{1, 2}, {3, 0}, {4, 5}}},
        {"CR CR LF", 1, "1\r\r\n2", {{1}, {0}, {2}}},
        {"1021 characters, CR", 2, s1021 + "\r5", {{7, 8}, {5, 0}}},
        {"1022 characters, CR", 2, s1022 + "\r5", {{7, 8}, {0, 0}, {5, 0}}},
        {"CR at end of file", 2, "1,2\r", {{1, 2}}},
        {"NUL ends the line", 2, std::string("1\0,2\n3,4\n", 9), {{1, 0}, {3, 4}}},
        {"d exponent", 1, "1d3\n", {{1000}}},
    };
    QTemporaryDir dir;
    for (const auto& c : cases)
        for (const SReaderSetup& setup : kSetups) {
            SCOPED_TRACE(setup.m_pszName);
            CLogStore store;
            ASSERT_TRUE(store.InitLogData(c.nChannels, 65536, 65536));
            SLatestRow latest{{9, 9, 9, 9, 9, 9, 9, 9}};
            CCsvReader reader = MakeReader(setup);
            EXPECT_EQ(reader.Read(WriteFile(dir, c.strContent), store, latest),
                      CCsvReader::EResult::Done)
                << c.pszName;
            EXPECT_EQ(StoredRows(store), c.rows) << c.pszName;
            EXPECT_EQ(reader.m_nLines, static_cast<qint64>(c.rows.size()));
            const std::vector<double> lastRow =
                c.rows.empty() ? std::vector<double>(static_cast<size_t>(c.nChannels), 0.0)
                               : c.rows.back();
            EXPECT_EQ(std::vector<double>(latest.begin(), latest.begin() + c.nChannels), lastRow)
                << c.pszName;
            EXPECT_EQ(latest[c.nChannels], 9) << c.pszName;
        }
}

/// A file of random lines: every length around the read limit and beyond it, empty lines, CR,
/// LF and CR LF ends mixed, fields that are no numbers or longer than the splitter takes, more
/// and fewer fields than channels, NUL bytes, and (sometimes) no line end at the end.
std::string RandomFile(unsigned nSeed, size_t nBytes) {
    std::mt19937 rng(nSeed);
    static const char* const s_apszEnds[] = {"\n", "\r\n", "\r", "\r\r\n", "\n\r"};
    static const char* const s_apszFields[] = {
        "12.5V",   "-3", "abc",  "2D2",   "e5",   "+", " .5",
        "1e400",   "-0", "\t7 ", "\"4\"", "0x1A", "",  "123456789012345678901234567890",
        "4.9e-324"};
    std::string strContent;
    while (strContent.size() < nBytes) {
        const int nShape = static_cast<int>(rng() % 10);
        std::string line;
        if (nShape == 0) {
            const size_t nLen = 1015 + rng() % 15; // around the read limit
            while (line.size() < nLen)
                line += "0123456789,. -"[rng() % 14];
            line.resize(nLen);
        } else if (nShape == 1) {
            const size_t nLen = rng() % 3000; // split into several reads
            while (line.size() < nLen)
                line += "0123456789,.e"[rng() % 13];
        } else if (nShape == 2) {
            line = std::string(120 + rng() % 20, '9') + ",5"; // a field cut at 127 characters
        } else if (nShape == 3) {
            line = std::string("1,") + '\0' + "2,3"; // NUL ends the fields, not the read
        } else if (nShape != 4) {                    // shape 4: empty line
            const int nFields = static_cast<int>(rng() % 11);
            for (int f = 0; f < nFields; ++f) {
                if (f > 0)
                    line += ',';
                line += (rng() % 3 == 0) ? s_apszFields[rng() % 15]
                                         : std::to_string(static_cast<int>(rng() % 20001) - 10000) +
                                               "." + std::to_string(rng() % 1000);
            }
        }
        strContent += line;
        strContent += s_apszEnds[rng() % 5];
    }
    if (nSeed % 2 == 1)
        strContent += "7,8,9"; // no line end at the end
    return strContent;
}

std::vector<std::vector<uint64_t>> Bits(const Rows& rows) {
    std::vector<std::vector<uint64_t>> bits;
    for (const auto& row : rows) {
        bits.emplace_back(row.size());
        std::memcpy(bits.back().data(), row.data(), row.size() * sizeof(double));
    }
    return bits;
}

TEST(CsvReader, RandomFilesGiveTheRowsOfTheReadingRuleEveryWay) {
    QTemporaryDir dir;
    const struct {
        unsigned nSeed;
        size_t nBytes;
        int nChannels;
    } files[] = {{7, 3'500'000, 3}, {8, 200'000, 8}, {9, 200'000, 1}, {10, 5'000, 2}};
    for (const auto& f : files) {
        const std::string strContent = RandomFile(f.nSeed, f.nBytes);
        const QString strPath = WriteFile(dir, strContent);
        const auto expected = Bits(ExpectedRows(strContent, f.nChannels));
        for (const SReaderSetup& setup : kSetups) {
            SCOPED_TRACE(testing::Message() << "seed " << f.nSeed << ", " << setup.m_pszName);
            CLogStore store;
            ASSERT_TRUE(store.InitLogData(f.nChannels, 65536, 65536));
            SLatestRow latest;
            CCsvReader reader = MakeReader(setup);
            ASSERT_EQ(reader.Read(strPath, store, latest), CCsvReader::EResult::Done);
            const auto got = Bits(StoredRows(store));
            ASSERT_EQ(got.size(), expected.size());
            for (size_t r = 0; r < got.size(); ++r)
                ASSERT_EQ(got[r], expected[r]) << "row " << r;
            EXPECT_EQ(
                std::vector<uint64_t>(expected.back()),
                Bits({std::vector<double>(latest.begin(), latest.begin() + f.nChannels)}).front());
        }
    }
}

TEST(CsvReader, LineEndStylesGiveTheRowsOfTheLfFile) {
    // Lines that do not depend on their end: every style must give the LF file's rows, the
    // splitting of lines at and beyond the read limit included.
    const std::vector<std::string> lines = {"1,2",
                                            "",
                                            "3.5,-4",
                                            std::string(1021, '7'),
                                            std::string(1022, '8'),
                                            std::string(2100, '1'),
                                            "  5 , 6",
                                            "",
                                            "",
                                            "x,9"};
    auto join = [&](const std::vector<const char*>& ends) {
        std::string s;
        for (size_t i = 0; i < lines.size(); ++i)
            s += lines[i] + ends[i % ends.size()];
        return s;
    };
    QTemporaryDir dir;
    const std::string strLf = join({"\n"});
    CLogStore storeLf;
    ASSERT_TRUE(storeLf.InitLogData(2, 65536, 65536));
    SLatestRow latest;
    ASSERT_EQ(MakeReader(kSetups[0]).Read(WriteFile(dir, strLf), storeLf, latest),
              CCsvReader::EResult::Done);
    const Rows lfRows = StoredRows(storeLf);
    ASSERT_EQ(lfRows.size(), 13u); // 1022: one more read; 2100: three reads
    const struct {
        const char* pszName;
        std::string strContent;
    } cases[] = {
        {"CR LF", join({"\r\n"})},
        {"CR", join({"\r"})},
        {"mixed", join({"\n", "\r\n", "\r"})},
        {"mixed, other phase", join({"\r\n", "\r"})},
        {"CR, no end at the end", join({"\r"}).substr(0, join({"\r"}).size() - 1)},
    };
    for (const auto& c : cases)
        for (const SReaderSetup& setup : kSetups) {
            CLogStore store;
            ASSERT_TRUE(store.InitLogData(2, 65536, 65536));
            ASSERT_EQ(MakeReader(setup).Read(WriteFile(dir, c.strContent), store, latest),
                      CCsvReader::EResult::Done);
            EXPECT_EQ(StoredRows(store), lfRows) << c.pszName << ", " << setup.m_pszName;
        }
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
    // The bytes up to and including row k's line end, where the progress call after row k
    // must report them.
    std::vector<qint64> doneAfter;
    for (qint64 i = 0, nSum = 0; i < 200000; ++i)
        doneAfter.push_back(nSum += static_cast<qint64>(std::to_string(i).size()) + 3);
    for (const auto& c : cases)
        for (const SReaderSetup& setup : kSetups) {
            SCOPED_TRACE(setup.m_pszName);
            CLogStore store;
            ASSERT_TRUE(store.InitLogData(2, 65536, 65536));
            SLatestRow latest;
            std::vector<std::pair<qint64, qint64>> calls;
            CCsvReader reader = MakeReader(setup);
            const auto result =
                reader.Read(strPath, store, latest, [&](qint64 nDone, qint64 nTotal) {
                    calls.emplace_back(nDone, nTotal);
                    return static_cast<int>(calls.size()) <= c.nAllowedCalls;
                });
            EXPECT_EQ(result, c.result);
            EXPECT_EQ(store.m_LogData[0].m_nCount, c.nRows);
            EXPECT_EQ(store.m_LogData[1].m_nCount, c.nRows);
            EXPECT_EQ(reader.m_nLines, c.nRows);
            EXPECT_EQ(latest[0], c.nRows - 1.0);
            EXPECT_EQ(store.m_LogData[0].m_pData[c.nRows - 1], c.nRows - 1.0);
            ASSERT_EQ(calls.size(), std::min<size_t>(static_cast<size_t>(c.nAllowedCalls) + 1, 3));
            for (size_t i = 0; i < calls.size(); ++i) {
                EXPECT_EQ(calls[i].second, static_cast<qint64>(strContent.size()));
                EXPECT_EQ(calls[i].first, doneAfter[(i + 1) * 65536 - 1]);
            }
        }
}

TEST(CsvReader, RefusesPipesAndDevicesLikeAnUnreadableFile) {
    QTemporaryDir dir;
    const auto files = MakeSpecialFiles(dir.path().toStdString());
    ASSERT_FALSE(files.empty());
    for (const SSpecialFile& file : files)
        for (const SReaderSetup& setup : {kSetups[0], kSetups[1]}) {
            // Run where a blocking open or an endless read cannot hang the test: the child
            // cancels a read that is still going after two seconds.
            const int nStatus = RunInChildWithDeadline(
                [&]() {
                    CLogStore store;
                    store.InitLogData(2, 65536, 65536);
                    SLatestRow latest{{5, 5}};
                    const auto start = std::chrono::steady_clock::now();
                    const auto result = MakeReader(setup).Read(
                        QString::fromStdString(file.m_strPath), store, latest, [&](qint64, qint64) {
                            return std::chrono::steady_clock::now() - start <
                                   std::chrono::seconds(2);
                        });
                    if (result != CCsvReader::EResult::OpenFailed)
                        return 1;
                    return store.m_LogData[0].m_nCount == 0 && latest[0] == 5 ? 0 : 2;
                },
                10);
            EXPECT_EQ(nStatus, 0) << file.m_pszName << ", " << setup.m_pszName
                                  << " (-1: blocked, 1: read)";
        }
    // A link to a regular file is read like the file.
    const QString strTarget = WriteFile(dir, "1,2\n3,4\n");
    const QString strLink = dir.filePath("link.csv");
    ASSERT_TRUE(QFile::link(strTarget, strLink));
    CLogStore store;
    ASSERT_TRUE(store.InitLogData(2, 65536, 65536));
    SLatestRow latest;
    EXPECT_EQ(CCsvReader().Read(strLink, store, latest), CCsvReader::EResult::Done);
    EXPECT_EQ(StoredRows(store), (Rows{{1, 2}, {3, 4}}));
}

TEST(CsvReader, FailuresKeepWhatWasRead) {
    QTemporaryDir dir;
    SLatestRow latest{{5, 5, 5}};
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
        CByteLimit limit;
        CLogStore store(limit);
        store.InitLogData(2, 1024, 1024);
        limit.Set(store.m_LogData[1], 1024 * sizeof(double));
        EXPECT_EQ(reader.Read(WriteFile(dir, strContent), store, latest),
                  CCsvReader::EResult::StoreFull);
        EXPECT_EQ(store.m_LogData[0].m_nCount, 1024);
        EXPECT_EQ(store.m_LogData[1].m_nCount, 1024);
        EXPECT_EQ(latest[0], 1023);
        EXPECT_EQ(latest[1], -1023);
    }
}

TEST(CsvReader, FileCutShortWhileMappedReadsZerosInsteadOfCrashing) {
    QTemporaryDir dir;
    const long nPage = ::sysconf(_SC_PAGESIZE);
    const std::string strContent(static_cast<size_t>(3 * nPage), 'x');
    const QByteArray path = QFile::encodeName(WriteFile(dir, strContent));
    const int nFd = ::open(path.constData(), O_RDWR);
    ASSERT_GE(nFd, 0);
    {
        const CMappedFile map(nFd, strContent.size());
        ASSERT_NE(map.Data(), nullptr);
        EXPECT_EQ(map.Data()[nPage + 10], 'x');
        EXPECT_EQ(map.LostOffset(), strContent.size());
        ASSERT_EQ(::ftruncate(nFd, nPage + 100), 0);
        // Past the new end: a bus error, which the mapping turns into zeros.
        EXPECT_EQ(map.Data()[2 * nPage + 5], '\0');
        EXPECT_EQ(map.LostOffset(), static_cast<size_t>(2 * nPage));
        EXPECT_EQ(map.Data()[10], 'x');
    }
    ::close(nFd);

    // The reader, with the file cut to a few rows while the worker parses: ReadError, and the
    // rows kept are the file's own. Whether the cut lands before the last chunk is parsed is up
    // to the scheduler, so a few attempts are allowed to see it.
    std::string strRows;
    for (int i = 0; i < 400000; ++i)
        strRows += std::to_string(i) + "," + std::to_string(-i) + "\n";
    bool bSawCut = false;
    for (int nAttempt = 0; nAttempt < 5 && !bSawCut; ++nAttempt) {
        const QString strPath = WriteFile(dir, strRows);
        CLogStore store;
        ASSERT_TRUE(store.InitLogData(2, 65536, 65536));
        SLatestRow latest;
        CCsvReader reader;
        reader.m_nThreads = 1;
        reader.m_nChunkBytes = 16384;
        const auto result = reader.Read(strPath, store, latest, [&](qint64, qint64) {
            QFile::resize(strPath, 100);
            return true;
        });
        ASSERT_TRUE(result == CCsvReader::EResult::ReadError ||
                    result == CCsvReader::EResult::Done);
        const int32_t nRows = store.m_LogData[0].m_nCount;
        if (result == CCsvReader::EResult::ReadError) {
            bSawCut = true;
            // The chunks parsed before the cut; the one sharing a page with the first lost
            // chunk may go too.
            EXPECT_GT(nRows, 60000);
            EXPECT_LT(nRows, 400000);
        } else {
            EXPECT_EQ(nRows, 400000);
        }
        for (int32_t r = 0; r < nRows; ++r) {
            ASSERT_EQ(store.m_LogData[0].m_pData[r], r);
            ASSERT_EQ(store.m_LogData[1].m_pData[r], -r);
        }
    }
    EXPECT_TRUE(bSawCut);
}

} // namespace

namespace {

/// The thread ids of this process.
QStringList ThreadsOfThisProcess() {
    QStringList ids =
        QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ids.sort();
    return ids;
}

} // namespace

TEST(CsvReader, OneReaderReadsManyFilesWithTheSameWorkers) {
    QTemporaryDir dir;
    CCsvReader reader;
    reader.m_nThreads = 3;
    reader.m_nChunkBytes = 5;
    const qsizetype nThreadsBefore = ThreadsOfThisProcess().size();
    QStringList threadsAfterFirst;
    for (int i = 0; i < 60; ++i) {
        SCOPED_TRACE(i);
        // Files of 7 down to 1 rows in 5-byte chunks, now and then a sequential read.
        std::string strContent;
        Rows expected;
        for (int r = 0; r < 7 - i % 7; ++r) {
            strContent += std::to_string(i) + "," + std::to_string(r) + "\r\n";
            expected.push_back({double(i), double(r)});
        }
        reader.m_bSequential = i % 10 == 9;
        CLogStore store;
        ASSERT_TRUE(store.InitLogData(2, 1024, 1024));
        SLatestRow latest;
        ASSERT_EQ(reader.Read(WriteFile(dir, strContent), store, latest),
                  CCsvReader::EResult::Done);
        EXPECT_EQ(StoredRows(store), expected);
        EXPECT_EQ(reader.m_nLines, static_cast<qint64>(expected.size()));
        if (i == 0)
            threadsAfterFirst = ThreadsOfThisProcess();
    }
    // The three workers of the first read are the ones still there after the last.
    EXPECT_EQ(threadsAfterFirst.size(), nThreadsBefore + 3);
    EXPECT_EQ(ThreadsOfThisProcess(), threadsAfterFirst) << "workers are started per read";
    CCsvReader moved = std::move(reader); // the workers go along and still serve
    CLogStore store;
    ASSERT_TRUE(store.InitLogData(2, 1024, 1024));
    SLatestRow latest;
    ASSERT_EQ(moved.Read(WriteFile(dir, "1,2\n3,4\n5,6\n"), store, latest),
              CCsvReader::EResult::Done);
    EXPECT_EQ(StoredRows(store), (Rows{{1, 2}, {3, 4}, {5, 6}}));
}
