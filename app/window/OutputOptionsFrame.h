// "Save File Options": how the scheduled run names its output file and where it puts it, the
// output type and the card-ID length. Every edit goes straight into the program's options with
// the rules of its field.
#pragma once

#include <QGroupBox>

#include <array>
#include <functional>

class QButtonGroup;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace px {

class Program;

class OutputOptionsFrame : public QGroupBox {
public:
    OutputOptionsFrame();

    void Bind(Program* program) { program_ = program; }
    // Shows the options (after start-up, or after the other copy of the type and length changed).
    void ShowOptions();
    // A further row of the frame (the mail options live here too).
    void AddRow(QWidget* label, QWidget* field);
    // The output type or the card-ID length changed here.
    std::function<void()> onShared;

private:
    void NameChoiceChanged();
    void FixNameEdited(const QString& text);
    void DateNameEdited();
    void SavePathLeft();
    void ChangePath();

    Program* program_ = nullptr;
    QComboBox* cmbType2_;
    QLineEdit* txtDigital2_;
    QLabel* lblDisp2_;
    std::array<QRadioButton*, 2> optName_{};
    QButtonGroup* nameGroup_;
    QLineEdit* txtFixName_;
    QComboBox* cmbFileName_;
    QLineEdit* txtSubName_;
    QLineEdit* txtSavePath_;
    QPushButton* cmdChgPath_;
    bool showing_ = false;
    QGridLayout* grid_ = nullptr;
};

} // namespace px
