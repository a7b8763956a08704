// Draws a file list's progress cell ("37%", "100%") as a progress bar with the percentage written in it; a
// cell without a percentage is drawn as plain text. A time left given in the cell's TimeLeftRole is written
// beside a shorter bar.
#pragma once

#include <QStyledItemDelegate>

namespace kv::app {

class TProgressDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* Painter, const QStyleOptionViewItem& Option, const QModelIndex& Index) const override;

    // The percentage a cell's text shows (0 to 100), or -1 when it shows none.
    static int PercentOf(const QString& Text);
    // The cell's time left ("剩余 2:05"), kept apart from its percentage.
    static constexpr int TimeLeftRole = Qt::UserRole + 1;
};

}  // namespace kv::app
