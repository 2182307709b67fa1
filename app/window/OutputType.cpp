#include "OutputType.h"

#include "OutputNames.h"
#include "Program.h"
#include "Validators.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>

namespace px {

void SetUpDigitalBox(QLineEdit* box)
{
    box->setValidator(new NumberValidator(99, box));
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

QString DigitalEdited(Program& program, const QString& text)
{
    Options& o = program.core().options();
    const std::string shown = px::DigitalChanged(text.toStdString(), &o.nIDLen);
    o.idLenText = shown;
    return QString::fromStdString(shown);
}

QString DigitalLeft(Program& program, const QString& text)
{
    const std::string shown = px::DigitalLeft(text.toStdString());
    return DigitalEdited(program, QString::fromStdString(shown));
}

} // namespace px
