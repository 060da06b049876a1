#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

/// One received line as it is published.
struct SPublishLine {
    int64_t m_nTimeNs = 0; ///< when the intake took it, system clock
    int64_t m_nSeq = 0;    ///< 1 for the run's first line
    std::string m_strLine;
};

/// The lines waiting for the broker, kept in the batches the intake committed them in (one
/// allocation per batch instead of one per line) and dropped oldest first beyond a bound.
/// Owned by the publisher, which guards it with its lock; not thread-safe by itself.
class CPublishQueue {
public:
    /// Where one line lies in its batch's bytes.
    struct SRef {
        int64_t m_nTimeNs = 0;
        int64_t m_nSeq = 0;
        uint32_t m_nOffset = 0;
        uint32_t m_nLength = 0;
    };
    /// Lines the intake noted between two commits.
    struct SBatch {
        std::string m_strBytes;
        std::vector<SRef> m_Refs;
        size_t m_nFirst = 0; ///< lines before it are gone (sent or dropped)

        size_t Size() const { return m_Refs.size() - m_nFirst; }
        void Add(const char* psz, size_t nLength, int64_t nTimeNs, int64_t nSeq) {
            m_Refs.push_back({nTimeNs, nSeq, static_cast<uint32_t>(m_strBytes.size()),
                              static_cast<uint32_t>(nLength)});
            m_strBytes.append(psz, nLength);
        }
    };

    /// Appends a batch; the number of lines dropped from the front to keep at most nCap.
    int64_t PushBack(SBatch&& batch, size_t nCap) {
        m_nLines += batch.Size();
        if (batch.Size() > 0)
            m_Batches.push_back(std::move(batch));
        return Trim(nCap);
    }
    /// Puts lines taken earlier back in front, in their order; the number dropped to keep nCap.
    int64_t PushFront(std::vector<SPublishLine>& lines, size_t nCap) {
        if (lines.empty())
            return 0;
        SBatch batch;
        for (const SPublishLine& line : lines)
            batch.Add(line.m_strLine.data(), line.m_strLine.size(), line.m_nTimeNs, line.m_nSeq);
        m_nLines += batch.Size();
        m_Batches.push_front(std::move(batch));
        lines.clear();
        return Trim(nCap);
    }
    /// Moves up to n of the oldest lines to the end of out.
    void PopFront(size_t n, std::vector<SPublishLine>& out) {
        while (n > 0 && !m_Batches.empty()) {
            SBatch& front = m_Batches.front();
            const size_t k = std::min(n, front.Size());
            for (size_t i = front.m_nFirst; i < front.m_nFirst + k; ++i) {
                const SRef& ref = front.m_Refs[i];
                out.push_back({ref.m_nTimeNs, ref.m_nSeq,
                               front.m_strBytes.substr(ref.m_nOffset, ref.m_nLength)});
            }
            front.m_nFirst += k;
            m_nLines -= k;
            n -= k;
            if (front.Size() == 0)
                m_Batches.pop_front();
        }
    }
    size_t Size() const { return m_nLines; }
    bool Empty() const { return m_nLines == 0; }
    void Clear() {
        m_Batches.clear();
        m_nLines = 0;
    }

private:
    int64_t Trim(size_t nCap) {
        int64_t nDropped = 0;
        while (m_nLines > nCap) {
            SBatch& front = m_Batches.front();
            const size_t nOver = m_nLines - nCap;
            const size_t k = std::min(nOver, front.Size());
            front.m_nFirst += k;
            m_nLines -= k;
            nDropped += static_cast<int64_t>(k);
            if (front.Size() == 0)
                m_Batches.pop_front();
        }
        return nDropped;
    }

    std::deque<SBatch> m_Batches;
    size_t m_nLines = 0;
};
