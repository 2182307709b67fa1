#include "XmodemProgress.h"

#include "GuiThread.h"

#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWindow>

#include <cstdio>

namespace serlo {

namespace {

// 186 by 79 dialog units at an 8-point system font.
constexpr int kWidthPx = 280;
constexpr int kHeightPx = 128;

// The window the host works in: the active one, else the first visible top-level window.
QWidget* HostWindow()
{
    if (QWidget* active = QApplication::activeWindow()) return active;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->isWindow() && !qobject_cast<QDialog*>(w)) return w;
    return nullptr;
}

} // namespace

bool XmodemProgress::GuiAvailable()
{
    if (!OnGuiThread()) return false;
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

std::string XmodemProgress::PercentLabel(int lower, int upper, int pos)
{
    // An empty range (a file shorter than one block) would divide by zero.
    const long long span = static_cast<long long>(upper) - lower;
    long long percent = 0;
    if (span != 0) percent = (static_cast<long long>(pos) - lower) * 100 / span;
    if (percent != 100) percent %= 100;
    return std::to_string(static_cast<int>(percent)) + "%";
}

XmodemProgress::XmodemProgress(const std::string& caption, const std::function<void()>& onCancel,
                               Mode mode)
{
    const bool window = mode == Mode::Window ? OnGuiThread() : mode == Mode::Auto && GuiAvailable();
    if (!window) return;

    // Chosen before the dialog exists, so that the dialog is never taken for the host.
    QWidget* host = HostWindow();
    dialog_ = std::make_unique<QDialog>();
    dialog_->setWindowTitle(QString::fromLocal8Bit(caption.c_str()));
    dialog_->setModal(false);
    dialog_->setFixedSize(kWidthPx, kHeightPx);
    auto* layout = new QVBoxLayout(dialog_.get());
    auto* row = new QHBoxLayout;
    bar_ = new QProgressBar(dialog_.get());
    bar_->setTextVisible(false);
    percentLabel_ = new QLabel(QString::fromLatin1(percent_.c_str()), dialog_.get());
    percentLabel_->setMinimumWidth(40);
    percentLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    row->addWidget(bar_, 1);
    row->addWidget(percentLabel_);
    layout->addLayout(row);
    statusLabel_ = new QLabel(dialog_.get());
    layout->addWidget(statusLabel_);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), dialog_.get());
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    bar_->setRange(lower_, upper_);

    // Escape and the window's close button count as Cancel too.
    QObject::connect(cancel, &QPushButton::clicked, dialog_.get(), [onCancel] {
        if (onCancel) onCancel();
    });
    QObject::connect(dialog_.get(), &QDialog::rejected, dialog_.get(), [onCancel] {
        if (onCancel) onCancel();
    });

    // Not a child of the host: disabling the host would disable its children, Cancel included.
    // Tied to it as a transient window instead, so it stays above it.
    if (host && host->windowHandle()) {
        dialog_->winId();
        if (QWindow* window = dialog_->windowHandle())
            window->setTransientParent(host->windowHandle());
    }
    if (host && host->isEnabled()) {
        host->setEnabled(false);
        disabledHost_ = host;
    }
    dialog_->show();
}

XmodemProgress::~XmodemProgress()
{
    if (dialog_) {
        dialog_->disconnect();
        dialog_->hide();
    }
    if (disabledHost_) disabledHost_->setEnabled(true);
}

QWidget* XmodemProgress::DisabledHostWindow() const
{
    return disabledHost_.data();
}

void XmodemProgress::SetRange(int lower, int upper)
{
    lower_ = lower;
    upper_ = upper;
    // Qt shows a busy animation for an empty range; an idle bar is meant.
    if (bar_) bar_->setRange(lower, upper > lower ? upper : lower + 1);
}

void XmodemProgress::SetPos(int pos)
{
    pos_ = pos;
    if (bar_) bar_->setValue(pos);
    UpdatePercent();
}

void XmodemProgress::SetStatus(const std::string& text)
{
    if (text == status_) return;
    status_ = text;
    if (statusLabel_) statusLabel_->setText(QString::fromLatin1(text.c_str()));
}

void XmodemProgress::UpdatePercent()
{
    // Rewritten only when the text changes, so the label does not flicker on every block.
    const std::string text = PercentLabel(lower_, upper_, pos_);
    if (text == percent_) return;
    percent_ = text;
    if (percentLabel_) percentLabel_->setText(QString::fromLatin1(text.c_str()));
}

} // namespace serlo
