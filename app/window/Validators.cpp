#include "Validators.h"

#include <QStringList>

namespace px {

QValidator::State Ipv4Validator::validate(QString& input, int&) const
{
    const QStringList parts = input.split('.');
    if (parts.size() > 4) return Invalid;
    bool complete = parts.size() == 4;
    for (const QString& part : parts) {
        if (part.size() > 3) return Invalid;
        for (QChar c : part)
            if (!c.isDigit() || c.unicode() > 127) return Invalid;
        if (part.isEmpty()) {
            complete = false;
            continue;
        }
        if (part.toInt() > 255) return Invalid;
    }
    return complete ? Acceptable : Intermediate;
}

QValidator::State CharValidator::validate(QString& input, int&) const
{
    for (QChar c : input)
        if (!accept_(c)) return Invalid;
    return Acceptable;
}

QValidator::State NumberValidator::validate(QString& input, int&) const
{
    if (input.isEmpty()) return Intermediate;
    for (QChar c : input)
        if (c < '0' || c > '9') return Invalid;
    // Leading zeros are allowed while typing; the change handler writes the plain number.
    bool ok = false;
    const qlonglong value = input.size() > 12 ? -1 : input.toLongLong(&ok);
    return ok && value >= 0 && value <= maximum_ ? Acceptable : Invalid;
}

} // namespace px
