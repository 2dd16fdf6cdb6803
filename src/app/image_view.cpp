#include "image_view.h"

#include <QPaintEvent>
#include <QPainter>

ImageView::ImageView(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

void ImageView::setPicture(const QImage& picture) {
    picture_ = picture;
    display_ = QImage();  // made on the first paint, so the hidden copy never needs one
    update();
}

void ImageView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    if (display_.isNull() && !picture_.isNull())
        display_ = picture_.convertToFormat(QImage::Format_RGB32);
    if (display_.isNull() || width() <= 0 || height() <= 0) {
        painter.fillRect(event->rect(), palette().button());
        return;
    }
    const double sx = double(display_.width()) / width();
    const double sy = double(display_.height()) / height();
    const QRect r = event->rect();
    const QRectF source(r.x() * sx, r.y() * sy, r.width() * sx, r.height() * sy);
    painter.drawImage(QRectF(r), display_, source);
}
