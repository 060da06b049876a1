#pragma once

#include "acquisition/log_data.h"

#include <cstddef>
#include <vector>

/// Sample budget that caps chosen channel arrays at a byte count, so that tests can make the
/// store's allocations fail on purpose; arrays never named are unlimited. Owned by the test,
/// built before the store it is given to; the test's thread.
class CByteLimit : public CSampleBudget {
public:
    /// From now on data may hold at most nMaxBytes (SIZE_MAX lifts the cap again).
    void Set(const SLogData& data, size_t nMaxBytes);
    bool Allows(const SLogData& data, size_t nBytes) const override;

private:
    struct SCap {
        const SLogData* m_pData;
        size_t m_nMaxBytes;
    };
    std::vector<SCap> m_caps;
};
