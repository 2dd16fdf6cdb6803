#include "graph_view.h"

#include "graph.h"

#include <QMouseEvent>
#include <QPainter>

GraphView::GraphView(QWidget* parent) : QWidget(parent), picture(NewGraphImage()) {
    setFixedSize(kGraphWidth, kGraphHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void GraphView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, picture);
}

void GraphView::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    emit pressed(event->button(), p.x(), p.y());
}
