#include "frame_name_delegate.h"

#include "shown_name.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QStyle>

#include <algorithm>

namespace {

// The width of the view's visible area, or of the cell in any other widget.
int VisibleRight(const QStyleOptionViewItem& option) {
    const auto* view = qobject_cast<const QAbstractItemView*>(option.widget);
    return view ? std::min(option.rect.right(), view->viewport()->width() - 1)
                : option.rect.right();
}

}  // namespace

void FrameNameDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QWidget* widget = option.widget;
    const QStyle* style = widget ? widget->style() : QApplication::style();
    // The room the style leaves the text: the visible cell less its margins and decoration.
    QStyleOptionViewItem visible = item;
    visible.rect.setRight(VisibleRight(option));
    const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &visible, widget);
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const QFontMetrics& metrics = item.fontMetrics;
    item.text =
        framesifter::ElideFrameName(item.text, text.width() - 2 * margin,
                                    [&](const QString& s) { return metrics.horizontalAdvance(s); });
    item.textElideMode = Qt::ElideNone;
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);
}

QSize FrameNameDelegate::sizeHint(const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    // No sideways scrolling: a long name is cut in its middle instead.
    if (const auto* view = qobject_cast<const QAbstractItemView*>(option.widget))
        size.setWidth(std::min(size.width(), view->viewport()->width()));
    return size;
}
