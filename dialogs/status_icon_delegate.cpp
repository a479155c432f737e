#include "dialogs/status_icon_delegate.h"

#include <QPainter>
#include <array>

#include "dialogs/trouble_code_list.h"

// The pictures live in a static library's Qt resources; referencing their
// initialiser keeps them linked in (it must be named outside any namespace).
static void loadResources() { Q_INIT_RESOURCE(resources); }

StatusIconDelegate::StatusIconDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

QPixmap StatusIconDelegate::icon(int number) {
    static const std::array<QPixmap, m797::kStatusIconCount> pictures = [] {
        loadResources();
        std::array<QPixmap, m797::kStatusIconCount> p;
        for (int i = 0; i < m797::kStatusIconCount; ++i)
            p[i] = QPixmap(QStringLiteral(":/resources/status_icon_%1.png").arg(i));
        return p;
    }();
    if (number < 0 || number >= m797::kStatusIconCount) return {};
    return pictures[number];
}

void StatusIconDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    const QVariant number = index.data(kStatusIconRole);
    if (!number.isValid() || number.toInt() == m797::kNoIcon) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    painter->drawPixmap(option.rect, icon(number.toInt()));
}
