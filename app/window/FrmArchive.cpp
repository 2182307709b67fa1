#include "FrmArchive.h"

#include "Archive.h"
#include "ArchiveActions.h"
#include "ArchiveModel.h"
#include "Controls.h"
#include "FileDialogs.h"
#include "Program.h"

#include <QComboBox>
#include <QDate>
#include <QDateEdit>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace px {

namespace {

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

QDateEdit* DateBox(const char* name, const QDate& date)
{
    auto* box = Named(new QDateEdit(date), name);
    box->setDisplayFormat("yyyy-MM-dd");
    box->setCalendarPopup(true);
    return box;
}

} // namespace

FrmArchive::FrmArchive(QWidget* owner, Program& program)
    : DialogBase(owner, "frmArchive", "Punch archive", "3152"), program_(program)
{
    setModal(false);
    Core& core = program.core();
    const auto& config = core.archive().Config();
    model_ = new ArchiveModel(config.target, config.targetError, this);
    const QDate today = QDate::currentDate();
    dtpFrom_ = DateBox("dtpArchiveFrom", QDate(today.year(), today.month(), 1));
    dtpTo_ = DateBox("dtpArchiveTo", today);
    cboTerminal_ = Named(new QComboBox, "cboArchiveTerminal");
    txtCard_ = Named(new QLineEdit, "txtArchiveCard");
    cmbType_ = Named(new QComboBox, "cmbArchiveType");
    fgdArchive_ = Named(new QTableView, "fgdArchive");
    fgdArchive_->setModel(model_);
    fgdArchive_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    fgdArchive_->setSelectionBehavior(QAbstractItemView::SelectRows);
    fgdArchive_->horizontalHeader()->setStretchLastSection(true);
    fgdArchive_->verticalHeader()->hide();
    fgdArchive_->setWordWrap(false);
    labArchive_ = Named(new QLabel, "labArchive");

    auto* filters = new QGridLayout;
    filters->addWidget(BuddyLabel("From:", dtpFrom_, "labArchiveFrom", "3153"), 0, 0);
    filters->addWidget(dtpFrom_, 0, 1);
    filters->addWidget(BuddyLabel("To:", dtpTo_, "labArchiveTo", "3154"), 0, 2);
    filters->addWidget(dtpTo_, 0, 3);
    filters->addWidget(BuddyLabel("Terminal:", cboTerminal_, "labArchiveTerminal", "3155"), 1, 0);
    filters->addWidget(cboTerminal_, 1, 1);
    filters->addWidget(BuddyLabel("Card ID:", txtCard_, "labArchiveCard", "3156"), 1, 2);
    filters->addWidget(txtCard_, 1, 3);
    QPushButton* show = Button("cmdArchive", 0, "Show", "3157");
    show->setDefault(true);
    filters->addWidget(show, 1, 4);
    filters->setColumnStretch(5, 1); // the boxes keep their size; the row's rest stays free

    QPushButton* exportButton = Button("cmdArchive", 1, "Export...", "3158");
    QPushButton* close = Button("cmdArchive", 2, "Close", "3168");
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(labArchive_, 1);
    bottom->addWidget(BuddyLabel("Output type:", cmbType_, "labArchiveType", "3121"));
    bottom->addWidget(cmbType_);
    bottom->addWidget(exportButton);
    bottom->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(fgdArchive_, 1);
    layout->addLayout(bottom);

    connect(show, &QPushButton::clicked, this, &FrmArchive::Show);
    connect(txtCard_, &QLineEdit::returnPressed, this, &FrmArchive::Show);
    connect(exportButton, &QPushButton::clicked, this, &FrmArchive::Export);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    model_->changed = [this] { ShowState(); };

    FillChoices();
    Translate(core.texts());
    model_->SetHeaders({Q(core.GetText(3161, "Terminal")), Q(core.GetText(3162, "No.")),
                        Q(core.GetText(3163, "Card ID")), Q(core.GetText(3164, "Event")),
                        Q(core.GetText(3165, "Punch time")),
                        Q(core.GetText(3166, "Downloaded (UTC)")), Q(core.GetText(3167, "PC"))});
    resize(760, 480);
    Show();
}

void FrmArchive::FillChoices()
{
    Core& core = program_.core();
    cboTerminal_->addItem(Q(core.GetText(3160, "(All)")), 0);
    const auto& lines = core.directory().Lines();
    for (std::size_t i = 1; i < lines.size(); ++i)
        cboTerminal_->addItem(Q(lines[i].text), lines[i].itemData);
    for (const auto& type : program_.formatTypes)
        cmbType_->addItem(Q(type));
    cmbType_->setCurrentIndex(program_.formatIndex);
}

archive::PunchQuery FrmArchive::Filter() const
{
    archive::PunchQuery q;
    q.from = dtpFrom_->date().toString("yyyy-MM-dd").toStdString();
    q.to = dtpTo_->date().toString("yyyy-MM-dd").toStdString();
    // A range given backwards means the same days.
    if (q.from > q.to) std::swap(q.from, q.to);
    if (const int id = cboTerminal_->currentData().toInt(); id > 0) q.terminal = id;
    q.card = txtCard_->text().trimmed().toStdString();
    return q;
}

void FrmArchive::Show()
{
    model_->SetQuery(Filter());
    ShowState();
}

void FrmArchive::ShowState()
{
    // The columns fit the first rows that arrive; later pages keep those widths.
    if (!sized_ && model_->rowCount() > 0) {
        sized_ = true;
        fgdArchive_->resizeColumnsToContents();
    }
    const Core& core = program_.core();
    const QString count = QString::number(model_->rowCount());
    if (!model_->Error().empty())
        labArchive_->setText(Q(core.GetText(3169, "The archive cannot be read:")) + " " +
                             Q(model_->Error()));
    else if (model_->Loading() && model_->rowCount() == 0)
        labArchive_->setText(Q(core.GetText(3170, "Reading the archive ...")));
    else if (model_->Complete())
        labArchive_->setText(count + " " + Q(core.GetText(3171, "punches")));
    else
        labArchive_->setText(count + "+ " + Q(core.GetText(3171, "punches")));
}

void FrmArchive::Export()
{
    // The export pumps the event loop while it runs: a second click must not start another.
    if (exporting_) return;
    struct Busy {
        FrmArchive& f;
        explicit Busy(FrmArchive& frm) : f(frm) { f.exporting_ = true; }
        ~Busy() { f.exporting_ = false; }
    } busy(*this);
    Core& core = program_.core();
    const archive::PunchQuery range = Filter();
    const QString path =
        AskSaveFile(this, {}, Q(core.options().savePath),
                    Q("punches-" + range.from + "-" + range.to + ".txt"), "Text (*.txt)");
    if (path.isEmpty()) return;
    long long lines = 0;
    std::string error;
    if (archive::ExportFromView(core, range, cmbType_->currentText().toStdString(),
                                path.toStdString(), &lines, &error))
        labArchive_->setText(QString::number(lines) + " " +
                             Q(core.GetText(3172, "punches exported to")) + " " + path);
    else
        core.view().MessageBox(core.GetText(3173, "The export failed:") + " " + error,
                               Icon::Critical, core.Title());
}

} // namespace px
