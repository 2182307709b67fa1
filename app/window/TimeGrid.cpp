#include "TimeGrid.h"

#include "Controls.h"
#include "TimePicker.h"
#include "TimeTables.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>

namespace px {

namespace {

constexpr int kHour = 1;
constexpr int kMinute = 2;
constexpr int kDirection = 3;

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

} // namespace

TimeGrid::TimeGrid(const char* name, const char* pickerName, const char* listName, const char* tag,
                   const QStringList& headers)
    : QTableWidget(TimeTable::kRows, static_cast<int>(headers.size()))
{
    Named(this, name);
    SetTag(this, tag);
    setHorizontalHeaderLabels(headers);
    verticalHeader()->hide();
    horizontalHeader()->setStretchLastSection(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers); // the in-place editors do the editing
    for (int r = 0; r < rowCount(); ++r)
        for (int c = 0; c < columnCount(); ++c) {
            auto* item = new QTableWidgetItem(c == 0 ? Q(TimeTable::RowLabel(r)) : QString());
            if (c == 0) item->setBackground(palette().button());
            setItem(r, c, item);
        }

    // The editors float over the grid as its siblings: children of the grid's viewport would be
    // hidden from the accessibility tree, which lists only the cells there.
    picker_ = new TimePicker(pickerName, nullptr);
    picker_->hide();
    picker_->onEdited = [this] { PickerEdited(); };
    picker_->onFinished = [this](bool keep) {
        if (!keep && editRow_ >= 0 && table_) {
            TimeRow& row = table_->rows[static_cast<std::size_t>(editRow_)];
            row.hour = savedRow_.value(0).toStdString();
            row.minute = savedRow_.value(1).toStdString();
            row.direction = savedRow_.value(2).toStdString();
            ShowTable();
        }
        HideEditors();
        setFocus();
    };
    if (listName) {
        list_ = Named(new QComboBox, listName);
        list_->addItems({" I N", " O U T"});
        list_->hide();
        connect(list_, &QComboBox::activated, this, &TimeGrid::DirectionChosen);
    }
    connect(this, &QTableWidget::cellClicked, this,
            [this](int row, int column) { EditRow(row, column == kDirection); });
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget*, QWidget* now) { EditorFocusChanged(now); });
}

void TimeGrid::Bind(TimeTable& table)
{
    table_ = &table;
    table.changed = [this] { ShowTable(); };
    ShowTable();
}

void TimeGrid::ShowTable()
{
    if (!table_) return;
    showing_ = true;
    for (int r = 0; r < TimeTable::kRows; ++r) {
        const TimeRow& row = table_->rows[static_cast<std::size_t>(r)];
        const QString cells[] = {Q(row.hour), Q(row.minute), Q(row.direction)};
        for (int c = 1; c < columnCount(); ++c) {
            QTableWidgetItem* it = item(r, c);
            it->setText(cells[c - 1]);
            it->setForeground(row.grey ? QBrush(QColor(0x80, 0x80, 0x80)) : palette().text());
        }
    }
    showing_ = false;
}

void TimeGrid::EditRow(int row, bool onDirection)
{
    if (!table_ || row < 0 || row >= TimeTable::kRows || !isEnabled()) return;
    editRow_ = row;
    setCurrentCell(row, kHour);
    const TimeRow& r = table_->rows[static_cast<std::size_t>(row)];
    savedRow_ = {Q(r.hour), Q(r.minute), Q(r.direction)};
    picker_->ShowTime(Q(r.hour), Q(r.minute));
    PlaceEditors();
    picker_->show();
    if (list_) {
        list_->setEnabled(picker_->HasTime());
        list_->setCurrentIndex(Q(r.direction).toUpper() == "IN" ? 0 : 1);
        list_->show();
    }
    if (onDirection && list_ && list_->isEnabled()) {
        list_->setFocus();
    } else {
        picker_->FocusHour();
    }
}

void TimeGrid::HideEditors()
{
    editRow_ = -1;
    picker_->hide();
    if (list_) list_->hide();
}

TimeGrid::~TimeGrid()
{
    // The editors may not have found a parent yet.
    if (!picker_->parentWidget()) delete picker_;
    if (list_ && !list_->parentWidget()) delete list_;
}

void TimeGrid::PlaceEditors()
{
    if (editRow_ < 0 || !parentWidget()) return;
    QWidget* host = parentWidget();
    for (QWidget* editor : {static_cast<QWidget*>(picker_), static_cast<QWidget*>(list_)})
        if (editor && editor->parentWidget() != host) editor->setParent(host);
    // Over the hour and minute cells of the row, and the list over its direction cell.
    auto onHost = [&](const QRect& r) {
        return QRect(viewport()->mapTo(host, r.topLeft()), r.size());
    };
    const QRect hour = visualRect(model()->index(editRow_, kHour));
    const QRect minute = visualRect(model()->index(editRow_, kMinute));
    picker_->setGeometry(onHost(hour.united(minute)));
    picker_->raise();
    if (list_) {
        list_->setGeometry(onHost(visualRect(model()->index(editRow_, kDirection))));
        list_->raise();
    }
}

void TimeGrid::PickerEdited()
{
    if (!table_ || editRow_ < 0) return;
    TimeRow& row = table_->rows[static_cast<std::size_t>(editRow_)];
    if (picker_->HasTime()) {
        row.hour = picker_->Hour().toStdString();
        row.minute = picker_->Minute().toStdString();
    } else {
        row.hour.clear();
        row.minute.clear();
    }
    if (list_) {
        list_->setEnabled(picker_->HasTime());
        row.direction = !picker_->HasTime() ? "" : list_->currentIndex() == 0 ? "In" : "Out";
    }
    ShowTable();
}

void TimeGrid::DirectionChosen(int index)
{
    if (!table_ || editRow_ < 0 || !list_->isEnabled()) return;
    table_->rows[static_cast<std::size_t>(editRow_)].direction = index == 0 ? "In" : "Out";
    ShowTable();
}

void TimeGrid::EmptyRow(int row)
{
    if (!table_ || row < 0 || row >= TimeTable::kRows) return;
    TimeRow& r = table_->rows[static_cast<std::size_t>(row)];
    r.hour.clear();
    r.minute.clear();
    r.direction.clear();
    ShowTable();
}

void TimeGrid::EditorFocusChanged(QWidget* now)
{
    if (editRow_ < 0 || !now) return;
    // Leaving the editors hides them; moving between the picker and the list does not.
    for (QWidget* w = now; w; w = w->parentWidget())
        if (w == picker_ || w == list_) return;
    if (list_ && list_->view() && list_->view()->isAncestorOf(now)) return;
    HideEditors();
}

void TimeGrid::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_F2) {
        EditRow(currentRow(), currentColumn() == kDirection);
        return;
    }
    if (key == Qt::Key_Delete || key == Qt::Key_Backspace) {
        EmptyRow(currentRow());
        return;
    }
    QTableWidget::keyPressEvent(event);
}

void TimeGrid::scrollContentsBy(int dx, int dy)
{
    HideEditors();
    QTableWidget::scrollContentsBy(dx, dy);
}

void TimeGrid::resizeEvent(QResizeEvent* event)
{
    QTableWidget::resizeEvent(event);
    PlaceEditors();
}

} // namespace px
