// Accessible names where no label gives one the way assistive technology reads it: item views
// ignore their label buddy, some controls stand beside a check box or option instead of a label,
// and some have nothing beside them at all. The names follow the language like the captions do.
#pragma once

class QWidget;

namespace px {

class Texts;

// The control is named by the caption of source (a label, button or group box).
void NameBy(QWidget* control, QWidget* source);
// The control is named by a text of the language files; english until a language applies.
void NameByText(QWidget* control, int number, const char* english);
// After the language changed: every control below window named again from its source or text.
void RefreshNames(QWidget* window, const Texts& texts);

} // namespace px
