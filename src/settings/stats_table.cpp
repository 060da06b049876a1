#include "settings/stats_table.h"

#include "settings/kest_doc.h"
#include "settings/number_text.h"

#include <algorithm>
#include <charconv>

namespace {

QByteArray Shortest(double d) {
    char sz[32];
    const auto res = std::to_chars(sz, sz + sizeof sz, d);
    return QByteArray(sz, static_cast<int>(res.ptr - sz));
}

QByteArray CsvField(const QByteArray& str) {
    if (!str.contains(',') && !str.contains('"') && !str.contains('\n') && !str.contains('\r'))
        return str;
    QByteArray quoted = str;
    quoted.replace("\"", "\"\"");
    return '"' + quoted + '"';
}

} // namespace

std::vector<SStatsRow> ComputeStatsRows(const CkestDoc& doc, int64_t nFirst, int64_t nLast) {
    std::vector<SStatsRow> rows;
    for (int ch = 0; ch < doc.m_nChannels; ++ch) {
        const SChannelAttr& attr = doc.GetChannelAttr(ch);
        const SLogData& data = doc.m_LogData[ch];
        SStatsRow row;
        row.m_nChannel = ch;
        row.m_strName = attr.m_strName;
        row.m_strUnit = attr.m_strUnit;
        const int64_t nFrom = std::max<int64_t>(nFirst, 0);
        const int64_t nTo = std::min<int64_t>(nLast, int64_t{data.m_nCount} - 1);
        if (data.m_pData != nullptr && nTo >= nFrom)
            row.m_Stats = ComputeChannelStats(data.m_pData + nFrom, nTo - nFrom + 1, nFrom,
                                              attr.m_dMultiplier, attr.m_dAddend);
        rows.push_back(row);
    }
    return rows;
}

std::vector<QByteArray> StatsRowTexts(const SStatsRow& row) {
    const SChannelStats& s = row.m_Stats;
    const bool bAny = s.m_nCount > 0;
    auto value = [&](double d) { return bAny ? FormatG(d) + row.m_strUnit : QByteArray(); };
    auto index = [&](int64_t n) { return bAny ? QByteArray::number(n) : QByteArray(); };
    std::vector<QByteArray> texts(kStatsColumns);
    texts[kStatsCount] = QByteArray::number(s.m_nCount);
    texts[kStatsNonFinite] = QByteArray::number(s.m_nNonFinite);
    texts[kStatsMin] = value(s.m_dMin);
    texts[kStatsMax] = value(s.m_dMax);
    texts[kStatsPeakToPeak] = value(s.PeakToPeak());
    texts[kStatsMean] = value(s.m_dMean);
    texts[kStatsRms] = value(s.m_dRms);
    texts[kStatsStdDev] = value(s.m_dStdDev);
    texts[kStatsMinIndex] = index(s.m_nMinIndex);
    texts[kStatsMaxIndex] = index(s.m_nMaxIndex);
    return texts;
}

QByteArray StatsTableCsv(const std::vector<SStatsRow>& rows) {
    QByteArray out = "channel,name,unit,count,nonfinite,min,max,peak_to_peak,mean,rms,stddev,"
                     "min_index,max_index\r\n";
    for (const SStatsRow& row : rows) {
        const SChannelStats& s = row.m_Stats;
        out += "CH" + QByteArray::number(row.m_nChannel + 1) + ',' + CsvField(row.m_strName) + ',' +
               CsvField(row.m_strUnit) + ',' + QByteArray::number(s.m_nCount) + ',' +
               QByteArray::number(s.m_nNonFinite);
        if (s.m_nCount > 0) {
            for (double d : {s.m_dMin, s.m_dMax, s.PeakToPeak(), s.m_dMean, s.m_dRms, s.m_dStdDev})
                out += ',' + Shortest(d);
            out +=
                ',' + QByteArray::number(s.m_nMinIndex) + ',' + QByteArray::number(s.m_nMaxIndex);
        } else {
            out += ",,,,,,,,";
        }
        out += "\r\n";
    }
    return out;
}
