// Input rules of the window's text fields, as validators so that they hold for typed, pasted and
// accessibility-set text alike.
#pragma once

#include <QValidator>

#include <functional>

namespace px {

// A dotted IPv4 address: four numbers 0..255. Partial input is intermediate.
class Ipv4Validator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;
};

// Text whose every character passes a test, up to a length (names without commas, digits).
class CharValidator : public QValidator {
public:
    CharValidator(std::function<bool(QChar)> accept, QObject* parent)
        : QValidator(parent), accept_(std::move(accept))
    {
    }
    State validate(QString& input, int& pos) const override;

private:
    std::function<bool(QChar)> accept_;
};

// Digits up to a maximum value (a TCP port: 65535; a card-ID length: 99). Empty is intermediate.
class NumberValidator : public QValidator {
public:
    NumberValidator(long maximum, QObject* parent) : QValidator(parent), maximum_(maximum) {}
    State validate(QString& input, int& pos) const override;

private:
    long maximum_;
};

} // namespace px
