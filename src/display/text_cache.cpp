#include "display/text_cache.h"

#include "display/font_map.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QString>

namespace {

/// Texts kept beyond what one paint uses (times, values and cursor readouts change every frame).
constexpr qsizetype kKeepTexts = 512;

} // namespace

const CTextCache::SFontEntry& CTextCache::Font(const SFont& font) {
    for (const SFontEntry& entry : m_Fonts)
        if (entry.m_Font == font)
            return entry;
    SFontEntry entry;
    entry.m_nIndex = static_cast<int>(m_Fonts.size());
    entry.m_Font = font;
    entry.m_QFont = MapFont(font);
    const QFontMetrics fm(entry.m_QFont);
    entry.m_nAscent = fm.ascent();
    entry.m_nDescent = fm.descent();
    entry.m_dHeight = QFontMetricsF(entry.m_QFont).height();
    m_Fonts.push_back(entry);
    return m_Fonts.back();
}

const CTextCache::SText& CTextCache::Text(const SFontEntry& entry, const QByteArray& text) {
    QByteArray key;
    key.reserve(text.size() + 2);
    key.append(static_cast<char>(entry.m_nIndex));
    key.append('\0');
    key.append(text);
    auto it = m_Texts.find(key);
    if (it == m_Texts.end()) {
        SKeptText kept;
        const QString str = QString::fromUtf8(text);
        kept.m_Text.m_Text.setTextFormat(Qt::PlainText);
        kept.m_Text.m_Text.setText(str);
        kept.m_Text.m_Text.prepare(QTransform(), entry.m_QFont);
        kept.m_Text.m_nAdvance = QFontMetrics(entry.m_QFont).horizontalAdvance(str);
        kept.m_Text.m_dAdvance = QFontMetricsF(entry.m_QFont).horizontalAdvance(str);
        it = m_Texts.insert(key, kept);
    }
    it->m_nLastUse = m_nFrame;
    return it->m_Text;
}

void CTextCache::EndFrame() {
    if (m_Texts.size() > kKeepTexts) {
        for (auto it = m_Texts.begin(); it != m_Texts.end();) {
            if (it->m_nLastUse != m_nFrame)
                it = m_Texts.erase(it);
            else
                ++it;
        }
    }
    // Fonts change only with the window's size or the settings; a long resize leaves many.
    if (m_Fonts.size() > 16) {
        m_Fonts.clear();
        m_Texts.clear();
    }
    ++m_nFrame;
}
