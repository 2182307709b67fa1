// The main window on the offscreen platform: caption rule, pages, monitor pane, busy pointer,
// language switch, the operation guard, the names assistive technology reads, the message boxes'
// texts and the closing refusals with their saves.
#include "MainWindow.h"
#include "OperationGuard.h"
#include "Program.h"
#include "TimeGrid.h"
#include "TimePicker.h"
#include "WindowHarness.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using px::testing::WindowHarness;

// What assistive technology reads as a widget's name.
QString AccessibleName(QWidget* w)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    return iface ? iface->text(QAccessible::Name) : QString();
}

// Closes the next modal window that opens, keeping its caption and its buttons' texts.
class ModalReader {
public:
    ModalReader()
    {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal) return;
            title = modal->windowTitle();
            for (auto* b : modal->findChildren<QPushButton*>())
                buttons << b->text();
            if (auto* box = qobject_cast<QMessageBox*>(modal))
                box->reject();
            else
                modal->close();
        });
        timer_.start();
    }
    QString title;
    QStringList buttons;

private:
    QTimer timer_;
};

} // namespace

TEST(MainWindow, CaptionPagesAndNames)
{
    WindowHarness h;
    ASSERT_EQ(h.loaded, 0);
    EXPECT_EQ(h.window->windowTitle(), "PX740 V1.0 R0 Terminal Manager");
    QTabWidget* tabs = h.Find<QTabWidget>("SSTab");
    ASSERT_NE(tabs, nullptr);
    ASSERT_EQ(tabs->count(), 6);
    const QStringList captions = {"Terminal", "Ring Table",     "In / Out Schedule",
                                  "Record",   "Time Schedular", "Program"};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(tabs->tabText(i), captions[i]);
        // Pages 1 to 3 follow the connection; none is open at start.
        EXPECT_EQ(tabs->isTabEnabled(i), i == 0 || i >= 4) << i;
    }
    EXPECT_EQ(tabs->currentIndex(), 0);
    // Every control carries its name where assistive technology can read it.
    for (const char* name : {"labStatus", "chkMonitor", "txtMonitor", "ComboLan", "txtTStatus"}) {
        auto* w = h.Find<QWidget>(name);
        ASSERT_NE(w, nullptr) << name;
        EXPECT_EQ(w->accessibleDescription(), name);
    }
    // An input is named by the label a person sees.
    EXPECT_EQ(h.Find<QLabel>("labLanguage")->buddy(), h.Find<QComboBox>("ComboLan"));

    h.window->SetDevicePageEnabled(2, true);
    EXPECT_TRUE(tabs->isTabEnabled(2));
    h.window->SetDevicePageEnabled(2, false);
    EXPECT_FALSE(tabs->isTabEnabled(2));
}

TEST(MainWindow, IsAWindowToAssistiveTechnologyEvenMinimised)
{
    WindowHarness h("PX740", "/TS:INTERVAL /S");
    ASSERT_EQ(h.loaded, 0);
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(h.window.get());
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->role(), QAccessible::Window);
    // The status line sits in the window's status bar.
    auto* bar = h.window->findChild<QStatusBar*>();
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(bar->isAncestorOf(h.Find<QLabel>("labStatus")));

    ASSERT_TRUE(h.program->startMinimised);
    h.window->StartMinimised();
    ASSERT_TRUE(h.window->isMinimized());
    EXPECT_EQ(iface->text(QAccessible::Name), "PX740 V1.0 R0 Terminal Manager");
    h.window->SetCaption(h.core().baseCaption + "  001-Gate");
    EXPECT_EQ(iface->text(QAccessible::Name), "PX740 V1.0 R0 Terminal Manager  001-Gate");
}

TEST(MainWindow, EveryControlIsNamedAndNamesFollowTheLanguage)
{
    WindowHarness h;
    ASSERT_EQ(h.loaded, 0);
    // Controls that no label names the way assistive technology reads it.
    for (const char* name : {"lstDevice", "fgdRingTab", "fgdIOSTable", "fgdRecord", "pgbRecord",
                             "fgdTsTable", "dtpIntTime", "txtTStatus", "txtMsg", "txtMonitor",
                             "txtMailTo", "txtFixName", "txtSubName", "cmdChgPath"}) {
        auto* w = h.Find<QWidget>(name);
        ASSERT_NE(w, nullptr) << name;
        EXPECT_FALSE(AccessibleName(w).trimmed().isEmpty()) << name;
    }
    // The grid's in-place editor joins the window when a row is first edited.
    px::TimePicker* picker = h.Find<px::TimeGrid>("fgdRingTab")->Picker();
    for (const char* name : {"dtpRingTable_time", "dtpRingTable_value"}) {
        auto* w = picker->findChild<QWidget*>(name);
        ASSERT_NE(w, nullptr) << name;
        EXPECT_FALSE(AccessibleName(w).trimmed().isEmpty()) << name;
    }
    EXPECT_EQ(AccessibleName(h.Find<QWidget>("lstDevice")), "Terminals:");
    EXPECT_EQ(AccessibleName(h.Find<QWidget>("cmdChgPath")), "Choose the folder and file name");
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(AccessibleName(h.Find<QTabWidget>("SSTab")->widget(i)),
                  h.Find<QTabWidget>("SSTab")->tabText(i));

    h.Find<QComboBox>("ComboLan")->setCurrentText("German");
    EXPECT_EQ(AccessibleName(h.Find<QWidget>("txtMailTo")), "Mail an");
    EXPECT_EQ(AccessibleName(h.Find<QWidget>("txtFixName")), "Fester Name");
    EXPECT_EQ(AccessibleName(h.Find<QWidget>("fgdRecord")), "Datensätze");
    EXPECT_EQ(AccessibleName(h.Find<QWidget>("dtpIntTime")), "Nach Intervall");
    EXPECT_EQ(AccessibleName(h.Find<QTabWidget>("SSTab")->widget(1)), "Klingelzeiten");
}

TEST(MainWindow, MessageBoxesSpeakTheChosenLanguage)
{
    WindowHarness h;
    ASSERT_EQ(h.loaded, 0);
    h.Find<QComboBox>("ComboLan")->setCurrentText("German");
    {
        ModalReader reader;
        EXPECT_FALSE(h.window->Question("?", px::Icon::Question, false));
        EXPECT_TRUE(reader.buttons.contains("&Ja")) << reader.buttons.join('|').toStdString();
        EXPECT_TRUE(reader.buttons.contains("&Nein"));
    }
    {
        ModalReader reader;
        h.core().ErrorBox(1);
        EXPECT_EQ(reader.title, "Fehlermeldung");
        EXPECT_EQ(reader.buttons, QStringList{"&OK"});
    }
}

TEST(MainWindow, SisterBuildNamesItselfWhereTextsNameTheModel)
{
    WindowHarness h("PX745");
    ASSERT_EQ(h.loaded, 0);
    EXPECT_EQ(h.window->windowTitle(), "PX745 V1.0 R0 Terminal Manager");
    EXPECT_EQ(h.core().GetText(8008, "Communications with PX740 failed"),
              "Communications with PX745 failed");
}

TEST(MainWindow, SchedulerStartShowsTheSchedulerPage)
{
    WindowHarness h("PX740", "/TS:INTERVAL");
    ASSERT_EQ(h.loaded, 0);
    EXPECT_EQ(h.Find<QTabWidget>("SSTab")->currentIndex(), px::Program::kSchedulerPage);
    EXPECT_EQ(h.core().state().currentPage, px::Program::kSchedulerPage);
}

TEST(MainWindow, MonitorPaneFollowsItsBoxAndClearsOnDoubleClick)
{
    WindowHarness none;
    EXPECT_FALSE(none.Find<QCheckBox>("chkMonitor")->isVisibleTo(none.window.get()));

    WindowHarness h("PX740", "/MONITOR");
    ASSERT_EQ(h.loaded, 0);
    auto* box = h.Find<QCheckBox>("chkMonitor");
    auto* pane = h.Find<QPlainTextEdit>("txtMonitor");
    EXPECT_TRUE(box->isVisibleTo(h.window.get()));
    EXPECT_TRUE(box->isChecked());
    EXPECT_TRUE(pane->isVisibleTo(h.window.get()));
    // The header written at start-up, before the switch was read, is in the pane.
    EXPECT_TRUE(pane->toPlainText().startsWith("PX740-Monitor V1.0 R0 Terminal Manager\n"))
        << pane->toPlainText().toStdString();

    for (int i = 0; i < 400; ++i)
        h.core().ShowText("APP:<STX>D01<CR> line " + std::to_string(i));
    const QString text = pane->toPlainText();
    EXPECT_LE(text.size(), 4096);
    EXPECT_TRUE(text.startsWith("APP:")) << text.left(40).toStdString(); // whole lines only
    EXPECT_TRUE(text.endsWith("line 399\n"));

    QMouseEvent click(QEvent::MouseButtonDblClick, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(pane->viewport(), &click);
    EXPECT_TRUE(pane->toPlainText().isEmpty());
    box->setChecked(false);
    EXPECT_FALSE(pane->isVisibleTo(h.window.get()));
}

TEST(MainWindow, LoggedInSetupOffersTheMonitorBox)
{
    WindowHarness h("PX740", "", "[LOGIN]\r\nSAVE=1\r\n[SERLO]\r\nVIEW=1\r\n");
    ASSERT_EQ(h.loaded, 0);
    auto* box = h.Find<QCheckBox>("chkMonitor");
    auto* pane = h.Find<QPlainTextEdit>("txtMonitor");
    EXPECT_TRUE(box->isVisibleTo(h.window.get()));
    EXPECT_TRUE(box->isChecked());
    EXPECT_TRUE(pane->toPlainText().startsWith("PX740-Monitor V1.0 R0 Terminal Manager"));
    box->setChecked(false);
    h.core().ShowText("not collected");
    EXPECT_FALSE(pane->toPlainText().contains("not collected"));
    box->setChecked(true);
    h.core().ShowText("collected");
    EXPECT_TRUE(pane->toPlainText().contains("collected"));
}

TEST(MainWindow, BusyPointerNeverStacks)
{
    WindowHarness h;
    ASSERT_EQ(h.loaded, 0);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    h.core().SetScreenPointer(px::kPointerHourglass);
    h.core().SetScreenPointer(px::kPointerHourglass);
    h.core().SetWindowPointer(px::kPointerHourglass);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    EXPECT_EQ(h.window->cursor().shape(), Qt::WaitCursor);
    // One release undoes any number of busy settings: nothing is left on a stack.
    h.core().SetScreenPointer(px::kPointerDefault);
    h.core().SetWindowPointer(px::kPointerDefault);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(h.window->cursor().shape(), Qt::ArrowCursor);
}

TEST(MainWindow, LanguageSwitchKeepsStateAndTheTerminalCaption)
{
    WindowHarness h;
    ASSERT_EQ(h.loaded, 0);
    auto* tabs = h.Find<QTabWidget>("SSTab");
    auto* language = h.Find<QComboBox>("ComboLan");
    ASSERT_GE(language->findText("German"), 0);
    EXPECT_EQ(language->currentText(), "English");
    h.core().ShowStatus(9100, "Command accepted");
    h.window->SetCaption(h.core().baseCaption + "  001-Gate");
    tabs->setCurrentIndex(4);

    language->setCurrentText("German");
    EXPECT_EQ(tabs->tabText(1), "Klingelzeiten");
    EXPECT_EQ(h.Find<QCheckBox>("chkMonitor")->text(), "Monitor anzeigen");
    EXPECT_EQ(h.window->windowTitle(), "PX740 V1.0 R0 Terminal Manager  001-Gate");
    EXPECT_EQ(h.Status(), QString::fromStdString(h.core().GetText(9100, "")));
    EXPECT_NE(h.Status(), "Command accepted");
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_EQ(h.core().options().language, "German");

    // Back to English: every caption returns, not only those German happened to change.
    language->setCurrentText("English");
    EXPECT_EQ(tabs->tabText(1), "Ring Table");
    EXPECT_EQ(h.Find<QCheckBox>("chkMonitor")->text(), "View Monitor");
    EXPECT_EQ(h.Status(), "Command accepted");

    // A scheduled run locks page 0: the page shown stays.
    tabs->setCurrentIndex(4);
    tabs->setTabEnabled(0, false);
    language->setCurrentText("German");
    EXPECT_EQ(tabs->currentIndex(), 4);
}

TEST(MainWindow, OperationGuardIsExclusive)
{
    WindowHarness h;
    ASSERT_EQ(h.loaded, 0);
    auto* start = h.Find<QPushButton>("cmdStart");
    auto* language = h.Find<QComboBox>("ComboLan");
    {
        px::OperationGuard first(h.core());
        EXPECT_TRUE(static_cast<bool>(first));
        px::OperationGuard second(h.core());
        EXPECT_FALSE(static_cast<bool>(second));
        EXPECT_TRUE(h.core().state().operationRunning);
        // A run or a language switch would work under the operation that holds the link.
        EXPECT_FALSE(start->isEnabled());
        EXPECT_FALSE(language->isEnabled());
    }
    EXPECT_FALSE(h.core().state().operationRunning);
    EXPECT_TRUE(start->isEnabled());
    EXPECT_TRUE(language->isEnabled());
    // An exception inside the operation releases the link all the same.
    try {
        px::OperationGuard g(h.core());
        throw std::runtime_error("handler failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_FALSE(h.core().state().operationRunning);
}

TEST(MainWindow, ClosingIsRefusedInOrderThenSaves)
{
    WindowHarness h;
    ASSERT_EQ(h.loaded, 0);
    px::ProgramState& st = h.core().state();

    st.bTSRunning = true;
    h.core().session().state().nBusyDepth = 1;
    EXPECT_FALSE(h.window->close());
    EXPECT_EQ(h.Status().toStdString(), h.core().GetText(908, ""));
    st.bTSRunning = false;

    EXPECT_FALSE(h.window->close());
    EXPECT_EQ(h.Status(), "Can't Unload for Busy!");
    h.core().session().state().nBusyDepth = 0;

    {
        px::OperationGuard running(h.core());
        EXPECT_FALSE(h.window->close());
        EXPECT_EQ(h.Status(), "Can't Unload for an operation in progress");
    }
    EXPECT_EQ(h.SettingsText().find("OpenType=Close"), std::string::npos);

    h.Find<QComboBox>("ComboLan")->setCurrentText("German");
    int quitStatus = -1;
    h.program->quit = [&](int status) { quitStatus = status; };
    EXPECT_TRUE(h.window->close());
    EXPECT_EQ(quitStatus, 0);
    const std::string settings = h.SettingsText();
    EXPECT_NE(settings.find("Language=German"), std::string::npos) << settings;
    EXPECT_NE(settings.find("OpenType=Close"), std::string::npos);
}
