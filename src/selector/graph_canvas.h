#pragma once
// The graph control: keeps its picture between redraws and reports mouse presses in
// picture coordinates.

#include <QImage>
#include <QWidget>

class GraphCanvas : public QWidget {
    Q_OBJECT
public:
    explicit GraphCanvas(QWidget* parent = nullptr);
    QImage picture;  // the drawing surface; call update() after drawing into it

signals:
    void pressed(Qt::MouseButton button, int x, int y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
};
