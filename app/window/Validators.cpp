#include "Validators.h"

#include <QStringList>

namespace px {

TextRule KeepChars(std::function<bool(QChar)> accept)
{
    return [accept = std::move(accept)](const QString& text) {
        QString kept;
        kept.reserve(text.size());
        for (QChar c : text)
            if (accept(c)) kept += c;
        return kept;
    };
}

TextRule KeepNumber(long maximum)
{
    return [maximum](const QString& text) {
        QString digits;
        for (QChar c : text)
            if (c >= '0' && c <= '9') digits += c;
        // Leading zeros do not count towards the value's size.
        qsizetype first = 0;
        while (first < digits.size() && digits[first] == '0')
            ++first;
        const bool huge = digits.size() - first > 12;
        if (huge || digits.mid(first).toLongLong() > maximum) return QString::number(maximum);
        return digits;
    };
}

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

QValidator::State RuleValidator::validate(QString& input, int&) const
{
    return rule_(input) == input ? Acceptable : Invalid;
}

} // namespace px
