#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CLogStore;
class QFileSystemWatcher;

/// Turns bytes appended to a CSV file into rows by the viewer's reading rule: CR, LF and a CR LF
/// pair each end a line, and each read takes at most CCsvReader::kMaxRead characters, line end
/// included. Bytes may arrive in any pieces; a read is made only once it is complete, so a line
/// without its line end waits. A plain object of its follower; any one thread.
class CFollowParser {
public:
    /// Starts afresh at a read boundary; bAfterCr tells that the byte before it was a CR that
    /// ended a line, so that an LF right after it is part of that line end.
    void Reset(bool bAfterCr) {
        m_strPending.clear();
        m_bSkipLf = bAfterCr;
    }
    /// Appends the rows of every read that pData[0..n) completes; false when the store refused
    /// a row (those after it are not parsed).
    bool Feed(const char* pData, size_t n, CLogStore& store);
    /// Bytes kept for a read that is not complete yet.
    size_t Pending() const { return m_strPending.size(); }

private:
    std::string m_strPending;
    bool m_bSkipLf = false; ///< the last read ended with a CR: an LF right after it belongs to it
};

/// Follows a CSV file that another program appends to, adding its new complete lines to the
/// store as the viewer would have read them. Owned by the view; window thread only.
///
/// It wakes only when the file changes (the file system watcher, at most once per
/// kCoalesceMs), plus a slow timed look for file systems whose changes the watcher does not see.
/// A file that shrinks or is replaced by another (a new inode at the same path, as log rotation
/// does) is read again from its start; a file that disappears ends the following.
class CFileFollower : public QObject {
public:
    enum class EEvent {
        Rows,      ///< rows were added to the store
        Restarted, ///< the file was cut short or replaced: the store was emptied and read again
        Vanished,  ///< the file is gone: following has stopped
        StoreFull, ///< the store refused a row: following has stopped
    };
    using FnEvent = std::function<void(EEvent)>;

    static constexpr int kCoalesceMs = 20;
    static constexpr int kSlowCheckMs = 1000;

    CFileFollower();
    ~CFileFollower() override;

    /// Starts following strPath, whose first nBytesRead bytes are in store already (read by
    /// CCsvReader); an unfinished last read among them is taken back and waits for its end.
    /// bWatch false leaves out the watcher and relies on the slow check alone (as on a network
    /// file system). False when the file cannot be opened.
    bool Start(const QString& strPath, CLogStore& store, int64_t nBytesRead, bool bWatch = true);
    void Stop();
    bool IsRunning() const { return m_nFd >= 0; }
    /// Looks at the file now and reads what was added.
    void Check();

    /// Told, after the store changed or following stopped, what happened.
    FnEvent m_fnEvent;

private:
    bool OpenPath();
    void ClosePath();
    void ScheduleCheck();
    /// Takes back the unfinished last read of the first nBytes and sets where reading goes on.
    void SetResumePoint(int64_t nBytes);
    /// Reads from m_nOffset to the end of the file into the store; false when the store refused.
    bool ReadNew();
    void Finish(EEvent eEvent);

    QString m_strPath;
    CLogStore* m_pStore = nullptr;
    CFollowParser m_Parser;
    std::vector<char> m_Buffer; ///< one read of the file, kept between checks
    std::unique_ptr<QFileSystemWatcher> m_pWatcher;
    QTimer m_CoalesceTimer;
    QTimer m_SlowTimer;
    int m_nFd = -1;
    dev_t m_nDev = 0;
    ino_t m_nIno = 0;
    int64_t m_nOffset = 0; ///< bytes of the file read into the parser
};
