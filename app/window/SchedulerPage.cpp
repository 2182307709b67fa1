#include "SchedulerPage.h"

#include "AccessibleNames.h"
#include "Controls.h"
#include "DateFormat.h"
#include "FieldRules.h"
#include "Options.h"
#include "OutputOptionsFrame.h"
#include "Program.h"
#include "Scheduler.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTableWidget>
#include <QTextCursor>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace px {

namespace {

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

// The status view's two layout states: a few lines while stopped, the whole page while started.
constexpr int kShortStatus = 110;
constexpr int kHour = 1;
constexpr int kMinute = 2;

bool PlainCharacter(QChar c)
{
    return c.unicode() >= 32 && c.unicode() != 127;
}

} // namespace

SchedulerPage::SchedulerPage() : ProgramPage("SSTab_4")
{
    messageTimer_.setSingleShot(true);
    connect(&messageTimer_, &QTimer::timeout, this, &SchedulerPage::ShowMessageLine);
    BuildScheduler();
    BuildMail();
}

void SchedulerPage::BuildScheduler()
{
    cmdStart_ = Named(new QPushButton("Start"), "cmdStart");
    optTimeMode_[0] = Named(new QRadioButton("By Interval"), "optTimeMode", 0);
    optTimeMode_[1] = Named(new QRadioButton("By Table"), "optTimeMode", 1);
    SetTag(optTimeMode_[0], "3140");
    SetTag(optTimeMode_[1], "3141");
    dtpIntTime_ = Named(new QTimeEdit, "dtpIntTime");
    dtpIntTime_->setDisplayFormat("HH:mm:ss");
    BuildTable();
    chkSAT_ = Named(new QCheckBox("Set the terminal's clock after the download"), "chkSAT");
    SetTag(chkSAT_, "3143");
    txtTStatus_ = Named(new QPlainTextEdit, "txtTStatus");
    txtTStatus_->setReadOnly(true);
    txtTStatus_->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtTStatus_->setMaximumHeight(kShortStatus);
    NameByText(txtTStatus_, 3207, "Scheduler status");
    txtTStatus_->viewport()->installEventFilter(this);
    txtTStatus_->installEventFilter(this);
    txtMsg_ = Named(new QLineEdit, "txtMsg");
    txtMsg_->setReadOnly(true);
    NameByText(txtMsg_, 3208, "Progress");
    txtMsg_->hide();
    // The picker and the table are named by the options beside them (after the status pane
    // exists: the name's change passes the table's event filter, which looks at the pane).
    NameBy(dtpIntTime_, optTimeMode_[0]);
    NameBy(fgdTsTable_, optTimeMode_[1]);
    fraSettings_ = new OutputOptionsFrame;

    auto* interval = new QHBoxLayout;
    interval->addWidget(optTimeMode_[0]);
    interval->addWidget(dtpIntTime_);
    interval->addStretch(1);
    auto* left = new QVBoxLayout;
    left->addWidget(cmdStart_);
    left->addLayout(interval);
    left->addWidget(optTimeMode_[1]);
    left->addWidget(fgdTsTable_, 1);
    left->addWidget(chkSAT_);
    auto* right = new QVBoxLayout;
    right->addWidget(txtTStatus_, 1);
    right->addWidget(txtMsg_);
    right->addWidget(fraSettings_);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left);
    layout->addLayout(right, 2);
    // The up-down control follows the table it edits in the focus chain.
    setTabOrder(fgdTsTable_, udTsTable_);

    connect(cmdStart_, &QPushButton::clicked, this, [this] {
        if (Bound()) program().scheduler().StartStop();
    });
    connect(optTimeMode_[0], &QRadioButton::toggled, this, [this] { ModeChanged(); });
    connect(dtpIntTime_, &QTimeEdit::timeChanged, this, [this](QTime t) {
        if (showing_ || !Bound()) return;
        // An interval of no hours and no minutes would run all the time: one minute instead.
        if (t.hour() == 0 && t.minute() == 0) {
            t = QTime(0, 1, t.second());
            dtpIntTime_->setTime(t);
            return;
        }
        core().options().intervalSeconds = t.hour() * 3600 + t.minute() * 60 + t.second();
    });
    connect(chkSAT_, &QCheckBox::toggled, this, [this](bool on) {
        if (!showing_ && Bound()) core().options().sat = on;
    });
    connect(fgdTsTable_, &QTableWidget::currentCellChanged, this,
            [this](int row, int column) { EditCell(row, column); });
    connect(fgdTsTable_, &QTableWidget::cellClicked, this,
            [this](int row, int column) { EditCell(row, column); });
    connect(udTsTable_, &QSpinBox::valueChanged, this, &SchedulerPage::SpinChanged);
    connect(fgdTsTable_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        udTsTable_->hide();
        editRow_ = -1;
    });
}

void SchedulerPage::BuildTable()
{
    fgdTsTable_ = Named(new QTableWidget(Scheduler::kRows, 3), "fgdTsTable");
    fgdTsTable_->verticalHeader()->hide();
    fgdTsTable_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    fgdTsTable_->setSelectionMode(QAbstractItemView::SingleSelection);
    fgdTsTable_->horizontalHeader()->setStretchLastSection(true);
    for (int r = 0; r < Scheduler::kRows; ++r)
        for (int c = 0; c < 3; ++c) {
            auto* item = new QTableWidgetItem(c == 0 ? QString::number(r + 1) : QString());
            if (c == 0) item->setBackground(palette().button());
            fgdTsTable_->setItem(r, c, item);
        }
    fgdTsTable_->installEventFilter(this);
    // The up-down editor floats over the grid as a sibling, so the accessibility tree lists it.
    udTsTable_ = Named(new QSpinBox(this), "udTsTable");
    udTsTable_->setSpecialValueText("XX");
    udTsTable_->hide();
    udTsTable_->installEventFilter(this);
}

void SchedulerPage::BuildMail()
{
    chkMailTo_ = Named(new QCheckBox("Mail to"), "chkMailTo");
    SetTag(chkMailTo_, "3144");
    txtMailTo_ = Named(new QLineEdit, "txtMailTo");
    NameBy(txtMailTo_, chkMailTo_);
    txtSubject_ = Named(new QLineEdit, "txtSubject");
    // A line break in a recipient or subject would end the mail's header early.
    auto* mailToRules = FieldRules::Install(txtMailTo_, KeepChars(PlainCharacter));
    auto* subjectRules = FieldRules::Install(txtSubject_, KeepChars(PlainCharacter));
    fraSettings_->AddRow(chkMailTo_, txtMailTo_);
    fraSettings_->AddRow(BuddyLabel("Subject:", txtSubject_, "labSubject", "3145"), txtSubject_);

    connect(chkMailTo_, &QCheckBox::toggled, this, [this](bool on) {
        txtMailTo_->setEnabled(on);
        txtSubject_->setEnabled(on);
        if (!showing_ && Bound()) core().options().mailToChecked = on;
    });
    mailToRules->changed = [this](const QString& text) {
        if (!showing_ && Bound()) core().options().mailTo = text.toStdString();
    };
    subjectRules->changed = [this](const QString& text) {
        if (!Bound()) return;
        if (!showing_) core().options().mailSubject = text.toStdString();
        // The subject as the next mail would carry it.
        txtSubject_->setToolTip(Q(ExpandDate(text.toStdString(), "{Date#}", Now(), "Short Date")));
    };
}

void SchedulerPage::Bind(Program& program)
{
    ProgramPage::Bind(program);
    fraSettings_->Bind(&program);
}

void SchedulerPage::Unbind()
{
    ProgramPage::Unbind();
    fraSettings_->Bind(nullptr); // its fields may still be left while the window goes
}

void SchedulerPage::AfterLoad()
{
    const Options& o = core().options();
    showing_ = true;
    optTimeMode_[o.timeModeInterval ? 0 : 1]->setChecked(true);
    const int s = o.intervalSeconds;
    dtpIntTime_->setTime(QTime(s / 3600 % 24, s / 60 % 60, s % 60));
    chkSAT_->setChecked(o.sat);
    chkMailTo_->setChecked(o.mailToChecked);
    txtMailTo_->setEnabled(o.mailToChecked);
    txtSubject_->setEnabled(o.mailToChecked);
    txtMailTo_->setText(Q(o.mailTo));
    txtSubject_->setText(Q(o.mailSubject));
    showing_ = false;
    ShowTable();
    ModeChanged();
    fraSettings_->ShowOptions();
}

void SchedulerPage::AfterLanguage()
{
    if (!Bound()) return;
    const Core& c = core();
    fgdTsTable_->setHorizontalHeaderLabels(
        {Q(c.GetText(904, "No.")), Q(c.GetText(905, "Hour")), Q(c.GetText(906, "Minute"))});
    // The caption says what the button will do, from the scheduler's state.
    cmdStart_->setText(started_ ? Q(c.GetText(902, "Stop")) : Q(c.GetText(901, "Start")));
    if (editColumn_ > 0) NameUpDown();
    ShowTable();
}

void SchedulerPage::NameUpDown()
{
    // The up-down control is named by the column it edits.
    if (const QTableWidgetItem* header = fgdTsTable_->horizontalHeaderItem(editColumn_))
        udTsTable_->setAccessibleName(header->text());
}

void SchedulerPage::SetHeld(bool held)
{
    held_ = held;
    // A run started now would reopen the link under the operation. Stop stays: a started
    // scheduler must always be stoppable.
    cmdStart_->setEnabled(!held_ || started_);
}

void SchedulerPage::ShowTable()
{
    if (!Bound()) return;
    const auto& table = program().scheduler().table;
    for (int r = 0; r < Scheduler::kRows; ++r) {
        fgdTsTable_->item(r, kHour)->setText(Q(table[static_cast<std::size_t>(r)].hour));
        fgdTsTable_->item(r, kMinute)->setText(Q(table[static_cast<std::size_t>(r)].minute));
    }
}

void SchedulerPage::EditCell(int row, int column)
{
    udTsTable_->hide();
    editRow_ = editColumn_ = -1;
    if (!Bound() || row < 0 || (column != kHour && column != kMinute) || !fgdTsTable_->isEnabled())
        return;
    const auto& cell = program().scheduler().table[static_cast<std::size_t>(row)];
    const std::string text = column == kHour ? cell.hour : cell.minute;
    showing_ = true;
    udTsTable_->setRange(-1, column == kHour ? 24 : 60);
    udTsTable_->setValue(text == "XX" ? -1 : QString::fromStdString(text).toInt());
    showing_ = false;
    editRow_ = row;
    editColumn_ = column;
    NameUpDown();
    // At the right edge of the cell.
    const QRect r = fgdTsTable_->visualItemRect(fgdTsTable_->item(row, column));
    const int width = udTsTable_->sizeHint().width();
    const QPoint at = fgdTsTable_->viewport()->mapTo(this, QPoint(r.right() - width, r.top()));
    udTsTable_->setGeometry(at.x(), at.y(), width, r.height());
    udTsTable_->show();
    udTsTable_->raise();
}

void SchedulerPage::SpinChanged(int value)
{
    if (showing_ || !Bound() || editRow_ < 0 || !fgdTsTable_->isEnabled()) return;
    const int maximum = udTsTable_->maximum();
    if (value == maximum) { // wraps to 0
        showing_ = true;
        udTsTable_->setValue(0);
        showing_ = false;
    }
    auto& row = program().scheduler().table[static_cast<std::size_t>(editRow_)];
    (editColumn_ == kHour ? row.hour : row.minute) = Scheduler::CellFromValue(value, maximum);
    ShowTable();
}

void SchedulerPage::ModeChanged()
{
    const bool interval = optTimeMode_[0]->isChecked();
    if (!showing_ && Bound()) core().options().timeModeInterval = interval;
    if (started_) return;
    dtpIntTime_->setEnabled(interval);
    fgdTsTable_->setEnabled(!interval);
    if (interval) udTsTable_->hide();
}

bool SchedulerPage::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && (watched == fgdTsTable_ || watched == udTsTable_)) {
        // The table keeps Tab for moving between its cells: Enter or F2 on a cell goes to its
        // up-down control, Enter or Esc there back to the table.
        const int key = static_cast<QKeyEvent*>(event)->key();
        const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
        if (watched == fgdTsTable_ && (enter || key == Qt::Key_F2) && !udTsTable_->isHidden()) {
            udTsTable_->setFocus();
            return true;
        }
        if (watched == udTsTable_ && (enter || key == Qt::Key_Escape)) {
            fgdTsTable_->setFocus();
            return true;
        }
    }
    if (watched == fgdTsTable_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete && Bound()) {
        const int row = fgdTsTable_->currentRow();
        const int column = fgdTsTable_->currentColumn();
        if (row >= 0 && (column == kHour || column == kMinute)) {
            auto& cell = program().scheduler().table[static_cast<std::size_t>(row)];
            (column == kHour ? cell.hour : cell.minute) = "XX";
            ShowTable();
            EditCell(row, column);
        }
        return true;
    }
    if (watched == txtTStatus_->viewport() && event->type() == QEvent::MouseButtonDblClick &&
        Bound()) {
        core().eventLog().ClearText();
        core().view().SetMessageLine("");
        return true;
    }
    if ((watched == txtTStatus_->viewport() && event->type() == QEvent::MouseButtonPress) ||
        (watched == txtTStatus_ && event->type() == QEvent::FocusIn)) {
        if (Bound() && !txtMsg_->text().isEmpty()) core().view().SetMessageLine("");
    }
    return ProgramPage::eventFilter(watched, event);
}

void SchedulerPage::SetStatusLogText(const QString& text)
{
    ShowGrowingText(txtTStatus_, shownLog_, text);
}

void SchedulerPage::ScrollStatusToEnd()
{
    txtTStatus_->moveCursor(QTextCursor::End);
    txtTStatus_->verticalScrollBar()->setValue(txtTStatus_->verticalScrollBar()->maximum());
}

void SchedulerPage::SetMessageLine(const QString& text)
{
    message_ = text;
    const bool due = !messageShown_.isValid() || messageShown_.elapsed() >= kMessagePeriodMs;
    if (text.isEmpty() || due) {
        ShowMessageLine();
    } else if (!messageTimer_.isActive()) {
        messageTimer_.start(kMessagePeriodMs - static_cast<int>(messageShown_.elapsed()));
    }
}

void SchedulerPage::ShowMessageLine()
{
    messageTimer_.stop();
    messageShown_.start();
    txtMsg_->setText(message_);
    txtMsg_->setVisible(!message_.isEmpty());
}

void SchedulerPage::SchedulerStateChanged(bool started)
{
    started_ = started;
    SetHeld(held_);
    if (started) {
        fraSettings_->hide();
        txtTStatus_->setMaximumHeight(QWIDGETSIZE_MAX);
        for (QWidget* w :
             {static_cast<QWidget*>(optTimeMode_[0]), static_cast<QWidget*>(optTimeMode_[1]),
              static_cast<QWidget*>(dtpIntTime_), static_cast<QWidget*>(fgdTsTable_)})
            w->setEnabled(false);
        udTsTable_->hide();
        txtTStatus_->setFocus();
    } else {
        ApplyStopped();
    }
    AfterLanguage();
}

void SchedulerPage::ApplyStopped()
{
    fraSettings_->show();
    txtTStatus_->setMaximumHeight(kShortStatus);
    optTimeMode_[0]->setEnabled(true);
    optTimeMode_[1]->setEnabled(true);
    ModeChanged();
    ScrollStatusToEnd();
}

} // namespace px
