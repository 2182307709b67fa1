#include "RecordsPage.h"

#include "AccessibleNames.h"
#include "Controls.h"
#include "DesktopOpen.h"
#include "FileDialogs.h"
#include "FrmArchive.h"
#include "FrmData.h"
#include "OperationGuard.h"
#include "OutputType.h"
#include "Program.h"
#include "RecordCommands.h"
#include "RecordModel.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace px {

namespace {

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

} // namespace

RecordsPage::RecordsPage() : ProgramPage("SSTab_3")
{
    fgdRecord_ = Named(new QTableView, "fgdRecord");
    fgdRecord_->setSelectionBehavior(QAbstractItemView::SelectColumns);
    fgdRecord_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    fgdRecord_->horizontalHeader()->setStretchLastSection(true);
    fgdRecord_->verticalHeader()->hide();
    NameByText(fgdRecord_, 3205, "Records");
    pgbRecord_ = Named(new QProgressBar, "pgbRecord");
    pgbRecord_->setRange(0, 1);
    pgbRecord_->setValue(0);
    NameByText(pgbRecord_, 3206, "Upload progress");
    labCount_ = Named(new QLabel("0/0"), "labCount");

    struct Button {
        const char *name, *caption, *tip, *tag;
        int index;
    };
    const Button buttons[] = {
        {"cmdRecord", "Upload", "Upload record", "408,409", 0},
        {"cmdRecord", "Save", "Save record to file", "306,307", 1},
        {"cmdRecord", "Load", "Load record from file", "417,418", 2},
    };
    auto* column = new QVBoxLayout;
    for (const Button& b : buttons) {
        auto* button = Named(new QPushButton(b.caption), b.name, b.index);
        button->setToolTip(b.tip);
        SetTag(button, b.tag);
        cmdRecord_[static_cast<std::size_t>(b.index)] = button;
        column->addWidget(button);
    }
    fdgCmd_[0] = Named(new QPushButton("Sort Asc."), "fdgCmd", 0);
    fdgCmd_[0]->setToolTip("Sort ascending");
    SetTag(fdgCmd_[0], "412,413");
    fdgCmd_[1] = Named(new QPushButton("Sort Des."), "fdgCmd", 1);
    fdgCmd_[1]->setToolTip("Sort descending");
    SetTag(fdgCmd_[1], "414,415");
    cmdData_ = Named(new QPushButton("DataBase"), "CmdData");
    cmdData_->setToolTip("Initialize or recover database");
    SetTag(cmdData_, "406,407");
    cmdArchive_ = Named(new QPushButton("Archive"), "cmdOpenArchive");
    cmdArchive_->setToolTip("Look up archived punches and export them again");
    SetTag(cmdArchive_, "3150,3151");
    for (QPushButton* b : {fdgCmd_[0], fdgCmd_[1], cmdData_, cmdArchive_})
        column->addWidget(b);

    cmbType_ = Named(new QComboBox, "cmbType");
    txtDigital_ = Named(new QLineEdit, "txtDigital");
    SetUpDigitalBox(
        txtDigital_, [this] { return Bound() ? &program() : nullptr; },
        [this] {
            if (onShared) onShared();
        });
    lblDisp_ = BuddyLabel("Digital setting", txtDigital_, "lblDisp", "3120");
    column->addSpacing(12);
    column->addWidget(BuddyLabel("Output type:", cmbType_, "labType", "3121"));
    column->addWidget(cmbType_);
    column->addWidget(lblDisp_);
    column->addWidget(txtDigital_);
    column->addStretch(1);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(pgbRecord_, 1);
    bottom->addWidget(labCount_);
    auto* left = new QVBoxLayout;
    left->addWidget(fgdRecord_, 1);
    left->addLayout(bottom);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(column);

    ConnectCommands();
}

void RecordsPage::ConnectCommands()
{
    connect(cmdRecord_[0], &QPushButton::clicked, this, [this] {
        if (!Bound()) return;
        // A running upload holds the link; this same button then stops it.
        if (core().session().state().bUploading) {
            UploadButton(core().session(), core().Records());
            return;
        }
        OperationGuard guard(core());
        if (guard) UploadButton(core().session(), core().Records());
    });
    connect(cmdRecord_[1], &QPushButton::clicked, this, [this] {
        OperationGuard guard(core());
        if (guard) SaveButton(core().session(), core().Records());
    });
    connect(cmdRecord_[2], &QPushButton::clicked, this, &RecordsPage::Load);
    connect(fdgCmd_[0], &QPushButton::clicked, this, [this] { Sort(true); });
    connect(fdgCmd_[1], &QPushButton::clicked, this, [this] { Sort(false); });
    connect(cmdData_, &QPushButton::clicked, this, [this] {
        OperationGuard guard(core());
        if (!guard) return;
        FrmData dialog(window(), core());
        dialog.exec();
    });
    // The archive view stays open beside the window once opened.
    connect(cmdArchive_, &QPushButton::clicked, this, [this] {
        if (!Bound()) return;
        if (!archive_) archive_ = new FrmArchive(window(), program());
        archive_->show();
        archive_->raise();
        archive_->activateWindow();
    });
    connect(cmbType_, &QComboBox::activated, this, [this](int index) {
        if (!Bound()) return;
        ChooseOutputType(program(), index);
        ShowOutputType();
        if (onShared) onShared();
    });
}

void RecordsPage::Bind(Program& program)
{
    ProgramPage::Bind(program);
    model_ = new RecordModel(core().recordGrid(), this);
    fgdRecord_->setModel(model_);
    // Appended rows are shown in batches: a row per record would make the view and the
    // accessibility tree do per-record work while thousands arrive.
    syncTimer_ = new QTimer(this);
    syncTimer_->setSingleShot(true);
    syncTimer_->setInterval(100);
    connect(syncTimer_, &QTimer::timeout, this, [this] {
        if (model_) model_->Sync();
        ShowPendingProgress();
    });
    core().recordGrid().changed = [this] {
        if (!model_) return;
        if (model_->IsAppend()) {
            if (!syncTimer_->isActive()) syncTimer_->start();
        } else {
            syncTimer_->stop();
            model_->Sync();
        }
    };
}

void RecordsPage::Unbind()
{
    // The model reads the program's rows: a paint after the program has gone would read freed
    // memory.
    if (Bound()) core().recordGrid().changed = nullptr;
    fgdRecord_->setModel(nullptr);
    delete model_;
    model_ = nullptr;
    ProgramPage::Unbind();
}

void RecordsPage::AfterLoad()
{
    ShowOutputType();
}

void RecordsPage::AfterLanguage()
{
    if (!Bound()) return;
    const Core& c = core();
    model_->SetHeaders({Q(c.GetText(401, "No.")), Q(c.GetText(402, "Card ID")),
                        Q(c.GetText(403, "Event")), Q(c.GetText(404, "Date")),
                        Q(c.GetText(405, "Time"))});
    SetUploadRunning(uploading_); // the caption follows the state, never the reverse
}

void RecordsPage::ShowOutputType()
{
    if (Bound()) px::ShowOutputType(program(), cmbType_, txtDigital_, lblDisp_);
}

void RecordsPage::Sort(bool ascending)
{
    if (!Bound()) return;
    // The selected columns, or the current cell's column.
    int first = fgdRecord_->currentIndex().isValid() ? fgdRecord_->currentIndex().column() : 0;
    int last = first;
    const auto columns = fgdRecord_->selectionModel()->selectedColumns();
    if (!columns.isEmpty()) {
        first = 4;
        last = 0;
        for (const QModelIndex& c : columns) {
            first = std::min(first, c.column());
            last = std::max(last, c.column());
        }
    }
    const QModelIndex current = fgdRecord_->currentIndex();
    core().recordGrid().Sort(first, last, ascending);
    // A sort shows the grid anew; the grid keeps its cell and its selected columns, so the next
    // sort works on the same columns.
    const int rows = model_->rowCount();
    if (rows == 0) return;
    QItemSelectionModel* selection = fgdRecord_->selectionModel();
    if (current.isValid())
        selection->setCurrentIndex(
            model_->index(std::min(current.row(), rows - 1), current.column()),
            QItemSelectionModel::NoUpdate);
    if (!columns.isEmpty())
        selection->select(QItemSelection(model_->index(0, first), model_->index(rows - 1, last)),
                          QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Columns);
}

void RecordsPage::Load()
{
    if (!Bound()) return;
    const QString file = AskOpenFile(window(), Q(core().GetText(418, "Load record from file")),
                                     Q(core().options().savePath), "Text (*.txt);;Backup (*.bak)");
    if (!file.isEmpty()) OpenWithDesktop(core(), file.toStdString());
}

void RecordsPage::SetProgress(int value, int maximum)
{
    progress_ = {value, maximum};
    if (uploading_ && syncTimer_) {
        // Each record moves the bar and the label: during an upload they follow the rows' batches.
        progressPending_ = true;
        if (!syncTimer_->isActive()) syncTimer_->start();
        return;
    }
    pgbRecord_->setRange(0, std::max(maximum, 1));
    pgbRecord_->setValue(std::clamp(value, 0, std::max(maximum, 1)));
}

void RecordsPage::SetCountLabel(const QString& text)
{
    count_ = text;
    if (uploading_ && syncTimer_) {
        countPending_ = true;
        if (!syncTimer_->isActive()) syncTimer_->start();
        return;
    }
    labCount_->setText(text);
}

void RecordsPage::ShowPendingProgress()
{
    if (progressPending_) {
        progressPending_ = false;
        pgbRecord_->setRange(0, std::max(progress_.second, 1));
        pgbRecord_->setValue(std::clamp(progress_.first, 0, std::max(progress_.second, 1)));
    }
    if (countPending_) {
        countPending_ = false;
        labCount_->setText(count_);
    }
}

void RecordsPage::SetUploadRunning(bool running)
{
    uploading_ = running;
    if (!running && model_) model_->Sync(); // the last rows show at once
    if (!running) ShowPendingProgress();
    if (Bound())
        cmdRecord_[0]->setText(running ? Q(core().GetText(603, "Stop"))
                                       : Q(core().GetText(408, "Upload")));
    ApplyEnabled();
}

void RecordsPage::SetRecordControlsEnabled(bool enabled)
{
    controls_ = enabled;
    ApplyEnabled();
}

void RecordsPage::SetHeld(bool held)
{
    held_ = held;
    ApplyEnabled();
}

void RecordsPage::ApplyEnabled()
{
    // The upload's own button stays usable while it runs: it is the way to stop it.
    cmdRecord_[0]->setEnabled(uploading_ || !held_);
    const bool free = controls_ && !held_;
    for (QWidget* w : {static_cast<QWidget*>(cmdRecord_[1]), static_cast<QWidget*>(cmdRecord_[2]),
                       static_cast<QWidget*>(fdgCmd_[0]), static_cast<QWidget*>(fdgCmd_[1]),
                       static_cast<QWidget*>(cmdData_)})
        w->setEnabled(free);
}

} // namespace px
