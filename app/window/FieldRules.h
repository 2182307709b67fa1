// The rules of one text field in one place. Its text rule holds for every change, whatever makes
// it: keys, a paste, a program's or an assistive tool's "set text" (which no validator sees). Its
// leave rule runs on every way out: the focus moved by mouse or Tab, Enter, its page switched
// away, the window closing. A change made while nobody edits the field is left at once.
#pragma once

#include "Validators.h"

#include <QObject>

#include <functional>

class QLineEdit;

namespace px {

class FieldRules : public QObject {
public:
    // Puts rules on a field; they live as long as it does. Without keys the typed keys are judged
    // by the text rule itself; a field without a text rule (rule empty) has only a leave rule.
    static FieldRules* Install(QLineEdit* field, TextRule rule, QValidator* keys = nullptr);
    // The rules of a widget, or nullptr.
    static FieldRules* Of(QWidget* widget);
    // Leaves the field a window's keys go to, if it has rules: closing saves what they make of it.
    static void LeaveFocused(QWidget* window);
    // A button of the window pressed without the focus moving (an assistive tool's "press")
    // leaves the field being edited first, as a click would.
    static void LeaveBeforeButtons(QWidget* window);

    // After every change, with the text the rule kept.
    std::function<void(const QString&)> changed;
    // The field was left.
    std::function<void()> left;

    void Leave();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    FieldRules(QLineEdit* field, TextRule rule);
    void TextChanged(const QString& text);
    bool BeingEdited() const;

    QLineEdit* field_;
    TextRule rule_;
    bool leaving_ = false;
};

} // namespace px
