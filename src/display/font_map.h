#pragma once

#include "display/canvas.h"

#include <QFont>

/// The Qt font a font description maps to ("Tahoma" with a Japanese-capable fallback), as both
/// the painter canvas and the metafile canvas draw and measure text with it.
QFont MapFont(const SFont& font);
