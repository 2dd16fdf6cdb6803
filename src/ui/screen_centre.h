#pragma once
// Placing a window in the middle of the screen.

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

// Top-left corner that centres `window` on `area`, each half truncated.
QPoint CentredCorner(const QRect& area, const QSize& window);

// Moves `window` to the middle of the primary screen's available area (the part not taken
// by panels), which need not start at the origin.
void CentreOnScreen(QWidget& window);
