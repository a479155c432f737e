#include "dialogs/error_list.h"

#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <cstring>

#include "app/record/cp1251.h"
#include "app/record/record_lock.h"
#include "dialogs/dialog_helpers.h"
#include "dialogs/input_block.h"
#include "dialogs/status_icon_delegate.h"
#include "dialogs/trouble_code_list.h"

namespace {

constexpr int kColumnWidths[6] = {52, 16, 16, 16, 16, 436};
constexpr int kRowHeight = 15;
constexpr int kDescriptionColumn = 5;

QTableWidgetItem* cell(QTableWidget* grid, int row, int column) {
    QTableWidgetItem* item = grid->item(row, column);
    if (!item) {
        item = new QTableWidgetItem();
        item->setFlags(Qt::ItemIsEnabled);
        grid->setItem(row, column, item);
    }
    return item;
}

}  // namespace

TForm4::TForm4(m797::LiveRecord& record, QWidget* mainWindow)
    : QDialog(nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), record_(record), mainWindow_(mainWindow) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Ошибки"));
    setFont(m797::dialogs::windowFont());
    m797::dialogs::fixAndCentre(this, 608, 365);
    buildGrid();
    buildLegend();
    buildCommandRow();
    Timer1 = new QTimer(this);
    connect(Timer1, &QTimer::timeout, this, &TForm4::Timer1Timer);
    Timer1->start(500);
    // The last stored answer is on show at once, not only after the first tick.
    Timer1Timer();
    show();
}

void TForm4::buildGrid() {
    QFrame* panel1 = m797::dialogs::bevelledPanel(this, {5, 5, 596, 249});
    StringGrid1 = new QTableWidget(1, 6, panel1);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->setGeometry(8, 8, 577, 233);
    StringGrid1->setItemDelegate(new StatusIconDelegate(StringGrid1));
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->setSelectionMode(QAbstractItemView::NoSelection);
    StringGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    StringGrid1->verticalHeader()->hide();
    StringGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    // The header's minimum follows the font and would raise the rows above 15.
    StringGrid1->verticalHeader()->setMinimumSectionSize(kRowHeight);
    StringGrid1->verticalHeader()->setDefaultSectionSize(kRowHeight);
    QHeaderView* header = StringGrid1->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Fixed);
    header->setMinimumSectionSize(1);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (int c = 0; c < 6; ++c) StringGrid1->setColumnWidth(c, kColumnWidths[c]);
    StringGrid1->setHorizontalHeaderLabels({QStringLiteral("      Код"), QStringLiteral("1"), QStringLiteral("2"),
                                            QStringLiteral("3"), QStringLiteral("4"),
                                            QStringLiteral("   Наименование")});
}

void TForm4::buildLegend() {
    QFrame* panel3 = m797::dialogs::bevelledPanel(this, {5, 256, 596, 73});
    for (int i = 0; i < m797::kStatusIconCount; ++i) {
        const m797::LegendEntry& entry = m797::legendEntry(i);
        QFrame* frame = m797::dialogs::bevelledPanel(panel3, {entry.left, entry.top, 25, 25}, true);
        frame->setObjectName(QStringLiteral("LegendFrame%1").arg(i));
        auto* picture = new QLabel(frame);
        picture->setGeometry(2, 2, 21, 21);
        picture->setPixmap(StatusIconDelegate::icon(i));
        const QString caption = QString::fromStdString(m797::cp1251ToUtf8(entry.lines[0])) + QLatin1Char('\n') +
                                QString::fromStdString(m797::cp1251ToUtf8(entry.lines[1]));
        QLabel* text = m797::dialogs::labelAt(panel3, caption, entry.left + 28, entry.top);
        text->setObjectName(QStringLiteral("LegendCaption%1").arg(i));
    }
}

void TForm4::buildCommandRow() {
    SpeedButton1 = m797::dialogs::buttonAt(this, QStringLiteral("SpeedButton1"), QStringLiteral("Сброс"),
                                           {8, 336, 81, 22});
    QFrame* panel2 = m797::dialogs::bevelledPanel(this, {96, 336, 417, 22});
    Label1 = m797::dialogs::labelAt(panel2, QStringLiteral("Количество ошибок"), 128, 4);
    Label2 = m797::dialogs::labelAt(panel2, QStringLiteral("0"), 256, 4);
    Label2->setMinimumWidth(40);
    SpeedButton2 = m797::dialogs::buttonAt(this, QStringLiteral("SpeedButton2"), QStringLiteral("Выход"),
                                           {518, 336, 81, 22});
    connect(SpeedButton1, &QToolButton::clicked, this, &TForm4::SpeedButton1Click);
    connect(SpeedButton2, &QToolButton::clicked, this, &TForm4::SpeedButton2Click);
}

void TForm4::Timer1Timer() {
    {
        // One consistent snapshot: the count and the records of the same answer.
        const m797::RecordLock held(record_);
        std::memcpy(buffer_, record_.dtcResponse, sizeof buffer_);
        answer_ = record_.dtcAnswer;
        refusalCode_ = record_.dtcRefusalCode;
    }
    const bool listRead = answer_ == m797::TroubleCodeAnswer::Read || answer_ == m797::TroubleCodeAnswer::NotRead;
    if (listRead)
        showRows();
    else
        showNoList();
}

// A read that brought no checked list shows no rows, and why.
void TForm4::showNoList() {
    StringGrid1->setRowCount(0);
    Label1->setText(
        QString::fromStdString(m797::cp1251ToUtf8(m797::troubleCodeAnswerText(answer_, refusalCode_))));
    Label1->adjustSize();
    Label2->hide();
}

void TForm4::showRows() {
    const std::vector<m797::TroubleCodeRow> rows = m797::troubleCodeRows(buffer_);
    Label1->setText(QStringLiteral("Количество ошибок"));
    Label1->adjustSize();
    Label2->show();
    Label2->setText(QString::number(rows.size()));
    StringGrid1->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        const m797::TroubleCodeRow& row = rows[r];
        cell(StringGrid1, r, 0)->setText(QString::fromStdString(m797::cp1251ToUtf8(row.code)));
        for (int c = 0; c < 4; ++c) cell(StringGrid1, r, c + 1)->setData(kStatusIconRole, row.icons[c]);
        // A code the table does not know shows no text, never the text of
        // the code that stood in this row before.
        // A text longer than its column is cut with "…"; the tooltip shows it whole.
        const QString description = QString::fromStdString(m797::cp1251ToUtf8(row.description));
        QTableWidgetItem* item = cell(StringGrid1, r, kDescriptionColumn);
        item->setText(description);
        item->setToolTip(description);
    }
}

// The codes stay on show until the control unit has confirmed the clear: the
// thread then empties the answer, and the next reads show what it holds.
void TForm4::SpeedButton1Click() { record_.clearDtcRequest = 1; }

void TForm4::SpeedButton2Click() { close(); }

void TForm4::done(int result) {
    FormClose();
    QDialog::done(result);
}

void TForm4::FormClose() {
    if (closed_) return;
    closed_ = true;
    Timer1->stop();
    record_.readDtcRequest = 0;
    record_.clearDtcRequest = 0;  // a clear not yet sent must not go out after the list closed
    m797::dialogs::setInputBlocked(mainWindow_, false);
}
