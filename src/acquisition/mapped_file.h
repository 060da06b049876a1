#pragma once

#include <cstddef>

/// A read-only mapping of a whole file that survives the file being cut short by another process
/// while it is mapped; owned by the reader of one file, read from any of its threads.
///
/// Touching a page past the end of a truncated file raises SIGBUS. While a CMappedFile exists,
/// the program's SIGBUS handler puts a page of zeros in place of such a page, so the access reads
/// zeros instead of ending the program, and notes the lowest offset lost. A reader checks
/// LostOffset() after its pass and trusts only the bytes below it. Bus errors anywhere else keep
/// their previous handling.
class CMappedFile {
public:
    /// Maps nSize bytes of nFd; Data() is null when the mapping failed.
    CMappedFile(int nFd, size_t nSize);
    ~CMappedFile();
    CMappedFile(const CMappedFile&) = delete;
    CMappedFile& operator=(const CMappedFile&) = delete;

    const char* Data() const { return m_pData; }
    size_t Size() const { return m_nSize; }
    /// The offset from which the mapped bytes may be zeros instead of the file's (a page start),
    /// or Size() while every access found the file's bytes.
    size_t LostOffset() const;

private:
    const char* m_pData = nullptr;
    size_t m_nSize;
    int m_nSlot = -1; ///< where the signal handler finds this mapping
};
