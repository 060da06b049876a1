#pragma once

#include "acquisition/log_store.h"
#include "settings/channel_attr.h"

/// The single document: the sample store plus the eight channel attribute records; owned by the
/// application for the whole run, window thread only.
class CkestDoc : public CLogStore {
public:
    CkestDoc();

    /// The record of channel nChannel, the index clamped to the fixed eight (0..7).
    SChannelAttr& GetChannelAttr(int nChannel);
    const SChannelAttr& GetChannelAttr(int nChannel) const;
    /// Stores attr with the clamps: VRes <= 0 -> 10, Pos 0..1000, Multiplier +-0 -> 1; infinite or
    /// NaN numbers also take their defaults.
    void SetChannelAttr(int nChannel, SChannelAttr attr);
    /// Starts an empty document (at start-up): resets the store.
    bool OnNewDocument();

    SChannelAttr m_ChannelAttr[kMaxChannels];
};
