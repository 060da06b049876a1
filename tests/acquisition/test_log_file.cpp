#include "acquisition/log_file.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
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

namespace {

/// Record i of the fault tests: fixed width, so that a byte limit cuts one in the middle.
std::string Record(int i) {
    char sz[32];
    std::snprintf(sz, sizeof sz, "%05d,0.%04d", i, (i * 7919) % 10000);
    return sz; // 12 bytes, 14 with CR LF
}

/// Checks that the file holds whole records in ascending order with at most nGaps holes, and
/// that the log's counts agree with it. Returns the number of records in the file.
int64_t ExpectWholeRecords(const QString& strPath, const CLogFile& log, int nSent, int nGaps) {
    const std::string strAll = ReadAll(strPath);
    EXPECT_EQ(static_cast<int64_t>(strAll.size()), log.BytesWritten());
    int64_t nRecords = 0;
    int nPrev = -1;
    int nHoles = 0;
    size_t nPos = 0;
    while (nPos < strAll.size()) {
        const size_t nEnd = strAll.find("\r\n", nPos);
        if (nEnd == std::string::npos) {
            ADD_FAILURE() << "file ends in a cut record: " << strAll.substr(nPos);
            break;
        }
        const std::string strLine = strAll.substr(nPos, nEnd - nPos);
        const int i = std::atoi(strLine.c_str());
        EXPECT_EQ(strLine, Record(i)) << "record " << nRecords << " is not whole";
        EXPECT_GT(i, nPrev);
        if (i != nPrev + 1)
            ++nHoles;
        nPrev = i;
        ++nRecords;
        nPos = nEnd + 2;
    }
    if (nPrev != nSent - 1)
        ++nHoles; // the tail is missing
    EXPECT_LE(nHoles, nGaps);
    EXPECT_EQ(nRecords, log.RecordsWritten());
    EXPECT_EQ(nRecords + log.LinesLost(), nSent);
    return nRecords;
}

/// Sets the soft file-size limit for the process and puts it back on destruction; SIGXFSZ is
/// ignored meanwhile, so an over-long write comes back short and then fails with EFBIG.
class CFileSizeLimit {
public:
    explicit CFileSizeLimit(rlim_t nBytes) {
        ::getrlimit(RLIMIT_FSIZE, &m_Old);
        m_pOldHandler = std::signal(SIGXFSZ, SIG_IGN);
        Set(nBytes);
    }
    ~CFileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_Old);
        std::signal(SIGXFSZ, m_pOldHandler);
    }
    bool Set(rlim_t nBytes) {
        rlimit lim = m_Old;
        lim.rlim_cur = std::min(nBytes, m_Old.rlim_max);
        return ::setrlimit(RLIMIT_FSIZE, &lim) == 0;
    }
    void Lift() { ::setrlimit(RLIMIT_FSIZE, &m_Old); }

private:
    rlimit m_Old{};
    void (*m_pOldHandler)(int) = SIG_DFL;
};

TEST(LogFileFault, WritesFailingAfterALimitThenResumeAtARecordBoundary) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString strPath = dir.filePath("limited.csv");
    CLogFile log;
    ASSERT_TRUE(log.Open(strPath, ELogOpenMode::CreateNew));
    int nSent = 0;
    auto send = [&](int n) {
        for (int k = 0; k < n; ++k)
            log.WriteRecord(Record(nSent++).c_str());
    };
    {
        // 1000 bytes is 71 records and 6 bytes of the 72nd.
        CFileSizeLimit limit(1000);
        send(50);
        log.Flush();
        EXPECT_FALSE(log.HasFailed());
        send(50);
        log.Flush(); // cut in the middle of record 71
        EXPECT_TRUE(log.TakeFailureToReport()) << "the first failing write is told at once";
        EXPECT_FALSE(log.TakeFailureToReport());
        EXPECT_TRUE(log.IsFailing());
        EXPECT_EQ(log.BytesWritten(), 71 * 14);
        EXPECT_EQ(log.LinesLost(), 29);
        ASSERT_TRUE(log.OpenGap().has_value());
        EXPECT_EQ(log.OpenGap()->m_nAfterRecord, 71);
        EXPECT_EQ(log.OpenGap()->m_nErrno, EFBIG);
        ExpectWholeRecords(strPath, log, nSent, 1);

        send(30);
        log.Flush(); // still no room: the whole batch goes into the same gap
        EXPECT_EQ(log.LinesLost(), 59);
        EXPECT_TRUE(log.TakeResumedGaps().empty());
        limit.Lift(); // room again
        send(40);
        log.Flush();
    }
    EXPECT_FALSE(log.IsFailing());
    const std::vector<SLogGap> gaps = log.TakeResumedGaps();
    ASSERT_EQ(gaps.size(), 1u);
    EXPECT_EQ(gaps[0].m_nAfterRecord, 71);
    EXPECT_EQ(gaps[0].m_nLinesLost, 59);
    EXPECT_TRUE(gaps[0].m_bResumed);
    EXPECT_TRUE(log.TakeResumedGaps().empty());
    log.Close();
    EXPECT_EQ(ExpectWholeRecords(strPath, log, nSent, 1), 71 + 40);
    EXPECT_FALSE(log.TakeFailureToReport());
}

TEST(LogFileFault, FullTmpfsThatGetsRoomBackLeavesNoCutRecord) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray mnt = QFile::encodeName(dir.path());
    if (::mount("tmpfs", mnt.constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here (" << std::strerror(errno)
                     << "); the file-size limit test covers the same path";
    struct SUnmount {
        QByteArray m_path;
        ~SUnmount() { ::umount2(m_path.constData(), MNT_DETACH); }
    } unmount{mnt};

    // Fill the file system to the brim, leaving room for a few pages of log.
    const QString strFiller = dir.filePath("filler");
    {
        QFile filler(strFiller);
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
        const QByteArray block(1000, 'f');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
    }
    QFile::resize(strFiller, QFileInfo(strFiller).size() - 8192);

    const QString strPath = dir.filePath("log.csv");
    CLogFile log;
    ASSERT_TRUE(log.Open(strPath, ELogOpenMode::CreateNew));
    int nSent = 0;
    for (int nBatch = 0; nBatch < 20 && !log.IsFailing(); ++nBatch) {
        for (int k = 0; k < 301; ++k) // 4214 bytes: no page boundary falls between records
            log.WriteRecord(Record(nSent++).c_str());
        log.Flush();
    }
    ASSERT_TRUE(log.IsFailing()) << "the file system never filled";
    EXPECT_TRUE(log.TakeFailureToReport());
    EXPECT_EQ(log.OpenGap()->m_nErrno, ENOSPC);
    EXPECT_GT(log.LinesLost(), 0);
    ExpectWholeRecords(strPath, log, nSent, 1);

    ASSERT_TRUE(QFile::remove(strFiller));
    for (int k = 0; k < 100; ++k)
        log.WriteRecord(Record(nSent++).c_str());
    log.Close();
    EXPECT_EQ(log.TakeResumedGaps().size(), 1u);
    ExpectWholeRecords(strPath, log, nSent, 1);
}

struct SOpenCase {
    const char* pszName;
    std::function<QString(const QDir&)> fnMake; // makes what is at the path, returns the path
    ELogOpenError eCreateNew;                   // outcome of CreateNew
    ELogOpenError eReplace;                     // outcome of Replace
};

TEST(LogFileOpen, ModesRefuseWhatTheyMustWithoutFollowingLinks) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QDir d(dir.path());
    const QString strVictim = d.filePath("victim");
    auto makeVictim = [&] {
        QFile f(strVictim);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write("precious\n");
    };
    auto fifo = [](const QDir& dd) {
        const QString s = dd.filePath("fifo");
        ::mkfifo(QFile::encodeName(s).constData(), 0600);
        return s;
    };
    const SOpenCase cases[] = {
        {"nothing there", [](const QDir& dd) { return dd.filePath("new.csv"); },
         ELogOpenError::None, ELogOpenError::None},
        {"regular file",
         [](const QDir& dd) {
             QFile f(dd.filePath("old.csv"));
             f.open(QIODevice::WriteOnly);
             f.write("old\n");
             return f.fileName();
         },
         ELogOpenError::Exists, ELogOpenError::None},
        {"link to another file",
         [&](const QDir& dd) {
             QFile::link(strVictim, dd.filePath("link.csv"));
             return dd.filePath("link.csv");
         },
         ELogOpenError::Exists, ELogOpenError::IsLink},
        {"dangling link",
         [&](const QDir& dd) {
             QFile::link(dd.filePath("nowhere"), dd.filePath("dangling.csv"));
             return dd.filePath("dangling.csv");
         },
         ELogOpenError::Exists, ELogOpenError::IsLink},
        {"FIFO", fifo, ELogOpenError::Exists, ELogOpenError::NotRegularFile},
        {"directory",
         [](const QDir& dd) {
             dd.mkdir("sub");
             return dd.filePath("sub");
         },
         ELogOpenError::IsDirectory, ELogOpenError::IsDirectory},
        {"/dev/null", [](const QDir&) { return QStringLiteral("/dev/null"); },
         ELogOpenError::Exists, ELogOpenError::None},
        {"missing directory", [](const QDir& dd) { return dd.filePath("no/such/x.csv"); },
         ELogOpenError::Other, ELogOpenError::Other},
    };
    for (const ELogOpenMode eMode : {ELogOpenMode::CreateNew, ELogOpenMode::Replace}) {
        for (const SOpenCase& c : cases) {
            SCOPED_TRACE(std::string(c.pszName) +
                         (eMode == ELogOpenMode::CreateNew ? " / CreateNew" : " / Replace"));
            QTemporaryDir sub;
            const QDir dd(sub.path());
            makeVictim();
            const QString strPath = c.fnMake(dd);
            const ELogOpenError eWant =
                eMode == ELogOpenMode::CreateNew ? c.eCreateNew : c.eReplace;
            CLogFile log;
            EXPECT_EQ(log.Open(strPath, eMode), eWant == ELogOpenError::None);
            EXPECT_EQ(log.LastOpenFailure().m_eKind, eWant);
            if (eWant == ELogOpenError::None) {
                log.WriteRecord("1,2");
                log.Close();
                EXPECT_FALSE(log.HasFailed());
                if (strPath != QStringLiteral("/dev/null")) {
                    EXPECT_EQ(ReadAll(strPath), "1,2\r\n");
                }
            }
            EXPECT_EQ(ReadAll(strVictim), "precious\n") << "a link was followed";
        }
    }
}

TEST(LogFileOpen, ReplaceDoesNotBlockOnAFifoWithAReader) {
    QTemporaryDir dir;
    const QByteArray fifo = QFile::encodeName(dir.filePath("fifo"));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    const int fdRead = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(fdRead, 0);
    CLogFile log;
    EXPECT_FALSE(log.Open(dir.filePath("fifo"), ELogOpenMode::Replace));
    EXPECT_EQ(log.LastOpenFailure().m_eKind, ELogOpenError::NotRegularFile);
    ::close(fdRead);
}

TEST(LogFileOpen, ReplaceOpensOnlyTheFileThatWasChecked) {
    QTemporaryDir dir;
    const QString strPath = dir.filePath("log.csv");
    {
        QFile f(strPath);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("checked\n");
    }
    const std::optional<SFileId> idChecked = CLogFile::IdentityOf(strPath);
    ASSERT_TRUE(idChecked.has_value());
    EXPECT_FALSE(CLogFile::IdentityOf(dir.filePath("missing")).has_value());

    // Someone swaps another file in under the name after the check.
    const QString strOther = dir.filePath("other");
    {
        QFile f(strOther);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("other\n");
    }
    ASSERT_EQ(
        ::rename(QFile::encodeName(strOther).constData(), QFile::encodeName(strPath).constData()),
        0);
    CLogFile log;
    EXPECT_FALSE(log.Open(strPath, ELogOpenMode::Replace, &*idChecked));
    EXPECT_EQ(log.LastOpenFailure().m_eKind, ELogOpenError::NotTheCheckedFile);
    EXPECT_EQ(ReadAll(strPath), "other\n") << "refused without truncating";

    const std::optional<SFileId> idNow = CLogFile::IdentityOf(strPath);
    ASSERT_TRUE(log.Open(strPath, ELogOpenMode::Replace, &*idNow));
    EXPECT_TRUE(log.IsStillAtPath());
    log.WriteRecord("x");
    log.Flush();
    EXPECT_EQ(ReadAll(strPath), "x\r\n");
    ASSERT_TRUE(QFile::rename(strPath, dir.filePath("moved.csv")));
    EXPECT_FALSE(log.IsStillAtPath()) << "a log renamed away is noticed";
    log.Close();
}

TEST(LogFileOpen, PermissionIsTold) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root passes every permission check";
    QTemporaryDir dir;
    const QString strSub = dir.filePath("ro");
    ASSERT_TRUE(QDir(dir.path()).mkdir("ro"));
    ::chmod(QFile::encodeName(strSub).constData(), 0500);
    CLogFile log;
    EXPECT_FALSE(log.Open(strSub + "/x.csv", ELogOpenMode::CreateNew));
    EXPECT_EQ(log.LastOpenFailure().m_eKind, ELogOpenError::Permission);
    EXPECT_EQ(log.LastOpenFailure().m_nErrno, EACCES);
    ::chmod(QFile::encodeName(strSub).constData(), 0700);
}

} // namespace
