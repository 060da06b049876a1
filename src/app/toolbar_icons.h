#pragma once

#include <QIcon>
#include <QImage>

/// The four toolbar pictures, in toolbar order.
enum EToolIcon { ICON_Open, ICON_Print, ICON_Hold, ICON_Cursor };

/// One 16 x 15 toolbar picture drawn at device-pixel ratio dDpr (the image is 16*dDpr x 15*dDpr
/// pixels and carries that ratio), transparent outside the drawing.
QImage DrawToolImage(EToolIcon nIcon, qreal dDpr);
/// Icon holding the picture at the usual screen scales, so it stays crisp on high-DPI screens.
QIcon MakeToolIcon(EToolIcon nIcon);
/// The program icon (a small graph with two traces) at 16, 32 and 48 pixels.
QIcon MakeAppIcon();
