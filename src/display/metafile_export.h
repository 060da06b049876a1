#pragma once

#include "display/canvas.h"

class CGraph;
class QString;

/// Size of the picture a metafile export draws, in device units of the reference surface.
inline constexpr SSize kMetafileSize{1600, 1000};

/// The surface a metafile is drawn for: its size in device pixels and its resolution in dots
/// per inch (text is measured for it, the file's header records it).
struct SMetafileRef {
    SSize m_size;
    double m_dDpiX = 96.0;
    double m_dDpiY = 96.0;
};

/// The reference surface when there is no screen to take: a plain 1920 x 1080 monitor at 96 dpi.
inline constexpr SMetafileRef kFallbackMetafileRef{{1920, 1080}, 96.0, 96.0};

/// Draws the graph's metafile picture of the given size for the reference surface and writes it
/// to strPath through a temporary file beside it; false (the reason in pstrError when given),
/// with nothing new left and an existing file kept as it was, when it cannot be written
/// completely.
bool ExportGraphMetafile(CGraph& graph, const SMetafileRef& ref, SSize size, const QString& strPath,
                         QString* pstrError = nullptr);
