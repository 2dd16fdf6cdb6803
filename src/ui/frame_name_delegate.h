#pragma once
// Draws frame names (FrameDisplayName) cut short in their middle, so that a long video
// name keeps its frame number in sight; a name never asks for more than the view's width.

#include <QStyledItemDelegate>

class FrameNameDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
