#pragma once
// A small up-down spinner: the upper half raises the position, the lower half lowers it,
// within minimum..maximum without wrapping. Up and Down keys do the same.

#include <QWidget>

class UpDownSpinner : public QWidget {
    Q_OBJECT
public:
    UpDownSpinner(int minimum, int maximum, int position, QWidget* parent = nullptr);
    int position() const { return position_; }
    void setPosition(int position);
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    // One arrow click: moves by one step within the range and emits clicked.
    void step(bool up);

signals:
    // After an arrow was clicked (the position has already moved).
    void clicked(bool up);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int minimum_;
    int maximum_;
    int position_;
    int pressed_ = 0;  // +1 upper arrow held, -1 lower, 0 none
};
