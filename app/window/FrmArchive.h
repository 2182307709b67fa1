// The archive view, opened from the records page: the archived punches of a date range, one
// terminal or all, and card IDs containing a text, in a grid that fetches as it scrolls; Export
// writes them through an output type as the scheduled run would. It stays open beside the main
// window.
#pragma once

#include "DialogBase.h"

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace px {

class ArchiveModel;
class Program;
namespace archive {
struct PunchQuery;
}

class FrmArchive : public DialogBase {
public:
    FrmArchive(QWidget* owner, Program& program);

    // Shows the punches the filters select (the Show button).
    void Show();
    // Asks for a file and exports the punches the filters select (the Export button).
    void Export();

    ArchiveModel* Model() const { return model_; }

private:
    archive::PunchQuery Filter() const;
    void ShowState();
    void FillChoices();

    Program& program_;
    ArchiveModel* model_;
    QDateEdit* dtpFrom_;
    QDateEdit* dtpTo_;
    QComboBox* cboTerminal_;
    QLineEdit* txtCard_;
    QComboBox* cmbType_;
    QTableView* fgdArchive_;
    QLabel* labArchive_;
    bool sized_ = false;
    bool exporting_ = false;
};

} // namespace px
