// The sixth page: the language box, the program's and the link library's versions, the program
// folder (opened with the desktop's file manager) and the event log file.
#pragma once

#include "ProgramPage.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace px {

class MainWindow;

class ProgramInfoPage : public ProgramPage {
public:
    explicit ProgramInfoPage(MainWindow& window);

    void AfterLoad() override;
    void AfterLanguage() override;
    // A language switch shows page 0 and relabels every control, the running operation's too.
    void SetHeld(bool held) override;
    QComboBox* LanguageBox() const { return comboLan_; }

private:
    void ShowFacts();

    MainWindow& window_;
    QComboBox* comboLan_;
    QLabel* labVersion_;
    QLabel* labLibrary_;
    QLabel* labFolder_;
    QPushButton* cmdOpenFolder_;
    QLabel* labLogFile_;
    bool filling_ = false;
};

} // namespace px
