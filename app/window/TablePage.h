// What the bell page and the In/Out page share: the grid, the column of command buttons with its
// handling, the transfers to and from the terminal (under the operation guard, with an hourglass
// and the grid held still, all restored however the handler ends) and the table files.
#pragma once

#include "ProgramPage.h"

#include <functional>
#include <initializer_list>
#include <vector>

class QPushButton;
class QVBoxLayout;

namespace px {

class TimeGrid;
class TimeTable;

class TablePage : public ProgramPage {
public:
    void Bind(Program& program) override;
    void SetHeld(bool held) override;

    TimeGrid* Grid() const { return grid_; }
    // The button of the control array with this index was clicked.
    void ButtonClicked(int index);

protected:
    enum class Command { Upload, Download, Save, Load, Clear, Disable, Duration };
    struct Button {
        Command command;
        const char* caption;
        const char* tip; // "" for none
        const char* tag;
    };
    // Where a page keeps its table files and how its file dialogs read.
    struct FilePlace {
        const char* what; // the table's name in event-log lines
        QString folder;
        QString name;    // offered by the save dialog
        QString filters; // of the open dialog
        QString saveTitle;
        QString loadTitle;
    };

    TablePage(const char* name, TimeGrid* grid);

    // The command buttons of the control array arrayName, in index order, in a column.
    QVBoxLayout* AddButtons(const char* arrayName, std::initializer_list<Button> buttons);
    // Controls besides the buttons that wait while an operation holds the link.
    void HoldAlso(QWidget* control) { alsoHeld_.push_back(control); }

    virtual TimeTable& Table() const = 0;
    virtual FilePlace Files() const = 0;
    // Commands only one page has (Disable, Duration).
    virtual void RunOwnCommand(Command command) { (void)command; }
    // Runs a transfer of the table: nothing while another operation holds the link or the page
    // is already busy. transfer runs with the grid disabled and the hourglass shown.
    void RunTransfer(const std::function<void()>& transfer);

private:
    void Upload();
    void SaveFile();
    void LoadFile();

    TimeGrid* grid_;
    std::vector<QPushButton*> buttons_;
    std::vector<Command> commands_;
    std::vector<QWidget*> alsoHeld_;
    bool busy_ = false;
};

} // namespace px
