#include "app/stats_command.h"

#include "app/render.h"

#include "display/graph.h"
#include "settings/kest_doc.h"
#include "settings/profile.h"
#include "settings/stats_table.h"

#include <cstdint>
#include <cstdio>
#include <limits>

bool StatsCsvOfFile(const SStatsOptions& args, const CProfile& profile, QByteArray& strCsv,
                    QString& strError) {
    CkestDoc doc;
    CGraph graph(&doc);
    if (!LoadCsvAsViewed(args.m_strCsv, args.m_nChannels, profile, doc, graph, strError))
        return false;
    const int64_t nLast = args.m_nTo < 0 ? std::numeric_limits<int64_t>::max() : args.m_nTo;
    strCsv = StatsTableCsv(ComputeStatsRows(doc, args.m_nFrom, nLast));
    return true;
}

int RunStatsCommand(const SStatsOptions& args, const QString& strProfilePath) {
    const CProfile profile(strProfilePath);
    QByteArray strCsv;
    QString strError;
    if (!StatsCsvOfFile(args, profile, strCsv, strError)) {
        std::fprintf(stderr, "kest: %s\n", qPrintable(strError));
        return 1;
    }
    // A table cut short (a full disk behind a redirection) is a failed run.
    if (std::fwrite(strCsv.constData(), 1, static_cast<size_t>(strCsv.size()), stdout) !=
            static_cast<size_t>(strCsv.size()) ||
        std::fflush(stdout) != 0) {
        std::fprintf(stderr, "kest: cannot write the statistics to standard output\n");
        return 1;
    }
    return 0;
}
