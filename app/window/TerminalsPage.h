// Page 0: the terminal directory with its edit fields, the double-click that opens a terminal,
// the device command buttons and the record-mode options. The directory model holds every rule;
// the page shows it and hands each edit to it.
#pragma once

#include "ProgramPage.h"

#include <array>

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QVBoxLayout;

namespace px {

class TerminalsPage : public ProgramPage {
public:
    TerminalsPage();

    void Bind(Program& program) override;
    void AfterLoad() override;
    void SetHeld(bool held) override;

    // View
    void SetListEnabled(bool enabled);
    void SetDeviceButtonsEnabled(bool enabled);
    void ShowRecordMode(int mode);
    void SetRecordModeOptionsEnabled(bool basic, bool schedule, bool scheduleKnown);

    // Shows the directory model again: list lines, selection and edit fields.
    void Refresh();

private:
    void BuildFields();
    void BuildCommands();
    void OpenTerminalAt(int row);
    void NameEdited(const QString& text);
    void AddressEdited(const QString& text);
    void AddressLeft();
    void PortEdited(const QString& text);
    void ButtonClicked(int index);
    void ApplyEnabled();

    QListWidget* lstDevice_;
    std::array<QPushButton*, 2> cmdList_{};
    QLineEdit* txtName_;
    QComboBox* cboComm_;
    QLineEdit* txtIAddr_;
    QLineEdit* txtiPort_;
    std::array<QPushButton*, 6> cmdPX700_{};
    QGroupBox* frameModeoptMode_;
    std::array<QRadioButton*, 4> optMode_{};
    QButtonGroup* modeGroup_;
    QVBoxLayout* rightColumn_ = nullptr;

    bool syncing_ = false; // the widgets are being set from the model
    bool held_ = false;
    bool listEnabled_ = true;
    bool buttonsEnabled_ = false;
    bool optionsEnabled_ = false;
    bool scheduleEnabled_ = false;
};

} // namespace px
