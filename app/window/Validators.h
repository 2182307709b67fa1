// Input rules of the window's text fields: what a field may hold, as a function from any text to
// the text kept, and the validators that refuse a typed key breaking such a rule. FieldRules
// applies the same rule to every other change.
#pragma once

#include <QValidator>

#include <functional>

namespace px {

// From any text, the text a field may hold. Applied twice it gives the same text.
using TextRule = std::function<QString(const QString&)>;

// Drops the characters that accept refuses.
TextRule KeepChars(std::function<bool(QChar)> accept);
// Digits only, capped at maximum (a TCP port: 65535; a card-ID length: 99). Leading zeros stay:
// the field's change handler writes the plain number.
TextRule KeepNumber(long maximum);

// A dotted IPv4 address: four numbers 0..255. Partial input is intermediate.
class Ipv4Validator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;
};

// Typed text is accepted when the rule keeps it as it is.
class RuleValidator : public QValidator {
public:
    RuleValidator(TextRule rule, QObject* parent) : QValidator(parent), rule_(std::move(rule)) {}
    State validate(QString& input, int& pos) const override;

private:
    TextRule rule_;
};

} // namespace px
