#include "graph_canvas.h"

#include "graph.h"

#include <QMouseEvent>
#include <QPainter>

using namespace framesifter;

GraphCanvas::GraphCanvas(QWidget* parent) : QWidget(parent), picture(NewGraphImage()) {
    setFixedSize(kGraphWidth, kGraphHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void GraphCanvas::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, picture);
}

void GraphCanvas::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    emit pressed(event->button(), p.x(), p.y());
}
