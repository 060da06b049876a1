#pragma once

// A structural Enhanced Metafile reader for the tests: walks every record, checks sizes, counts,
// the object table and the header totals, and plays the geometry far enough to know which device
// points were drawn (viewport origin and clip applied). Test-only, any thread.

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

struct SEmfText {
    QString m_str;
    int x = 0; ///< reference point, device units
    int y = 0;
    uint32_t m_nAlign = 0;
    std::vector<int32_t> m_dx;
};

struct SEmfPen {
    uint32_t m_nStyle = 0;
    uint32_t m_nWidth = 0;
    uint32_t m_crColor = 0;
    std::vector<uint32_t> m_entries;
    bool operator==(const SEmfPen&) const = default;
};

struct SEmfSummary {
    std::vector<std::string> m_problems; ///< empty when the file is sound
    int32_t m_bounds[4] = {};            ///< header bounds, inclusive
    int32_t m_frame[4] = {};
    uint32_t m_nHandles = 0;
    int32_t m_device[2] = {};
    int32_t m_mm[2] = {};
    std::map<uint32_t, int> m_typeCount;
    std::vector<SEmfText> m_texts;
    /// Points the records drew through (line ends, polyline and polygon vertices, rectangle
    /// corners, text reference points), in device units, where the clip lets them show.
    std::vector<std::pair<int, int>> m_drawn;
    int m_nPolylines = 0;
    std::vector<SEmfPen> m_pens; ///< created pens in file order
};

namespace emf_reader {

inline uint32_t U32(const QByteArray& d, qsizetype off) {
    uint32_t n;
    std::memcpy(&n, d.constData() + off, 4);
    return n; // the test machines are little-endian, as the format is
}
inline int32_t I32(const QByteArray& d, qsizetype off) {
    return static_cast<int32_t>(U32(d, off));
}
inline int16_t I16(const QByteArray& d, qsizetype off) {
    int16_t n;
    std::memcpy(&n, d.constData() + off, 2);
    return n;
}

inline SEmfSummary Read(const QByteArray& d) {
    SEmfSummary s;
    auto fail = [&s](const std::string& str) { s.m_problems.push_back(str); };
    if (d.size() < 108 || d.size() % 4 != 0) {
        fail("file too short or not a multiple of 4");
        return s;
    }
    if (U32(d, 0) != 1 || U32(d, 40) != 0x464D4520 || U32(d, 44) != 0x10000)
        fail("no EMR_HEADER with the EMF signature and version at the start");
    for (int i = 0; i < 4; ++i) {
        s.m_bounds[i] = I32(d, 8 + 4 * i);
        s.m_frame[i] = I32(d, 24 + 4 * i);
    }
    const uint32_t nBytes = U32(d, 48);
    const uint32_t nRecordsHdr = U32(d, 52);
    s.m_nHandles = U32(d, 56) & 0xFFFF;
    s.m_device[0] = I32(d, 72);
    s.m_device[1] = I32(d, 76);
    s.m_mm[0] = I32(d, 80);
    s.m_mm[1] = I32(d, 84);
    if (nBytes != static_cast<uint32_t>(d.size()))
        fail("header byte total " + std::to_string(nBytes) + " != file size " +
             std::to_string(d.size()));
    if (U32(d, 60) != 0 && U32(d, 64) + 2 * U32(d, 60) > U32(d, 4))
        fail("description outside the header");

    // Object table: created slots, and what each saved / current state has selected.
    std::map<uint32_t, int> created; // handle -> 0 pen, 1 brush, 2 font
    struct SDc {
        // No brush until one is selected: players start with different ones.
        uint32_t hPen = 0x80000007, hBrush = 0, hFont = 0x8000000D;
        int orgX = 0, orgY = 0;
        bool bClip = false;
        int cl = 0, ct = 0, cr = 0, cb = 0; // device, right and bottom exclusive
        int curX = 0, curY = 0;
        bool bCurKnown = true; // not after a restore: players differ there
        uint32_t nAlign = 0;
    };
    SDc dc;
    std::vector<SDc> saved;
    auto drawn = [&](int x, int y) { // logical point
        const int dx = x + dc.orgX, dy = y + dc.orgY;
        if (dc.bClip && !(dc.cl <= dx && dx < dc.cr && dc.ct <= dy && dy < dc.cb))
            return;
        s.m_drawn.push_back({dx, dy});
    };
    auto selectable = [&](uint32_t h) {
        return (h & 0x80000000u) ? (h & 0x7FFFFFFFu) <= 19 : created.count(h) > 0;
    };
    auto create = [&](uint32_t h, int nKind, const char* what) {
        if (h == 0 || h >= s.m_nHandles)
            fail(std::string(what) + ": handle " + std::to_string(h) + " outside 1..nHandles-1");
        if (!created.emplace(h, nKind).second)
            fail(std::string(what) + ": handle " + std::to_string(h) + " already in use");
    };
    static const std::set<uint32_t> known = {1,  3,  4,  12, 14, 17, 18, 19, 22, 24, 27, 30,
                                             33, 34, 37, 39, 40, 43, 54, 82, 84, 86, 87, 95};
    qsizetype off = 0;
    uint32_t nRecords = 0;
    int nEof = 0;
    bool bEofLast = false;
    while (off < d.size()) {
        if (off + 8 > d.size()) {
            fail("record header past the end");
            break;
        }
        const uint32_t type = U32(d, off);
        const uint32_t size = U32(d, off + 4);
        ++nRecords;
        const std::string at =
            "record " + std::to_string(nRecords) + " type " + std::to_string(type);
        if (size < 8 || size % 4 != 0 ||
            static_cast<uint64_t>(off) + size > static_cast<uint64_t>(d.size())) {
            fail(at + ": bad size " + std::to_string(size));
            break;
        }
        if (!known.count(type))
            fail(at + ": unexpected type");
        if (type == 1 && off != 0)
            fail(at + ": second header");
        ++s.m_typeCount[type];
        auto need = [&](uint32_t n) {
            if (size < n)
                fail(at + ": shorter than " + std::to_string(n));
            return size >= n;
        };
        switch (type) {
        case 95: // EMR_EXTCREATEPEN
            if (need(52)) {
                create(U32(d, off + 8), 0, "pen");
                const uint32_t nStyle = U32(d, off + 48);
                if (size != 52 + 4 * nStyle) {
                    fail(at + ": pen size does not match its style entries");
                    break;
                }
                SEmfPen pen{U32(d, off + 28), U32(d, off + 32), U32(d, off + 40), {}};
                for (uint32_t i = 0; i < nStyle; ++i)
                    pen.m_entries.push_back(U32(d, off + 52 + 4 * i));
                if (U32(d, off + 36) != 0)
                    fail(at + ": pen brush not solid");
                s.m_pens.push_back(pen);
            }
            break;
        case 39: // EMR_CREATEBRUSHINDIRECT
            if (need(24))
                create(U32(d, off + 8), 1, "brush");
            break;
        case 82: // EMR_EXTCREATEFONTINDIRECTW
            if (need(104))
                create(U32(d, off + 8), 2, "font");
            break;
        case 37: { // EMR_SELECTOBJECT
            if (!need(12))
                break;
            const uint32_t h = U32(d, off + 8);
            if (!selectable(h)) {
                fail(at + ": selects " + std::to_string(h) + ", which does not exist");
                break;
            }
            // Stock brushes are 0..5, pens 6..8, fonts and the palette above.
            const uint32_t n = h & 0x7FFFFFFFu;
            const int nKind = (h & 0x80000000u) ? (n <= 5 ? 1 : n <= 8 ? 0 : 2) : created[h];
            (nKind == 0 ? dc.hPen : nKind == 1 ? dc.hBrush : dc.hFont) = h;
            break;
        }
        case 40: { // EMR_DELETEOBJECT
            if (!need(12))
                break;
            const uint32_t h = U32(d, off + 8);
            if (h & 0x80000000u)
                fail(at + ": deletes a stock object");
            else if (created.erase(h) == 0)
                fail(at + ": deletes " + std::to_string(h) + ", which does not exist");
            auto holds = [h](const SDc& x) { return x.hPen == h || x.hBrush == h || x.hFont == h; };
            bool bHeld = holds(dc);
            for (const SDc& x : saved)
                bHeld |= holds(x);
            if (bHeld)
                fail(at + ": deletes " + std::to_string(h) + " while it is selected");
            break;
        }
        case 12: // EMR_SETVIEWPORTORGEX
            if (need(16)) {
                dc.orgX = I32(d, off + 8);
                dc.orgY = I32(d, off + 12);
            }
            break;
        case 30: // EMR_INTERSECTCLIPRECT
            if (need(24)) {
                const int l = I32(d, off + 8) + dc.orgX, t = I32(d, off + 12) + dc.orgY;
                const int r = I32(d, off + 16) + dc.orgX, b = I32(d, off + 20) + dc.orgY;
                if (!dc.bClip) {
                    dc.bClip = true;
                    dc.cl = l, dc.ct = t, dc.cr = r, dc.cb = b;
                } else {
                    dc.cl = std::max(dc.cl, l), dc.ct = std::max(dc.ct, t);
                    dc.cr = std::min(dc.cr, r), dc.cb = std::min(dc.cb, b);
                }
            }
            break;
        case 33: // EMR_SAVEDC
            saved.push_back(dc);
            break;
        case 34: // EMR_RESTOREDC
            if (need(12)) {
                if (I32(d, off + 8) != -1)
                    fail(at + ": restores other than the last saved state");
                if (saved.empty()) {
                    fail(at + ": restore without save");
                } else {
                    dc = saved.back();
                    saved.pop_back();
                    dc.bCurKnown = false;
                }
            }
            break;
        case 22: // EMR_SETTEXTALIGN
            if (need(12))
                dc.nAlign = U32(d, off + 8);
            break;
        case 27: // EMR_MOVETOEX
            if (need(16))
                dc.curX = I32(d, off + 8), dc.curY = I32(d, off + 12), dc.bCurKnown = true;
            break;
        case 54: // EMR_LINETO
            if (need(16)) {
                if (!dc.bCurKnown)
                    fail(at + ": line from a position a restore left undefined");
                drawn(dc.curX, dc.curY);
                dc.curX = I32(d, off + 8), dc.curY = I32(d, off + 12);
                drawn(dc.curX, dc.curY);
            }
            break;
        case 3:
        case 4:
        case 86:
        case 87: { // EMR_POLYGON, EMR_POLYLINE, EMR_POLYGON16, EMR_POLYLINE16
            if (!need(28))
                break;
            const bool b16 = type >= 86;
            const uint32_t n = U32(d, off + 24);
            const uint64_t nExpect = 28 + uint64_t{n} * (b16 ? 4 : 8);
            if ((nExpect + 3) / 4 * 4 != size) {
                fail(at + ": point count does not match the size");
                break;
            }
            if (type == 4 || type == 87)
                ++s.m_nPolylines;
            else if (dc.hBrush == 0)
                fail(at + ": polygon filled before any brush was selected");
            for (uint32_t i = 0; i < n; ++i) {
                if (b16)
                    drawn(I16(d, off + 28 + 4 * i), I16(d, off + 30 + 4 * i));
                else
                    drawn(I32(d, off + 28 + 8 * i), I32(d, off + 32 + 8 * i));
            }
            break;
        }
        case 43: // EMR_RECTANGLE
            if (dc.hBrush == 0)
                fail(at + ": rectangle filled before any brush was selected");
            if (need(24)) {
                // Without an outline the fill ends one pixel earlier to the right and below.
                const int nIn = dc.hPen == 0x80000008u ? 2 : 1;
                drawn(I32(d, off + 8), I32(d, off + 12));
                drawn(I32(d, off + 16) - nIn, I32(d, off + 20) - nIn);
            }
            break;
        case 84: { // EMR_EXTTEXTOUTW
            if (!need(76))
                break;
            SEmfText t;
            t.x = I32(d, off + 36) + dc.orgX;
            t.y = I32(d, off + 40) + dc.orgY;
            t.m_nAlign = dc.nAlign;
            const uint32_t nChars = U32(d, off + 44);
            const uint32_t offStr = U32(d, off + 48);
            const uint32_t offDx = U32(d, off + 72);
            if (offStr + 2ull * nChars > size || (offDx != 0 && offDx + 4ull * nChars > size)) {
                fail(at + ": text or spacing outside the record");
                break;
            }
            t.m_str = QString::fromUtf16(
                reinterpret_cast<const char16_t*>(d.constData() + off + offStr), nChars);
            if (offDx != 0)
                for (uint32_t i = 0; i < nChars; ++i)
                    t.m_dx.push_back(I32(d, off + offDx + 4 * i));
            drawn(t.x - dc.orgX, t.y - dc.orgY);
            s.m_texts.push_back(t);
            break;
        }
        case 14: // EMR_EOF
            ++nEof;
            if (size != 20 || U32(d, off + 16) != size)
                fail(at + ": EOF size fields");
            break;
        default:
            break;
        }
        off += size;
        bEofLast = type == 14;
    }
    if (nRecords != nRecordsHdr)
        fail("header record count " + std::to_string(nRecordsHdr) +
             " != " + std::to_string(nRecords));
    if (nEof != 1 || !bEofLast)
        fail("EOF must come exactly once and last");
    return s;
}

} // namespace emf_reader
