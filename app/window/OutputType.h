// The output type list and the card-ID length box, which the records page and the save options
// both show: the same rules for each copy, and one value behind both.
#pragma once

#include <QString>

#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;

namespace px {

class Program;

// A card-ID length box: digits only, at most 99, whatever puts the text there; the plain number
// is stored and shown after every change, and leaving the box fixes an empty or too large one.
// program answers the bound program (nullptr when none); shared runs after the value changed.
void SetUpDigitalBox(QLineEdit* box, const std::function<Program*()>& program,
                     const std::function<void()>& shared);
// Shows the program's output types and the selected one; the length box and its label are
// usable only with "(Default)".
void ShowOutputType(Program& program, QComboBox* types, QLineEdit* digital, QLabel* label);
// A type chosen in a list.
void ChooseOutputType(Program& program, int index);

} // namespace px
