// Naming and tagging of the window's controls. Every control's objectName is its name in the
// design (control arrays as name_index) and its accessibleDescription the same, because the Linux
// accessibility tree does not publish object names; inputs get a label buddy so that assistive
// technology reads the label a person sees.
#pragma once

#include <QString>

class QLabel;
class QPlainTextEdit;
class QWidget;

namespace px {

// Names a control; index >= 0 names an element of a control array ("cmdPX700_2").
template <typename W> W* Named(W* widget, const char* name, int index = -1)
{
    const QString full = index < 0 ? QString::fromLatin1(name)
                                   : QString::fromLatin1(name) + '_' + QString::number(index);
    widget->setObjectName(full);
    widget->setAccessibleDescription(full);
    return widget;
}

// The text numbers of a control (caption, tool tip, ...) in the language files.
void SetTag(QWidget* widget, const char* tag);

// A label that names an input: its buddy, so the input's accessible name is the label's text.
QLabel* BuddyLabel(const QString& text, QWidget* input, const char* name, const char* tag);

// Shows text in a read-only pane scrolled to its end. When the text only grew at its end, only
// the added part is laid out (the event log and the monitor add a line at a time); shown keeps
// what the pane holds.
void ShowGrowingText(QPlainTextEdit* pane, QString& shown, const QString& text);

} // namespace px
