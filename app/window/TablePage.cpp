#include "TablePage.h"

#include "Controls.h"
#include "Core.h"
#include "DesktopOpen.h"
#include "FileDialogs.h"
#include "OperationGuard.h"
#include "Program.h"
#include "TimeGrid.h"
#include "TimeTables.h"

#include <QDir>
#include <QPushButton>
#include <QVBoxLayout>

namespace px {

namespace {

// The hourglass, the grid held still and the busy flag, restored however the transfer ends.
class TableBusy {
public:
    TableBusy(Core& core, TimeGrid* grid, bool& busy) : core_(core), grid_(grid), busy_(busy)
    {
        busy_ = true;
        core_.SetWindowPointer(kPointerHourglass);
        grid_->HideEditors();
        grid_->setEnabled(false);
    }
    ~TableBusy()
    {
        grid_->setEnabled(true);
        core_.SetWindowPointer(kPointerDefault);
        busy_ = false;
    }
    TableBusy(const TableBusy&) = delete;
    TableBusy& operator=(const TableBusy&) = delete;

private:
    Core& core_;
    TimeGrid* grid_;
    bool& busy_;
};

} // namespace

TablePage::TablePage(const char* name, TimeGrid* grid) : ProgramPage(name), grid_(grid) {}

QVBoxLayout* TablePage::AddButtons(const char* arrayName, std::initializer_list<Button> buttons)
{
    auto* column = new QVBoxLayout;
    for (const Button& b : buttons) {
        const int index = static_cast<int>(buttons_.size());
        auto* button = Named(new QPushButton(QString::fromLatin1(b.caption)), arrayName, index);
        if (*b.tip) button->setToolTip(QString::fromLatin1(b.tip));
        SetTag(button, b.tag);
        column->addWidget(button);
        connect(button, &QPushButton::clicked, this, [this, index] { ButtonClicked(index); });
        buttons_.push_back(button);
        commands_.push_back(b.command);
    }
    return column;
}

void TablePage::Bind(Program& program)
{
    ProgramPage::Bind(program);
    grid_->Bind(Table());
}

void TablePage::SetHeld(bool held)
{
    for (QPushButton* b : buttons_)
        b->setEnabled(!held);
    for (QWidget* w : alsoHeld_)
        w->setEnabled(!held);
    // A transfer of this page keeps its grid disabled until it ends.
    if (!busy_) grid_->setEnabled(!held);
}

void TablePage::ButtonClicked(int index)
{
    if (!Bound() || index < 0 || index >= static_cast<int>(commands_.size())) return;
    const Command command = commands_[static_cast<std::size_t>(index)];
    switch (command) {
    case Command::Upload:
        Upload();
        break;
    case Command::Download:
        RunTransfer([this] { DownloadTable(core().session(), Table()); });
        break;
    case Command::Save:
        SaveFile();
        break;
    case Command::Load:
        LoadFile();
        break;
    case Command::Clear:
        grid_->HideEditors();
        Table().Clear();
        grid_->setCurrentCell(0, 1);
        break;
    default:
        RunOwnCommand(command);
        break;
    }
}

void TablePage::RunTransfer(const std::function<void()>& transfer)
{
    if (busy_) return;
    OperationGuard guard(core());
    if (!guard) return;
    TableBusy held(core(), grid_, busy_);
    transfer();
}

void TablePage::Upload()
{
    RunTransfer([this] {
        Table().Clear();
        UploadTable(core().session(), Table());
    });
    grid_->setCurrentCell(0, 1);
}

void TablePage::SaveFile()
{
    Core& c = core();
    const FilePlace place = Files();
    Table().SetAllGrey(false);
    QDir().mkpath(place.folder);
    const QString file =
        AskSaveFile(window(), place.saveTitle, place.folder, place.name, "text (*.txt)");
    if (file.isEmpty()) return;
    std::string error;
    if (!Table().Save(file.toStdString(), &error)) {
        c.view().MessageBox(c.GetText(3200, "The file could not be saved:") + " " + error,
                            Icon::Critical, "");
        return;
    }
    OpenWithDesktop(c, file.toStdString());
}

void TablePage::LoadFile()
{
    Core& c = core();
    const FilePlace place = Files();
    QDir().mkpath(place.folder);
    const QString file = AskOpenFile(window(), place.loadTitle, place.folder, place.filters);
    if (file.isEmpty()) return;
    grid_->HideEditors();
    const int invalid = Table().Load(file.toStdString());
    if (invalid < 0) {
        c.view().MessageBox(c.GetText(3201, "The file cannot be read:") + " " + file.toStdString(),
                            Icon::Critical, "");
        return;
    }
    if (invalid > 0)
        c.eventLog().WriteLog(std::string(place.what) + " file " + file.toStdString() + ": " +
                                  std::to_string(invalid) +
                                  " line(s) held no valid time; their rows were left empty",
                              false);
    grid_->setCurrentCell(0, 2);
}

} // namespace px
