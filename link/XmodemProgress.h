// The progress of one file transfer: range, position, percent label, status line and a Cancel
// request. When the host runs a GUI application it is shown as a small modeless dialog and the
// host's top-level window is disabled meanwhile; a headless host gets the same state, no window.
#pragma once

#include <QPointer>

#include <functional>
#include <memory>
#include <string>

class QDialog;
class QLabel;
class QProgressBar;
class QWidget;

namespace serlo {

class XmodemProgress {
public:
    enum class Mode {
        Auto,    // a window when a GUI application runs on a real display
        Window,  // always a window (needs a GUI application and its thread)
        Headless // never a window
    };

    // onCancel runs on the control's thread when the window's Cancel is pressed (or the window
    // is closed); it must only set a flag, as the transfer loop is waiting inside the event loop.
    XmodemProgress(const std::string& caption, const std::function<void()>& onCancel,
                   Mode mode = Mode::Auto);
    // Closes the window and enables the host's window again.
    ~XmodemProgress();
    XmodemProgress(const XmodemProgress&) = delete;
    XmodemProgress& operator=(const XmodemProgress&) = delete;

    void SetRange(int lower, int upper);
    void SetPos(int pos);
    void SetStatus(const std::string& text);

    int Lower() const { return lower_; }
    int Upper() const { return upper_; }
    int Pos() const { return pos_; }
    const std::string& PercentText() const { return percent_; }
    const std::string& Status() const { return status_; }

    // The window, or nullptr for a headless host.
    QDialog* Window() const { return dialog_.get(); }
    // The host window disabled while this one is shown, if any.
    QWidget* DisabledHostWindow() const;

    // A GUI application on a platform that can show windows (not offscreen or minimal).
    static bool GuiAvailable();
    // (pos - lower) * 100 / (upper - lower), modulo 100 unless exactly 100, as "%d%".
    static std::string PercentLabel(int lower, int upper, int pos);

private:
    void UpdatePercent();

    int lower_ = 0;
    int upper_ = 100;
    int pos_ = 0;
    std::string percent_ = " 0 %";
    std::string status_;
    std::unique_ptr<QDialog> dialog_;
    QProgressBar* bar_ = nullptr;
    QLabel* percentLabel_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    QPointer<QWidget> disabledHost_;
};

} // namespace serlo
