#include "MainWindow.h"

#include "AccessibleNames.h"
#include "ApplyLanguage.h"
#include "BellPage.h"
#include "Controls.h"
#include "FieldRules.h"
#include "FileDialogs.h"
#include "FrmId.h"
#include "FrmMode.h"
#include "FrmPassword.h"
#include "FrmTime.h"
#include "InOutPage.h"
#include "MessageDialogs.h"
#include "OutputOptionsFrame.h"
#include "Program.h"
#include "ProgramInfoPage.h"
#include "RecordsPage.h"
#include "SchedulerPage.h"
#include "TerminalsPage.h"
#include "Texts.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>

namespace px {

namespace {

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

// Texts read from the language files end lines with CR LF; a label shows a CR as a box.
QString Lines(const std::string& text)
{
    QString s = Q(text);
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace('\r', '\n');
    return s;
}

QMessageBox::Icon BoxIcon(Icon icon)
{
    switch (icon) {
    case Icon::Critical:
        return QMessageBox::Critical;
    case Icon::Question:
        return QMessageBox::Question;
    case Icon::Exclamation:
        return QMessageBox::Warning;
    case Icon::Information:
        return QMessageBox::Information;
    case Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// Pages that follow the connection: the bell table, the In/Out schedule and the records.
constexpr int kFirstDevicePage = 1;
constexpr int kLastDevicePage = 3;
constexpr int kRecordsPage = 3;

} // namespace

MainWindow::MainWindow()
{
    Named(this, "PX740");
    setWindowIcon(style()->standardIcon(QStyle::SP_ComputerIcon));
    BuildPages();

    labStatus_ = Named(new QLabel, "labStatus");
    labStatus_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    chkMonitor_ = Named(new QCheckBox("View Monitor"), "chkMonitor");
    SetTag(chkMonitor_, "3000");
    chkMonitor_->hide();
    txtMonitor_ = Named(new QPlainTextEdit, "txtMonitor");
    txtMonitor_->setReadOnly(true);
    txtMonitor_->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtMonitor_->setToolTip("Double-click to clear");
    NameByText(txtMonitor_, 3209, "Protocol monitor");
    SetTag(txtMonitor_, "0,3008");
    txtMonitor_->viewport()->installEventFilter(this);
    txtMonitor_->hide();

    // A main window, not a plain widget: assistive technology lists it among the windows.
    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(tabs_, 3);
    layout->addWidget(txtMonitor_, 2);
    setCentralWidget(central);
    statusBar()->setSizeGripEnabled(false);
    statusBar()->addWidget(labStatus_, 1);
    statusBar()->addPermanentWidget(chkMonitor_);

    connect(chkMonitor_, &QCheckBox::toggled, this, [this](bool checked) {
        if (program_) program_->core().state().monitorChecked = checked;
        UpdateMonitorLayout();
    });
    connect(tabs_, &QTabWidget::currentChanged, this, &MainWindow::PageChanged);
    // Esc stops the terminal operation in progress (an unreachable terminal can hold the window
    // for tens of seconds otherwise).
    auto* stop = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(stop, &QShortcut::activated, this, [this] {
        if (program_ && program_->core().state().operationRunning) program_->core().StopOperation();
    });
    resize(760, 520);
    FieldRules::LeaveBeforeButtons(this);
}

MainWindow::~MainWindow()
{
    // Children emit signals while they are destroyed; the handlers must find no program.
    Unbind();
    if (overrideCursor_) QApplication::restoreOverrideCursor();
}

void MainWindow::BuildPages()
{
    tabs_ = Named(new QTabWidget, "SSTab");
    SetTag(tabs_, "2000,2001,250,2002,2003,2004");
    terminals_ = new TerminalsPage;
    records_ = new RecordsPage;
    scheduler_ = new SchedulerPage;
    pages_ = {terminals_, new BellPage, new InOutPage,
              records_,   scheduler_,   new ProgramInfoPage(*this)};
    const char* captions[] = {"Terminal", "Ring Table",     "In / Out Schedule",
                              "Record",   "Time Schedular", "Program"};
    for (std::size_t i = 0; i < pages_.size(); ++i)
        tabs_->addTab(pages_[i], captions[i]);
    for (int i = kFirstDevicePage; i <= kLastDevicePage; ++i)
        tabs_->setTabEnabled(i, false);
}

void MainWindow::Bind(Program& program)
{
    program_ = &program;
    // The output type and card-ID length show on two pages with one value behind them.
    records_->onShared = [this] { scheduler_->SaveOptions()->ShowOptions(); };
    scheduler_->SaveOptions()->onShared = [this] { records_->ShowOutputType(); };
    frmMsg_ = std::make_unique<FrmMsg>(program.core().texts());
    for (ProgramPage* page : pages_)
        page->Bind(program);
}

void MainWindow::Unbind()
{
    program_ = nullptr;
    for (ProgramPage* page : pages_)
        page->Unbind();
}

void MainWindow::AfterLoad()
{
    const Core& core = program_->core();
    const ProgramState& st = program_->core().state();
    // The box is offered only to a logged-in setup or in monitor mode.
    chkMonitor_->setVisible(core.options().loginSave || st.bMonitorMode);
    chkMonitor_->setChecked(st.monitorChecked);
    SetMonitorText(core.MonitorText());
    UpdateMonitorLayout();
    for (ProgramPage* page : pages_)
        page->AfterLoad();
    ApplyTexts();
    tabs_->setCurrentIndex(st.currentPage);
}

void MainWindow::ApplyTexts()
{
    const Texts& texts = program_->core().texts();
    ApplyLanguage(this, texts);
    for (ProgramPage* page : pages_)
        page->AfterLanguage();
    RefreshNames(this, texts);
    // A page is named by its tab, so a screen reader says where the focus went.
    for (int i = 0; i < tabs_->count(); ++i)
        tabs_->widget(i)->setAccessibleName(tabs_->tabText(i));
}

void MainWindow::SwitchLanguage(const QString& name)
{
    if (!program_) return;
    Core& core = program_->core();
    // The terminal's part of the caption (added when one was opened) survives the switch.
    const QString oldBase = Q(core.baseCaption);
    const QString suffix =
        windowTitle().startsWith(oldBase) ? windowTitle().mid(oldBase.size()) : QString();
    if (!program_->SwitchLanguage(name.toStdString())) return;
    ApplyTexts();
    SetCaption(core.baseCaption + suffix.toStdString());
    // Page 0 unless a scheduled run has locked it; then the page shown stays.
    if (tabs_->isTabEnabled(Program::kTerminalsPage)) core.ShowPage(Program::kTerminalsPage);
}

void MainWindow::PageChanged(int page)
{
    if (program_ && page >= 0) program_->core().state().currentPage = page;
}

bool MainWindow::MonitorShown() const
{
    return chkMonitor_->isChecked();
}

void MainWindow::UpdateMonitorLayout()
{
    // The pane shows whenever its box is ticked; the box itself is offered only as above.
    txtMonitor_->setVisible(chkMonitor_->isChecked());
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (program_ && !program_->Close()) {
        event->ignore();
        return;
    }
    event->accept();
    if (tray_) tray_->hide();
    if (program_ && program_->quit) program_->quit(0);
}

void MainWindow::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange) return;
    if (isMinimized()) {
        // Hidden without a tray host, the window could never come back.
        if (!QSystemTrayIcon::isSystemTrayAvailable()) return;
        if (!tray_) {
            tray_ = new QSystemTrayIcon(windowIcon(), this);
            tray_->setObjectName("trayIcon");
            connect(tray_, &QSystemTrayIcon::activated, this, [this] { RestoreFromTray(); });
        }
        tray_->setToolTip(windowTitle());
        tray_->show();
        QTimer::singleShot(0, this, [this] {
            if (isMinimized()) hide();
        });
    }
}

void MainWindow::RestoreFromTray()
{
    if (tray_) tray_->hide();
    showNormal();
    raise();
    activateWindow();
    if (program_ && program_->core().state().bTSRunning) scheduler_->ScrollStatusToEnd();
}

void MainWindow::SchedulerStateChanged(bool started)
{
    scheduler_->SchedulerStateChanged(started);
    if (started) {
        // A bell or record command would talk to whatever terminal the run has open.
        for (int page = 0; page <= kLastDevicePage; ++page)
            tabs_->setTabEnabled(page, false);
        terminals_->SetDeviceButtonsEnabled(false);
        tabs_->setCurrentIndex(Program::kSchedulerPage);
    } else {
        // The device pages came back with the terminal the stop sequence reopened.
        tabs_->setTabEnabled(0, true);
    }
}

void MainWindow::ShowFromOutside()
{
    RestoreFromTray();
}

void MainWindow::StartMinimised()
{
    showMinimized();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == txtMonitor_->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        if (program_) program_->core().ClearMonitor();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

// --- View --------------------------------------------------------------------------------------

void MainWindow::SetStatus(const std::string& text)
{
    labStatus_->setText(Lines(text));
}

void MainWindow::SetMonitorText(const std::string& text)
{
    ShowGrowingText(txtMonitor_, shownMonitor_, Lines(text));
}

void MainWindow::SetMessageLine(const std::string& text)
{
    scheduler_->SetMessageLine(Q(text));
}

void MainWindow::SetProgress(int value, int maximum)
{
    records_->SetProgress(value, maximum);
}

void MainWindow::SetCountLabel(const std::string& text)
{
    records_->SetCountLabel(Q(text));
}

void MainWindow::SetCaption(const std::string& text)
{
    // A minimised window is named by its icon text ("/S" starts minimised): the same caption,
    // set first so the name announced with the new title is already right.
    setWindowIconText(Q(text));
    setWindowTitle(Q(text));
    if (tray_) tray_->setToolTip(windowTitle());
}

void MainWindow::SetPointers(int screen, int window)
{
    if (window == kPointerHourglass)
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
    // One override at most, so the application pointer can never stick on a stack.
    const bool busy = screen == kPointerHourglass;
    if (busy && !overrideCursor_)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else if (!busy && overrideCursor_)
        QApplication::restoreOverrideCursor();
    overrideCursor_ = busy;
}

void MainWindow::MessageBox(const std::string& text, Icon icon, const std::string& title)
{
    QMessageBox box(BoxIcon(icon), title.empty() ? windowTitle() : Q(title), Lines(text),
                    QMessageBox::Ok, this);
    Named(&box, "MsgBox");
    if (program_) box.button(QMessageBox::Ok)->setText(Q(program_->core().GetText(3215, "OK")));
    box.exec();
}

bool MainWindow::Question(const std::string& text, Icon icon, bool defaultYes)
{
    QMessageBox box(BoxIcon(icon), windowTitle(), Lines(text), QMessageBox::Yes | QMessageBox::No,
                    this);
    Named(&box, "MsgQuestion");
    if (program_) {
        box.button(QMessageBox::Yes)->setText(Q(program_->core().GetText(3213, "&Yes")));
        box.button(QMessageBox::No)->setText(Q(program_->core().GetText(3214, "&No")));
    }
    box.setDefaultButton(defaultYes ? QMessageBox::Yes : QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void MainWindow::SetDevicePageEnabled(int page, bool enabled)
{
    if (page < kFirstDevicePage || page > kLastDevicePage) return;
    // During a record transfer the other pages are put aside: the change applies when they
    // come back (a transfer that goes off line must not bring the device pages back).
    if (!recordControls_ && page != kRecordsPage &&
        page < static_cast<int>(tabsBeforeTransfer_.size())) {
        tabsBeforeTransfer_[static_cast<std::size_t>(page)] = enabled;
        return;
    }
    tabs_->setTabEnabled(page, enabled);
}

void MainWindow::SetDeviceButtonsEnabled(bool enabled)
{
    terminals_->SetDeviceButtonsEnabled(enabled);
}

void MainWindow::ShowRecordMode(int mode)
{
    terminals_->ShowRecordMode(mode);
}

void MainWindow::SetRecordModeOptionsEnabled(bool basic, bool schedule, bool scheduleKnown)
{
    terminals_->SetRecordModeOptionsEnabled(basic, schedule, scheduleKnown);
}

std::string MainWindow::AskNewId(const std::vector<std::string>& lines)
{
    if (!program_ || lines.empty()) return {};
    FrmId dialog(this, program_->core().texts(), lines);
    dialog.exec();
    return dialog.Chosen();
}

bool MainWindow::AskTime(Stamp& time)
{
    if (!program_) return false;
    FrmTime dialog(this, program_->core().texts(), time);
    if (dialog.exec() != QDialog::Accepted) return false;
    time = dialog.Chosen();
    return true;
}

void MainWindow::ShowDisplayModeDialog()
{
    if (!program_) return;
    FrmMode dialog(this, program_->core());
    if (dialog.Loaded()) dialog.exec();
}

void MainWindow::FinishEditing()
{
    FieldRules::LeaveFocused(this);
}

void MainWindow::ShowLoginDialog()
{
    if (!program_) return;
    FrmPassword dialog(this, program_->core());
    dialog.exec();
}

void MainWindow::ShowPage(int page)
{
    if (page >= 0 && page < tabs_->count()) tabs_->setCurrentIndex(page);
}

void MainWindow::SetTerminalListEnabled(bool enabled)
{
    terminals_->SetListEnabled(enabled);
}

void MainWindow::SetRecordControlsEnabled(bool enabled)
{
    if (enabled == recordControls_) return;
    recordControls_ = enabled;
    records_->SetRecordControlsEnabled(enabled);
    // The other pages wait during a record transfer; the records page stays, since its Upload
    // button is then the way to stop. They come back as they were.
    if (!enabled) {
        tabsBeforeTransfer_.clear();
        for (int i = 0; i < tabs_->count(); ++i) {
            tabsBeforeTransfer_.push_back(tabs_->isTabEnabled(i));
            if (i != kRecordsPage) tabs_->setTabEnabled(i, false);
        }
    } else {
        for (int i = 0; i < tabs_->count() && i < static_cast<int>(tabsBeforeTransfer_.size()); ++i)
            if (i != kRecordsPage)
                tabs_->setTabEnabled(i, tabsBeforeTransfer_[static_cast<std::size_t>(i)]);
        tabsBeforeTransfer_.clear();
    }
}

void MainWindow::SetUploadRunning(bool running)
{
    records_->SetUploadRunning(running);
}

std::string MainWindow::AskFile(bool save, const std::string& folder, const std::string& name,
                                const std::string& filters)
{
    const QString file = save ? AskSaveFile(this, {}, Q(folder), Q(name), Q(filters))
                              : AskOpenFile(this, {}, Q(folder), Q(filters));
    return file.toStdString();
}

void MainWindow::SetOperationRunning(bool running)
{
    operationRunning_ = running;
    for (ProgramPage* page : pages_)
        page->SetHeld(running);
}

void MainWindow::SetStatusLogText(const std::string& text)
{
    scheduler_->SetStatusLogText(Lines(text));
}

void MainWindow::ShowError(const std::string& text)
{
    static const Texts kNone;
    ShowErrorDialog(this, text, program_ ? program_->core().texts() : kNone);
}

void MainWindow::ShowMsg(const std::string& prompt, int buttons, const std::string& title)
{
    if (frmMsg_) frmMsg_->ShowMsg(prompt, buttons, title);
}

} // namespace px
