#include "child.h"

#include "viewer_rules.h"

#include <QCloseEvent>
#include <QLayout>
#include <QPaintEvent>
#include <QPainter>

#include <cmath>

TImageView::TImageView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TImageView::setPicture(const QImage& picture) {
    picture_ = picture;
    display_ = QImage();  // made on the first paint, so the hidden copy never needs one
    update();
}

void TImageView::paintEvent(QPaintEvent* event) {
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

TChild::TChild(QWidget* parent) : QMdiSubWindow(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Child"));
    QFont f = font();
    f.setPixelSize(11);
    setFont(f);

    client_ = new QWidget;
    client_->setAutoFillBackground(true);
    client_->setBackgroundRole(QPalette::Button);
    ImageZm = new TImageView(client_);
    ImageZm->setObjectName(QStringLiteral("ImageZm"));
    ImageZm->hide();
    Image = new TImageView(client_);
    Image->setObjectName(QStringLiteral("Image"));
    Image->setGeometry(0, 0, 0, 0);
    setWidget(client_);
}

void TChild::Fill(const QImage& picture, const QString& caption) {
    Image->setPicture(picture);
    SetShownSize(picture.width(), picture.height());
    setWindowTitle(caption);
    DemX = picture.width();
    DemY = picture.height();
    ColN = 3;
    ZomN = 0;
    ImageZm->setPicture(picture);
    ImageZm->resize(picture.size());
}

void TChild::SetShownSize(int width, int height) {
    Image->setGeometry(0, 0, width, height);
    // The window's frame (borders and title bar) around the client area.
    if (QLayout* l = layout()) l->activate();
    const QSize frame = size() - client_->size();
    const QSize wanted(width + frame.width(), height + frame.height());
    resize(wanted.expandedTo(minimumSizeHint()));
}

bool TChild::ZoomTo(int exponent, QString& text) {
    const int w0 = ImageZm->width();
    const int h0 = ImageZm->height();
    if (w0 <= 0 || h0 <= 0) return false;
    const double z = std::pow(2.0, exponent);
    const int w = int(w0 * z);
    const int h = int(h0 * z);
    if (w < 1 || h < 1) return false;
    SetShownSize(w, h);
    text = ZoomText(z);
    ZomN = exponent;
    return true;
}

bool TChild::ZoomIn(QString& text) {
    const int m = ZomN + 1;
    if (m >= 4) return false;
    return ZoomTo(m, text);
}

bool TChild::ZoomOut(QString& text) { return ZoomTo(ZomN - 1, text); }

QString TChild::FormActivate() {
    const int w0 = ImageZm->width();
    const int wc = Image->width();
    if (w0 <= 0 || wc <= 0 || Image->picture().isNull()) return QString();
    const double r = double(wc) / w0;
    const double l = std::log(r) / std::log(2.0);
    const int k = wc >= w0 ? int(l + 0.5) : int(l - 0.5);
    return ZoomText(std::pow(2.0, k));
}

void TChild::closeEvent(QCloseEvent* event) {
    // WA_DeleteOnClose disposes of the window and both pictures.
    QMdiSubWindow::closeEvent(event);
}
