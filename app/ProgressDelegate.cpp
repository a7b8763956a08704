#include "app/ProgressDelegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyleOptionProgressBar>

namespace kv::app {

int TProgressDelegate::PercentOf(const QString& Text)
{
    if (!Text.endsWith(QLatin1Char('%')))
        return -1;
    bool ok = false;
    const int percent = Text.chopped(1).trimmed().toInt(&ok);
    if (!ok)
        return -1;
    return qBound(0, percent, 100);
}

void TProgressDelegate::paint(QPainter* Painter, const QStyleOptionViewItem& Option, const QModelIndex& Index) const
{
    const QString text = Index.data(Qt::DisplayRole).toString();
    const int percent = PercentOf(text);
    if (percent < 0) {
        QStyledItemDelegate::paint(Painter, Option, Index);
        return;
    }
    // The row's selection background first, then the bar inside the cell.
    QStyleOptionViewItem background = Option;
    initStyleOption(&background, Index);
    background.text.clear();
    const QWidget* widget = Option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, Painter, widget);

    // With a time left, the bar keeps room for "100%" and the time left is written beside it.
    const QString timeLeft = Index.data(TimeLeftRole).toString();
    QRect barRect = Option.rect.adjusted(2, 2, -2, -2);
    if (!timeLeft.isEmpty()) {
        const int barWidth = qMin(barRect.width(), Option.fontMetrics.horizontalAdvance(QStringLiteral("100%")) + 10);
        const QRect textRect = barRect.adjusted(barWidth + 3, 0, 0, 0);
        barRect.setWidth(barWidth);
        style->drawItemText(Painter, textRect, Qt::AlignLeft | Qt::AlignVCenter, Option.palette,
                            Option.state & QStyle::State_Enabled, timeLeft,
                            Option.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text);
    }

    QStyleOptionProgressBar bar;
    bar.rect = barRect;
    bar.minimum = 0;
    bar.maximum = 100;
    bar.progress = percent;
    bar.text = text;
    bar.textVisible = true;
    bar.textAlignment = Qt::AlignCenter;
    bar.state = QStyle::State_Enabled | QStyle::State_Horizontal;
    bar.palette = Option.palette;
    bar.fontMetrics = Option.fontMetrics;
    style->drawControl(QStyle::CE_ProgressBar, &bar, Painter, widget);
}

}  // namespace kv::app
