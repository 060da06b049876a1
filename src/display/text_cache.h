#pragma once

#include "display/canvas.h"

#include <QByteArray>
#include <QFont>
#include <QHash>
#include <QStaticText>
#include <cstdint>
#include <deque>

/// Fonts and shaped one-line texts kept from one paint to the next, so that a label that did
/// not change is not mapped and laid out again: per font the mapped font and its metrics, per
/// font and text the prepared static text and its advance. Owned by the view (one per view)
/// and lent to each paint's canvas; window thread only.
class CTextCache {
public:
    struct SFontEntry {
        int m_nIndex = 0;
        SFont m_Font;
        QFont m_QFont;
        int m_nAscent = 0;
        int m_nDescent = 0;
        /// The line height and ascent of a laid-out line, fractional as the layout keeps them.
        double m_dHeight = 0.0;
    };
    struct SText {
        QStaticText m_Text;
        int m_nAdvance = 0;
        double m_dAdvance = 0.0; ///< the fractional width a layout of the line has
    };

    /// The mapped font of font (MapFont on first use); the reference stays valid until EndFrame.
    const SFontEntry& Font(const SFont& font);
    /// text laid out in the font of entry (on first use).
    const SText& Text(const SFontEntry& entry, const QByteArray& text);
    /// Called after each paint: when many texts are kept, those the paint did not use go.
    void EndFrame();

private:
    struct SKeptText {
        SText m_Text;
        uint64_t m_nLastUse = 0;
    };
    std::deque<SFontEntry> m_Fonts;       ///< a deque: entries stay in place as fonts are added
    QHash<QByteArray, SKeptText> m_Texts; ///< key: font index, NUL, text
    uint64_t m_nFrame = 0;
};
