#include "frame_name_delegate.h"

#include "shown_name.h"

#include <QApplication>
#include <QStyle>

void FrameNameDelegate::initStyleOption(QStyleOptionViewItem* option,
                                        const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    if (!(option->features & QStyleOptionViewItem::HasDisplay)) return;
    const QStyle* style = option->widget ? option->widget->style() : QApplication::style();
    // The room the style leaves the text: the cell less its margins and any decoration.
    const int margin =
        style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, option->widget) + 1;
    QStyleOptionViewItem measured = *option;
    const QRect text =
        style->subElementRect(QStyle::SE_ItemViewItemText, &measured, option->widget);
    const int width = (text.isValid() ? text.width() : option->rect.width()) - 2 * margin;
    const QFontMetrics& metrics = option->fontMetrics;
    option->text = framesifter::ElideFrameName(
        option->text, width, [&](const QString& s) { return metrics.horizontalAdvance(s); });
    option->textElideMode = Qt::ElideNone;
}
