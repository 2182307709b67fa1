// The program's two message windows: the modal error dialog and the non-blocking message box
// that sizes itself to its text. Both translate themselves when they load.
#pragma once

#include <QDialog>

#include <string>

class QLabel;
class QPushButton;

namespace px {

class Texts;

// Shows the error text modally with one OK button.
void ShowErrorDialog(QWidget* owner, const std::string& text, const Texts& texts);

class FrmMsg : public QDialog {
public:
    explicit FrmMsg(const Texts& texts);

    // Shows the prompt and returns at once; a second call while the box is open reuses it,
    // starting again from the size it had when it was first shown. "\n" in the prompt breaks
    // the line. buttons AND 112 picks the icon: 16 critical, 32 question, 48 exclamation,
    // 64 information, anything else exclamation.
    void ShowMsg(const std::string& prompt, int buttons, const std::string& title);

    static int IconIndex(int buttons);
    int ShownIcon() const { return icon_; }
    QString LabelText() const;

private:
    const Texts& texts_;
    QLabel* iconLabel_;
    QLabel* label_;
    QPushButton* button_;
    QSize designSize_;
    bool remembered_ = false;
    int icon_ = 2;
};

} // namespace px
