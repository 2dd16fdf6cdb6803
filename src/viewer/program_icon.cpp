#include "program_icon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

QImage ProgramIconImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);

    const QRectF disc(4, 4, 56, 56);
    QRadialGradient light(QPointF(24, 20), 44);
    light.setColorAt(0.0, QColor(250, 224, 170));
    light.setColorAt(0.7, QColor(214, 150, 82));
    light.setColorAt(1.0, QColor(150, 92, 44));
    p.setPen(Qt::NoPen);
    p.setBrush(light);
    p.drawEllipse(disc);

    QPainterPath planet;
    planet.addEllipse(disc);
    p.setClipPath(planet);
    // Bands that bow a little, as on a sphere seen slightly from above.
    auto band = [&](double top, double height, const QColor& colour) {
        QPainterPath path;
        path.moveTo(0, top);
        path.quadTo(32, top + 5, 64, top);
        path.lineTo(64, top + height);
        path.quadTo(32, top + height + 5, 0, top + height);
        path.closeSubpath();
        p.fillPath(path, colour);
    };
    band(33, 8, QColor(120, 62, 30, 220));
    band(22, 3, QColor(170, 105, 55, 160));
    band(46, 3, QColor(170, 105, 55, 160));
    p.setClipping(false);

    p.setPen(QPen(QColor(90, 50, 20), 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(disc);
    return image;
}
