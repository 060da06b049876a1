#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>

class CLogStore;

/// Reads a CSV file for viewing into the sample store, one row per line; used by the view on the
/// window thread, lives for one read.
///
/// The file is read as text: a CR LF pair counts as one LF, and each read takes the characters
/// up to and including the next LF but at most 1022 of them; every read is one row. The caller
/// empties the store first.
class CCsvReader {
public:
    enum class EResult {
        OpenFailed, ///< nothing was read; the store and pLatestRow8 are untouched
        Done,       ///< the whole file was read
        ReadError,  ///< reading failed part way; the rows before it stay
        Cancelled,  ///< the progress callback asked to stop; the rows so far stay
        StoreFull,  ///< the store refused a row (memory exhausted); the rows so far stay
    };
    /// Told the bytes consumed and the file size; returns false to cancel.
    using FnProgress = std::function<bool(qint64 nDone, qint64 nTotal)>;

    static constexpr int kMaxRead = 1022;        ///< characters per read, line end included
    static constexpr int kProgressLines = 65536; ///< lines between progress calls

    /// Appends one row per read to store's active channels. Unless the open failed,
    /// pLatestRow8[0..n-1] receives the last row stored (zeros when there was none).
    EResult Read(const QString& strPath, CLogStore& store, double* pLatestRow8,
                 const FnProgress& fnProgress = {});

    qint64 m_nLines = 0; ///< rows appended by the last Read
};
