#include "up_down_spinner.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

#include <algorithm>

UpDownSpinner::UpDownSpinner(int minimum, int maximum, int position, QWidget* parent)
    : QWidget(parent), minimum_(minimum), maximum_(maximum), position_(position) {
    setFocusPolicy(Qt::StrongFocus);
}

void UpDownSpinner::setPosition(int position) {
    position_ = std::max(minimum_, std::min(maximum_, position));
    update();
}

void UpDownSpinner::step(bool up) {
    setPosition(position_ + (up ? 1 : -1));
    emit clicked(up);
}

void UpDownSpinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int half = height() / 2;
    const QRect halves[2] = {QRect(0, 0, width(), half), QRect(0, half, width(), height() - half)};
    for (int i = 0; i < 2; ++i) {
        QStyleOptionButton option;
        option.initFrom(this);
        option.rect = halves[i];
        const bool down = (i == 0 && pressed_ > 0) || (i == 1 && pressed_ < 0);
        option.state |= down ? QStyle::State_Sunken : QStyle::State_Raised;
        style()->drawPrimitive(QStyle::PE_PanelButtonBevel, &option, &painter, this);
        // A small solid triangle; the style's arrows do not fit a 9-pixel button.
        const QRect r = halves[i];
        const int cx = r.center().x();
        const int cy = r.top() + r.height() / 2;
        const bool canMove = i == 0 ? position_ < maximum_ : position_ > minimum_;
        painter.setPen(Qt::NoPen);
        painter.setBrush(palette().color(
            canMove && isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
        QPolygon arrow;
        if (i == 0)
            arrow << QPoint(cx - 2, cy + 1) << QPoint(cx + 3, cy + 1) << QPoint(cx, cy - 2);
        else
            arrow << QPoint(cx - 2, cy - 1) << QPoint(cx + 3, cy - 1) << QPoint(cx, cy + 2);
        painter.drawPolygon(arrow);
    }
}

void UpDownSpinner::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    pressed_ = event->position().y() < height() / 2 ? 1 : -1;
    update();
}

void UpDownSpinner::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || pressed_ == 0) return;
    const bool up = pressed_ > 0;
    pressed_ = 0;
    update();
    if (rect().contains(event->position().toPoint())) step(up);
}

void UpDownSpinner::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Up) {
        step(true);
    } else if (event->key() == Qt::Key_Down) {
        step(false);
    } else {
        QWidget::keyPressEvent(event);
    }
}
