#include "FieldRules.h"

#include <QAbstractButton>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>

#include <algorithm>

namespace px {

FieldRules::FieldRules(QLineEdit* field, TextRule rule)
    : QObject(field), field_(field), rule_(std::move(rule))
{
    connect(field, &QLineEdit::textChanged, this, &FieldRules::TextChanged);
    field->installEventFilter(this);
}

FieldRules* FieldRules::Install(QLineEdit* field, TextRule rule, QValidator* keys)
{
    auto* rules = new FieldRules(field, rule);
    if (!keys && rule) keys = new RuleValidator(std::move(rule), field);
    if (keys) field->setValidator(keys);
    return rules;
}

FieldRules* FieldRules::Of(QWidget* widget)
{
    if (!widget) return nullptr;
    for (QObject* child : widget->children())
        if (auto* rules = dynamic_cast<FieldRules*>(child)) return rules;
    return nullptr;
}

void FieldRules::LeaveFocused(QWidget* window)
{
    if (FieldRules* rules = Of(window ? window->focusWidget() : nullptr)) rules->Leave();
}

void FieldRules::LeaveBeforeButtons(QWidget* window)
{
    // Pressed comes before the button's own handling of its click.
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>())
        connect(button, &QAbstractButton::pressed, button, [window] { LeaveFocused(window); });
}

void FieldRules::Leave()
{
    if (leaving_ || !left) return; // the leave rule's own change is not a second leave
    leaving_ = true;
    left();
    leaving_ = false;
}

void FieldRules::TextChanged(const QString& text)
{
    if (rule_) {
        const QString kept = rule_(text);
        if (kept != text) {
            // The corrected text comes back through here; the refused one goes no further.
            const int caret = static_cast<int>(
                std::min(rule_(text.left(field_->cursorPosition())).size(), kept.size()));
            field_->setText(kept);
            field_->setCursorPosition(caret);
            return;
        }
    }
    if (changed) changed(text);
    if (!BeingEdited()) Leave();
}

bool FieldRules::BeingEdited() const
{
    // The field the window's keys go to, even while another window is active.
    return field_->window()->focusWidget() == field_;
}

bool FieldRules::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != field_) return false;
    switch (event->type()) {
    case QEvent::FocusOut: {
        // Another window or a context menu taking the keys is no way out of the field.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) Leave();
        break;
    }
    case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) Leave();
        break;
    }
    case QEvent::Hide:
        // Its page was switched away, or the window hidden: the focus may not move at all
        // while the window is inactive.
        if (BeingEdited()) Leave();
        break;
    default:
        break;
    }
    return false;
}

} // namespace px
