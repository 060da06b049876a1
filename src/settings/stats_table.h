#pragma once

#include "acquisition/channel_stats.h"

#include <QByteArray>

#include <cstdint>
#include <vector>

class CkestDoc;

/// One row of the statistics table: a channel's name, unit and figures in display units.
struct SStatsRow {
    int m_nChannel = 0; ///< 0..7, shown as CH1..CH8
    QByteArray m_strName;
    QByteArray m_strUnit;
    SChannelStats m_Stats;
};

/// Columns of the table after channel, name and unit, in order.
enum EStatsColumn {
    kStatsCount,
    kStatsNonFinite,
    kStatsMin,
    kStatsMax,
    kStatsPeakToPeak,
    kStatsMean,
    kStatsRms,
    kStatsStdDev,
    kStatsMinIndex,
    kStatsMaxIndex,
    kStatsColumns
};

/// The figures of every active channel of doc over the samples nFirst..nLast inclusive, limited
/// to the samples the channel holds (an empty stretch gives rows with a count of 0).
std::vector<SStatsRow> ComputeStatsRows(const CkestDoc& doc, int64_t nFirst, int64_t nLast);

/// The figures of one row in the readout's form: values as "%g" followed by the unit, counts
/// and sample indexes as integers, one text per column; figures without a finite value are
/// empty.
std::vector<QByteArray> StatsRowTexts(const SStatsRow& row);

/// The table as CSV: a header row, then one row per channel with its name and unit (quoted where
/// needed) and the figures in full precision, the shortest text that reads back to the same
/// double. Lines end with CR LF.
QByteArray StatsTableCsv(const std::vector<SStatsRow>& rows);
