#pragma once

struct SLatestRow;
class CLineSource;
class CPublisher;
class CLogStore;
class CLogFile;

/// Turns the lines waiting in a line source into log records and store rows, one notification
/// at a time; owned by the view, window thread only.
class CLineIntake {
public:
    static constexpr int kLineBufferSize = 1024; ///< a line is at most 1022 characters
    static constexpr int kLineLimit = 1023;      ///< what ReadLine is allowed to fill, NUL included
    static constexpr int kFieldSize = 128;       ///< a field is at most 127 characters

    /// Lines one call drains at most before it gives the window back.
    static constexpr int kMaxLinesPerCall = 8192;

    /// Drains every waiting line: each is written to pLogFile (if open), split into one value per
    /// active channel, copied to pLatest[0..n-1] unless bHold, and appended to the store. The log
    /// is flushed once per call and the source's notification cleared; lines that completed
    /// meanwhile are drained too, since the source would not notify about them again. A device
    /// that sends as fast as the window drains could keep that going for ever: after
    /// kMaxLinesPerCall lines the call stops without clearing the notification once more and
    /// sets m_bMoreWaiting, and the caller must notify itself again. Returns the number of lines
    /// drained. The caller repaints once afterwards. pPublisher (may be null) is given each line
    /// after the log, with the system time it was taken in ns, and the batch once at the end.
    int OnCommData(CLineSource& source, CLogStore& store, CLogFile* pLogFile, bool bHold,
                   SLatestRow* pLatest, CPublisher* pPublisher = nullptr);

    /// True once after the store first refused a row (memory or count exhausted) since Reset.
    bool TakeStoreFullToReport();
    /// Forgets an earlier refusal; called when a new logging run begins.
    void Reset();

    /// Set when the store refused a row; those lines are still logged but not stored.
    bool m_bStoreFull = false;
    /// Set by OnCommData when it stopped at its limit with lines still waiting.
    bool m_bMoreWaiting = false;

private:
    bool m_bStoreFullReported = false;
};
