#pragma once

/// Source of completed lines that the intake drains (the serial reader); window-thread side only.
class CLineSource {
public:
    virtual ~CLineSource() = default;
    /// Number of complete lines waiting.
    virtual int GetLineCount() = 0;
    /// Copies the next waiting line without its CR into dst (at most size-1 bytes, NUL-terminated);
    /// returns the number of bytes copied, 0 with an empty string when no line waits.
    virtual int ReadLine(char* dst, int size) = 0;
    /// Clears the one-notification-outstanding flag after a drain.
    virtual void ClearNotified() = 0;
};
