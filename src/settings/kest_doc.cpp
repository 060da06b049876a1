#include "settings/kest_doc.h"

#include <cmath>

namespace {
int ClampIndex(int nChannel) {
    if (nChannel < 0)
        return 0;
    if (nChannel >= CLogStore::kMaxChannels)
        return CLogStore::kMaxChannels - 1;
    return nChannel;
}
} // namespace

CkestDoc::CkestDoc() = default;

SChannelAttr& CkestDoc::GetChannelAttr(int nChannel) {
    return m_ChannelAttr[ClampIndex(nChannel)];
}

const SChannelAttr& CkestDoc::GetChannelAttr(int nChannel) const {
    return m_ChannelAttr[ClampIndex(nChannel)];
}

void CkestDoc::SetChannelAttr(int nChannel, SChannelAttr attr) {
    // An overflowing number in a file ("1e999") reads as infinity; the drawing arithmetic cannot
    // map infinite or NaN values to pixels, so they get the defaults like the invalid zero.
    if (!(attr.m_dVRes > 0.0) || !std::isfinite(attr.m_dVRes))
        attr.m_dVRes = 10.0;
    if (attr.m_nPos < 0)
        attr.m_nPos = 0;
    else if (attr.m_nPos > 1000)
        attr.m_nPos = 1000;
    if (attr.m_dMultiplier == 0.0 || !std::isfinite(attr.m_dMultiplier))
        attr.m_dMultiplier = 1.0;
    if (!std::isfinite(attr.m_dOffset))
        attr.m_dOffset = 0.0;
    if (!std::isfinite(attr.m_dAddend))
        attr.m_dAddend = 0.0;
    m_ChannelAttr[ClampIndex(nChannel)] = attr;
}

bool CkestDoc::OnNewDocument() {
    ResetLogData();
    return true;
}
