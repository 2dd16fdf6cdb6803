#include "graph_canvas.h"

#include "graph.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

using namespace framesifter;

GraphCanvas::GraphCanvas(QWidget* parent) : QWidget(parent), picture_(NewGraphImage()) {
    setFixedSize(kGraphWidth, kGraphHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void GraphCanvas::showMarkerLabels(int lowBin, int highBin) {
    labelled_ = true;
    lowBin_ = lowBin;
    highBin_ = highBin;
    update();
}

void GraphCanvas::hideMarkerLabels() {
    labelled_ = false;
    update();
}

void GraphCanvas::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, picture_);
    if (!labelled_) return;
    QFont small = font();
    small.setPixelSize(9);
    painter.setFont(small);
    painter.setPen(QColor(GraphMarkerColour()));
    const QFontMetrics metrics(small);
    // The top rows: the curves reach them only where the scale lets them run off the graph.
    auto label = [&](int bin, int otherBin) {
        const QString text = QString::number(bin);
        const int width = metrics.horizontalAdvance(text);
        const int left = MarkerLabelLeft(2 * bin, 2 * otherBin, width);
        painter.drawText(QRect(left, 0, width, metrics.height()), Qt::AlignLeft | Qt::AlignTop,
                         text);
    };
    label(lowBin_, highBin_);
    if (highBin_ != lowBin_) label(highBin_, lowBin_);
}

void GraphCanvas::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    emit pressed(event->button(), p.x(), p.y());
}
