#include "display/font_map.h"

#include <QFontMetricsF>
#include <QString>
#include <QStringList>
#include <algorithm>

QFont MapFont(const SFont& font) {
    QFont qfont;
    // The named face first; where it is missing, a sans-serif face that also has Japanese glyphs,
    // since names and units may be Japanese.
    qfont.setFamilies({QString::fromUtf8(font.m_strFace), QStringLiteral("Noto Sans CJK JP"),
                       QStringLiteral("DejaVu Sans")});
    qfont.setStyleHint(QFont::SansSerif, QFont::NoAntialias);
    qfont.setStyleStrategy(QFont::NoAntialias);
    if (font.m_nHeight < 0) {
        // Character height without internal leading: the em size.
        qfont.setPixelSize(-font.m_nHeight);
    } else if (font.m_nHeight > 0) {
        // Cell height: scale the em so that ascent + descent comes out at the requested height.
        QFont probe = qfont;
        probe.setPixelSize(1000);
        const QFontMetricsF fm(probe);
        const double dCell = fm.ascent() + fm.descent();
        const int nPixel = dCell > 0 ? static_cast<int>(font.m_nHeight * 1000.0 / dCell) : 0;
        qfont.setPixelSize(std::max(nPixel, 1));
    } else {
        qfont.setPixelSize(12); // "default height"
    }
    return qfont;
}
