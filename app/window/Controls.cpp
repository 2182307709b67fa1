#include "Controls.h"

#include <QLabel>
#include <QVariant>

namespace px {

void SetTag(QWidget* widget, const char* tag)
{
    widget->setProperty("tag", QString::fromLatin1(tag));
}

QLabel* BuddyLabel(const QString& text, QWidget* input, const char* name, const char* tag)
{
    auto* label = Named(new QLabel(text), name);
    label->setBuddy(input);
    if (tag) SetTag(label, tag);
    return label;
}

} // namespace px
