#include "OutputType.h"

#include "FieldRules.h"
#include "OutputNames.h"
#include "Program.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>

namespace px {

namespace {

// The plain number a length text stands for is stored, and shown.
QString DigitalEdited(Program& program, const QString& text)
{
    Options& o = program.core().options();
    const std::string shown = px::DigitalChanged(text.toStdString(), &o.nIDLen);
    o.idLenText = shown;
    return QString::fromStdString(shown);
}

void ShowDigital(QLineEdit* box, const QString& text)
{
    if (box->text() == text) return;
    const QSignalBlocker quiet(box); // the program's own text keeps the rule
    box->setText(text);
    box->setCursorPosition(static_cast<int>(text.size()));
}

} // namespace

void SetUpDigitalBox(QLineEdit* box, const std::function<Program*()>& program,
                     const std::function<void()>& shared)
{
    auto* rules = FieldRules::Install(box, KeepNumber(99));
    rules->changed = [box, program, shared](const QString& text) {
        Program* p = program();
        if (!p) return;
        ShowDigital(box, DigitalEdited(*p, text));
        shared();
    };
    rules->left = [box, program, shared] {
        Program* p = program();
        if (!p) return;
        ShowDigital(box, DigitalEdited(*p, QString::fromStdString(
                                               px::DigitalLeft(box->text().toStdString()))));
        shared();
    };
}

void ShowOutputType(Program& program, QComboBox* types, QLineEdit* digital, QLabel* label)
{
    const QSignalBlocker blockTypes(types);
    const QSignalBlocker blockDigital(digital);
    if (types->count() != static_cast<int>(program.formatTypes.size())) {
        types->clear();
        for (const auto& type : program.formatTypes)
            types->addItem(QString::fromStdString(type));
    }
    types->setCurrentIndex(program.formatIndex);
    const QString text = QString::fromStdString(program.core().options().idLenText);
    if (digital->text() != text) digital->setText(text);
    const bool byLength = program.formatIndex == 0;
    digital->setEnabled(byLength);
    label->setEnabled(byLength);
}

void ChooseOutputType(Program& program, int index)
{
    if (index < 0 || index >= static_cast<int>(program.formatTypes.size())) return;
    program.formatIndex = index;
    program.core().options().format = program.formatTypes[static_cast<std::size_t>(index)];
}

} // namespace px
