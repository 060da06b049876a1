// Following a growing CSV file: rows equal what the viewer reads from the finished file however
// the writer splits its bytes; truncation, rotation and deletion while following.
#include "acquisition/latest_row.h"
#include "acquisition/file_follower.h"

#include "acquisition/csv_reader.h"
#include "acquisition/log_store.h"
#include "wait_until.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

/// Appends to a file through its own descriptor, as another program would.
class CAppender {
public:
    explicit CAppender(const QString& strPath, bool bTruncate = true)
        : m_nFd(::open(QFile::encodeName(strPath).constData(),
                       O_WRONLY | O_CREAT | O_APPEND | (bTruncate ? O_TRUNC : 0), 0644)) {}
    ~CAppender() {
        if (m_nFd >= 0)
            ::close(m_nFd);
    }
    bool Append(const std::string& str) const {
        return ::write(m_nFd, str.data(), str.size()) == static_cast<ssize_t>(str.size());
    }

private:
    int m_nFd;
};

std::vector<std::vector<double>> Rows(const CLogStore& store) {
    std::vector<std::vector<double>> rows(static_cast<size_t>(store.m_LogData[0].m_nCount));
    for (size_t r = 0; r < rows.size(); ++r)
        for (int ch = 0; ch < store.m_nChannels; ++ch)
            rows[r].push_back(store.m_LogData[ch].m_pData[r]);
    return rows;
}

/// The rows the viewer reads from the file as it stands.
std::vector<std::vector<double>> ViewerRows(const QString& strPath, int nChannels) {
    CLogStore store;
    store.InitLogData(nChannels, 1024, 1024);
    SLatestRow latest;
    CCsvReader reader;
    EXPECT_EQ(reader.Read(strPath, store, latest), CCsvReader::EResult::Done);
    return Rows(store);
}

class FileFollowerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_Dir.isValid());
        m_strPath = m_Dir.filePath(QStringLiteral("grow.csv"));
        m_Store.InitLogData(3, 1024, 1024);
        m_Follower.m_fnEvent = [this](CFileFollower::EEvent e) { m_Events.push_back(e); };
    }
    /// Reads the file as the viewer does and starts following it from there.
    void OpenAndFollow(bool bWatch = true) {
        m_Store.InitLogData(3, 1024, 1024);
        SLatestRow latest;
        CCsvReader reader;
        ASSERT_EQ(reader.Read(m_strPath, m_Store, latest), CCsvReader::EResult::Done);
        ASSERT_TRUE(m_Follower.Start(m_strPath, m_Store, QFile(m_strPath).size(), bWatch));
    }

    QTemporaryDir m_Dir;
    QString m_strPath;
    CLogStore m_Store;
    CFileFollower m_Follower;
    std::vector<CFileFollower::EEvent> m_Events;
};

// Every split of the text into a piece read before following and pieces appended afterwards,
// across CR LF pairs, lone CRs and LFs, empty lines and a line longer than one read.
TEST_F(FileFollowerTest, AnySplitGivesTheRowsOfTheFinishedFile) {
    const std::string strText = "1,2,3\r\n4.5,-6\r7,8,9\n\r\n\n10\r\r\n" + std::string(1500, '5') +
                                ",1\r\n" + std::string(1022, '7') + "\r\n11,12,13\r\n";
    // Pieces of one byte split the text at every position; longer ones at other phases.
    const size_t nPieces[] = {1, 2, 3, 7, 1021, 1024};
    for (size_t nFirst = 0; nFirst <= strText.size(); nFirst += (nFirst < 40 ? 1 : 97)) {
        for (const size_t nPiece : nPieces) {
            if (nPiece == 1 && nFirst % 13 != 0)
                continue;
            SCOPED_TRACE(testing::Message() << "first " << nFirst << ", pieces of " << nPiece);
            CAppender writer(m_strPath);
            ASSERT_TRUE(writer.Append(strText.substr(0, nFirst)));
            OpenAndFollow(false);
            for (size_t i = nFirst; i < strText.size(); i += nPiece) {
                ASSERT_TRUE(writer.Append(strText.substr(i, nPiece)));
                m_Follower.Check();
            }
            m_Follower.Check();
            ASSERT_EQ(Rows(m_Store), ViewerRows(m_strPath, 3));
            m_Follower.Stop();
        }
    }
}

TEST_F(FileFollowerTest, AWriterAtAThousandLinesASecondIsFollowedByTheWatcher) {
    CAppender writer(m_strPath);
    ASSERT_TRUE(writer.Append("0,0,0\r\n"));
    OpenAndFollow(true);
    std::atomic<bool> bDone{false};
    constexpr int kLines = 3000;
    std::thread thread([&] {
        auto next = std::chrono::steady_clock::now();
        for (int i = 1; i <= kLines; ++i) {
            const std::string strLine =
                std::to_string(i) + "," + std::to_string(i % 7) + ",1.5\r\n";
            // Two writes per line: the reader sees lines cut between them.
            writer.Append(strLine.substr(0, strLine.size() / 2));
            writer.Append(strLine.substr(strLine.size() / 2));
            next += std::chrono::milliseconds(1);
            std::this_thread::sleep_until(next);
        }
        bDone = true;
    });
    const bool bAll =
        WaitUntil([&] { return bDone && m_Store.m_LogData[0].m_nCount == kLines + 1; }, 20000);
    thread.join();
    ASSERT_TRUE(bAll) << m_Store.m_LogData[0].m_nCount;
    EXPECT_EQ(Rows(m_Store), ViewerRows(m_strPath, 3));
}

TEST_F(FileFollowerTest, TruncationRotationAndDeletion) {
    {
        CAppender writer(m_strPath);
        ASSERT_TRUE(writer.Append("1,1,1\r\n2,2,2\r\n3,3,3\r\n"));
    }
    OpenAndFollow(true);
    ASSERT_EQ(m_Store.m_LogData[0].m_nCount, 3);

    // Cut short and written again: read from the start.
    {
        CAppender writer(m_strPath, true);
        ASSERT_TRUE(writer.Append("9,9,9\r\n"));
    }
    m_Follower.Check();
    EXPECT_EQ(m_Events.back(), CFileFollower::EEvent::Restarted);
    EXPECT_EQ(Rows(m_Store), ViewerRows(m_strPath, 3));

    // Rotated: the old file renamed away, a new one at the path.
    ASSERT_TRUE(QFile::rename(m_strPath, m_Dir.filePath(QStringLiteral("grow.csv.1"))));
    {
        CAppender writer(m_strPath, true);
        ASSERT_TRUE(writer.Append("5,6,7\r\n8,9,10\r\n"));
    }
    m_Events.clear();
    ASSERT_TRUE(WaitUntil([&] { return !m_Events.empty(); }, 3000));
    EXPECT_EQ(m_Events.front(), CFileFollower::EEvent::Restarted);
    EXPECT_EQ(Rows(m_Store), ViewerRows(m_strPath, 3));
    // The new file is followed from here.
    {
        CAppender writer(m_strPath, false);
        ASSERT_TRUE(writer.Append("11,12,13\r\n"));
    }
    ASSERT_TRUE(WaitUntil([&] { return m_Store.m_LogData[0].m_nCount == 3; }, 3000));

    // Deleted: following ends and says so.
    ASSERT_TRUE(QFile::remove(m_strPath));
    m_Events.clear();
    ASSERT_TRUE(WaitUntil([&] { return !m_Events.empty(); }, 3000));
    EXPECT_EQ(m_Events.back(), CFileFollower::EEvent::Vanished);
    EXPECT_FALSE(m_Follower.IsRunning());
    EXPECT_EQ(m_Store.m_LogData[0].m_nCount, 3) << "the rows read stay";
}

// As on a network file system, where the watcher hears nothing: the slow check finds the rows.
TEST_F(FileFollowerTest, WithoutTheWatcherTheSlowCheckFindsNewRows) {
    CAppender writer(m_strPath);
    ASSERT_TRUE(writer.Append("1,2,3\r\n"));
    OpenAndFollow(false);
    Settle(100); // the first look, right after the start, is over
    ASSERT_TRUE(writer.Append("4,5,6\r\n"));
    EXPECT_TRUE(WaitUntil([&] { return m_Store.m_LogData[0].m_nCount == 2; },
                          3 * CFileFollower::kSlowCheckMs));
}

} // namespace
