#include "acquisition/log_file.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <string>
#include <vector>

namespace {

std::string ReadAll(const QString& strPath) {
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return file.readAll().toStdString();
}

TEST(LogFile, RecordsEndWithCrLf) {
    const std::string s1022(1022, 'q');
    const std::string s70000(70000, 'L');
    const struct {
        const char* pszName;
        std::vector<std::string> records;
        std::string strExpected;
    } cases[] = {
        {"no records", {}, ""},
        {"empty record", {""}, "\r\n"},
        {"plain lines", {"1,2", "3,4"}, "1,2\r\n3,4\r\n"},
        {"high bytes kept", {"\xb5V=1"}, "\xb5V=1\r\n"},
        {"record ends at NUL", {std::string("ab\0cd", 5)}, "ab\r\n"},
        {"longest received line", {s1022, "x"}, s1022 + "\r\nx\r\n"},
        {"longer than the buffer", {"a", s70000, "b"}, "a\r\n" + s70000 + "\r\nb\r\n"},
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const auto& c : cases) {
        const QString strPath = dir.filePath("log.csv");
        CLogFile log;
        ASSERT_TRUE(log.Open(strPath));
        for (const std::string& r : c.records)
            log.WriteRecord(r.c_str());
        log.Close();
        EXPECT_FALSE(log.IsOpen());
        EXPECT_EQ(ReadAll(strPath), c.strExpected) << c.pszName;
        EXPECT_FALSE(log.TakeFailureToReport()) << c.pszName;
    }
}

TEST(LogFile, ManyRecordsCrossTheBufferBoundary) {
    QTemporaryDir dir;
    const QString strPath = dir.filePath("many.csv");
    std::string strExpected;
    {
        CLogFile log;
        ASSERT_TRUE(log.Open(strPath));
        for (int i = 0; i < 20000; ++i) {
            const std::string r = std::to_string(i) + "," + std::to_string(i * 7);
            log.WriteRecord(r.c_str());
            strExpected += r + "\r\n";
            if (i % 1000 == 999)
                log.Flush();
        }
        // The destructor must flush and close.
    }
    EXPECT_EQ(ReadAll(strPath), strExpected);
}

TEST(LogFile, FlushPutsBatchOnDiskWhileOpen) {
    QTemporaryDir dir;
    const QString strPath = dir.filePath("open.csv");
    CLogFile log;
    ASSERT_TRUE(log.Open(strPath));
    log.WriteRecord("1,2");
    log.Flush();
    EXPECT_EQ(ReadAll(strPath), "1,2\r\n");
    EXPECT_TRUE(log.IsOpen());
}

TEST(LogFile, OpenTruncatesAndFailsOnBadPath) {
    QTemporaryDir dir;
    const QString strPath = dir.filePath("old.csv");
    {
        QFile old(strPath);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old contents\n");
    }
    CLogFile log;
    ASSERT_TRUE(log.Open(strPath));
    log.Close();
    EXPECT_EQ(ReadAll(strPath), "");
    for (const QString& strBad : {dir.filePath("missing/dir/x.csv"), dir.path(), QString()}) {
        EXPECT_FALSE(log.Open(strBad)) << strBad.toStdString();
        EXPECT_FALSE(log.IsOpen());
        log.WriteRecord("ignored"); // must not crash while closed
        log.Flush();
    }
}

TEST(LogFile, WriteFailureIsReportedOncePerFile) {
    if (!QFile::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    CLogFile log;
    ASSERT_TRUE(log.Open("/dev/full"));
    log.WriteRecord("1,2");
    EXPECT_FALSE(log.HasFailed()); // still buffered
    log.Flush();
    EXPECT_TRUE(log.HasFailed());
    EXPECT_TRUE(log.TakeFailureToReport());
    for (int i = 0; i < 50000; ++i)
        log.WriteRecord("more lines keep failing quietly");
    log.Flush();
    EXPECT_FALSE(log.TakeFailureToReport());
    log.Close();
    EXPECT_FALSE(log.TakeFailureToReport());

    // A new file starts with a clean slate.
    QTemporaryDir dir;
    ASSERT_TRUE(log.Open(dir.filePath("ok.csv")));
    EXPECT_FALSE(log.HasFailed());
    log.WriteRecord("x");
    log.Close();
    EXPECT_FALSE(log.TakeFailureToReport());
    ASSERT_TRUE(log.Open("/dev/full"));
    log.WriteRecord("x");
    log.Close(); // the failure shows up in the final flush
    EXPECT_TRUE(log.TakeFailureToReport());
}

} // namespace
