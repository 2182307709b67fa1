#include "AccessibleNames.h"

#include "Texts.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QVariant>

namespace px {

namespace {

constexpr const char* kNameFrom = "pxNameFrom";
constexpr const char* kNameText = "pxNameText";

// A caption as a screen reader says it: without its mnemonic marks and line breaks.
QString Caption(const QWidget* source)
{
    QString text;
    if (const auto* label = qobject_cast<const QLabel*>(source))
        text = label->text();
    else if (const auto* button = qobject_cast<const QAbstractButton*>(source))
        text = button->text();
    else if (const auto* group = qobject_cast<const QGroupBox*>(source))
        text = group->title();
    text.replace(QLatin1String("&&"), QLatin1String("\x01"));
    text.remove('&');
    text.replace('\x01', '&');
    return text.simplified();
}

} // namespace

void NameBy(QWidget* control, QWidget* source)
{
    control->setProperty(kNameFrom, QVariant::fromValue(QPointer<QWidget>(source)));
    control->setAccessibleName(Caption(source));
}

void NameByText(QWidget* control, int number, const char* english)
{
    control->setProperty(kNameText, number);
    control->setAccessibleName(QString::fromUtf8(english));
}

void RefreshNames(QWidget* window, const Texts& texts)
{
    for (QWidget* control : window->findChildren<QWidget*>()) {
        const QVariant from = control->property(kNameFrom);
        if (from.isValid()) {
            if (QWidget* source = from.value<QPointer<QWidget>>())
                control->setAccessibleName(Caption(source));
            continue;
        }
        const int number = control->property(kNameText).toInt();
        if (number > 0)
            control->setAccessibleName(
                QString::fromStdString(texts.Get(number, control->accessibleName().toStdString())));
    }
}

} // namespace px
