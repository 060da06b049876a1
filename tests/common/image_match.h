#pragma once

// Compares where two pictures of the same graph put a colour: used to check pictures that
// another program drew (a PDF from the print queue, LibreOffice's reading of a metafile)
// against the graph's own render.

#include <QColor>
#include <QImage>

#include <cstdlib>

/// Of the pixels of colour cr in imgRef, the fraction that have a pixel within nTolerance of
/// colour cr (each component within nColourSlack) no more than nRadius pixels away at the same
/// place in imgOther. nCount receives how many pixels of cr imgRef has.
inline double NearMatchFraction(const QImage& imgRef, const QImage& imgOther, QRgb cr, int nRadius,
                                int nColourSlack, int* pnCount = nullptr) {
    auto isNear = [&](QRgb px) {
        return std::abs(qRed(px) - qRed(cr)) <= nColourSlack &&
               std::abs(qGreen(px) - qGreen(cr)) <= nColourSlack &&
               std::abs(qBlue(px) - qBlue(cr)) <= nColourSlack;
    };
    int nCount = 0;
    int nFound = 0;
    for (int y = 0; y < imgRef.height(); ++y) {
        for (int x = 0; x < imgRef.width(); ++x) {
            if ((imgRef.pixel(x, y) & 0xFFFFFF) != (cr & 0xFFFFFF))
                continue;
            ++nCount;
            bool bFound = false;
            for (int dy = -nRadius; dy <= nRadius && !bFound; ++dy) {
                for (int dx = -nRadius; dx <= nRadius && !bFound; ++dx) {
                    const int xx = x + dx;
                    const int yy = y + dy;
                    if (xx >= 0 && yy >= 0 && xx < imgOther.width() && yy < imgOther.height())
                        bFound = isNear(imgOther.pixel(xx, yy));
                }
            }
            nFound += bFound ? 1 : 0;
        }
    }
    if (pnCount)
        *pnCount = nCount;
    return nCount == 0 ? 0.0 : static_cast<double>(nFound) / nCount;
}

/// A COLORREF (0x00BBGGRR) as a QRgb.
inline QRgb RgbOf(unsigned int cr) {
    return qRgb(cr & 0xFF, (cr >> 8) & 0xFF, (cr >> 16) & 0xFF);
}
