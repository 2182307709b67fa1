#include "DialogBase.h"

#include "ApplyLanguage.h"
#include "Controls.h"

#include <QHBoxLayout>
#include <QPushButton>

namespace px {

DialogBase::DialogBase(QWidget* owner, const char* name, const char* caption, const char* tag)
    : QDialog(owner)
{
    Named(this, name);
    setWindowTitle(QString::fromLatin1(caption));
    SetTag(this, tag);
    setModal(true);
}

QPushButton* DialogBase::Button(const char* name, int index, const char* caption, const char* tag)
{
    auto* button = Named(new QPushButton(QString::fromLatin1(caption)), name, index);
    SetTag(button, tag);
    button->setAutoDefault(false);
    return button;
}

QHBoxLayout* DialogBase::ButtonRow(std::initializer_list<QPushButton*> buttons)
{
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    for (QPushButton* b : buttons)
        row->addWidget(b);
    return row;
}

void DialogBase::Translate(const Texts& texts)
{
    ApplyLanguage(this, texts);
}

} // namespace px
