#pragma once
// Draws frame names (FrameDisplayName) cut short in their middle, so that a long video
// name keeps its frame number in sight.

#include <QStyledItemDelegate>

class FrameNameDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};
