// The output type list and the card-ID length box, which the records page and the save options
// both show: the same rules for each copy, and one value behind both.
#pragma once

#include <QString>

class QComboBox;
class QLabel;
class QLineEdit;

namespace px {

class Program;

// A card-ID length box: digits only, at most 99, for typed and pasted text alike.
void SetUpDigitalBox(QLineEdit* box);
// Shows the program's output types and the selected one; the length box and its label are
// usable only with "(Default)".
void ShowOutputType(Program& program, QComboBox* types, QLineEdit* digital, QLabel* label);
// A type chosen in a list.
void ChooseOutputType(Program& program, int index);
// The length box changed: the plain number it stands for is stored and shown.
QString DigitalEdited(Program& program, const QString& text);
// The length box lost the focus: empty becomes 14, above 99 becomes 99.
QString DigitalLeft(Program& program, const QString& text);

} // namespace px
