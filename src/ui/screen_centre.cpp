#include "screen_centre.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

QPoint CentredCorner(const QRect& area, const QSize& window) {
    return {area.x() + area.width() / 2 - window.width() / 2,
            area.y() + area.height() / 2 - window.height() / 2};
}

void CentreOnScreen(QWidget& window) {
    if (QScreen* screen = QGuiApplication::primaryScreen())
        window.move(CentredCorner(screen->availableGeometry(), window.size()));
}
