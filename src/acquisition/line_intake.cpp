#include "acquisition/line_intake.h"

#include "acquisition/latest_row.h"

#include "acquisition/line_source.h"
#include "acquisition/log_file.h"
#include "acquisition/log_store.h"
#include "acquisition/parse_csv.h"
#include "acquisition/publisher.h"

#include <time.h>

namespace {

int64_t SystemNowNs() {
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec;
}

} // namespace

int CLineIntake::OnCommData(CLineSource& source, CLogStore& store, CLogFile* pLogFile, bool bHold,
                            SLatestRow* pLatest, CPublisher* pPublisher) {
    const int n = store.m_nChannels;
    const bool bLog = pLogFile != nullptr && pLogFile->IsOpen();
    char szLine[kLineBufferSize];
    double row[CLogStore::kMaxChannels];
    int nDrained = 0;
    m_bMoreWaiting = false;
    int k = source.GetLineCount();
    for (;;) {
        // The lines of one look at the reader are taken at one time: the clock is read once for
        // them (the publisher still gives each line a time of its own).
        const int64_t nTakenNs = pPublisher != nullptr ? SystemNowNs() : 0;
        for (int j = 0; j < k; ++j) {
            const int nLength = source.ReadLine(szLine, kLineLimit);
            if (bLog)
                pLogFile->WriteRecord(szLine);
            if (pPublisher != nullptr)
                pPublisher->Add(szLine, static_cast<size_t>(nLength), nTakenNs);
            ParseLineToRow(szLine, n, row);
            if (!bHold && pLatest != nullptr) {
                for (int i = 0; i < n; ++i)
                    (*pLatest)[i] = row[i];
            }
            if (!store.AddRow(row))
                m_bStoreFull = true;
        }
        nDrained += k;
        if (nDrained >= kMaxLinesPerCall && source.GetLineCount() > 0) {
            m_bMoreWaiting = true;
            break;
        }
        source.ClearNotified();
        // A line completed after the count was taken found the flag still set and sent no
        // notification of its own; without this second look it would wait for the next line.
        k = source.GetLineCount();
        if (k <= 0)
            break;
    }
    if (bLog)
        pLogFile->Flush();
    if (pPublisher != nullptr)
        pPublisher->Commit();
    return nDrained;
}

bool CLineIntake::TakeStoreFullToReport() {
    if (!m_bStoreFull || m_bStoreFullReported)
        return false;
    m_bStoreFullReported = true;
    return true;
}

void CLineIntake::Reset() {
    m_bStoreFull = false;
    m_bStoreFullReported = false;
}
