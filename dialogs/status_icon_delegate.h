#pragma once
// Paints the status icon kept in a grid cell (the icon number under
// kStatusIconRole) scaled into the whole cell, so the icon belongs to its
// cell and survives every repaint until the cell is given another.

#include <QPixmap>
#include <QStyledItemDelegate>

constexpr int kStatusIconRole = Qt::UserRole + 1;

class StatusIconDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit StatusIconDelegate(QObject* parent = nullptr);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The 21x21 picture of status icon 0..9 (a null pixmap outside that range).
    static QPixmap icon(int number);
};
