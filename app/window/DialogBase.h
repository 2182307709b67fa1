// Common ground of the window's small dialogs: Enter is OK and Esc is Cancel unless a dialog says
// otherwise, the close box is Cancel, and the texts come from the language files when the dialog
// loads.
#pragma once

#include <QDialog>

#include <initializer_list>

class QHBoxLayout;
class QPushButton;

namespace px {

class Texts;

class DialogBase : public QDialog {
public:
    DialogBase(QWidget* owner, const char* name, const char* caption, const char* tag);

protected:
    // A button of a control array ("cmdID_0") with its caption and text number.
    QPushButton* Button(const char* name, int index, const char* caption, const char* tag);
    // The buttons in a row at the dialog's bottom right.
    static QHBoxLayout* ButtonRow(std::initializer_list<QPushButton*> buttons);
    // Translates the dialog; call when its controls exist.
    void Translate(const Texts& texts);
};

} // namespace px
