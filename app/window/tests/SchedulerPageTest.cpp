// The scheduler page on the offscreen platform with a driven clock: Start and Stop with the
// controls they lock, the time table's up-down editor, the interval and mail fields' rules.
#include "FocusSteps.h"
#include "Scheduler.h"
#include "WindowHarness.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimeEdit>
#include <gtest/gtest.h>

namespace {

using px::testing::ClickTab;
using px::testing::EraseByKeys;
using px::testing::PressAccessibly;
using px::testing::SetTextAccessibly;
using px::testing::ShowActive;
using px::testing::WindowHarness;

struct Started {
    WindowHarness h;
    int runs = 0;
    Started()
    {
        px::Scheduler& s = h.program->scheduler();
        s.now = [] { return px::MakeDateTime(2026, 3, 5, 10, 0, 30); };
        s.run = [this] { ++runs; };
        s.stateChanged = [this](bool on) { h.window->SchedulerStateChanged(on); };
    }
};

} // namespace

TEST(SchedulerPage, StartLocksTheSettingsAndStopGivesThemBack)
{
    Started s;
    WindowHarness& h = s.h;
    ASSERT_EQ(h.loaded, 0);
    auto* start = h.Find<QPushButton>("cmdStart");
    auto* tabs = h.Find<QTabWidget>("SSTab");
    EXPECT_EQ(start->text(), "Start");
    EXPECT_FALSE(h.Find<QGroupBox>("fraSettings")->isHidden());

    start->click();
    EXPECT_EQ(s.runs, 1); // Start runs at once
    EXPECT_EQ(start->text(), "Stop");
    EXPECT_TRUE(h.Find<QGroupBox>("fraSettings")->isHidden());
    EXPECT_FALSE(h.Find<QRadioButton>("optTimeMode_1")->isEnabled());
    EXPECT_FALSE(h.Find<QTimeEdit>("dtpIntTime")->isEnabled());
    for (int page = 0; page <= 3; ++page)
        EXPECT_FALSE(tabs->isTabEnabled(page)) << page;
    EXPECT_EQ(tabs->currentIndex(), 4);
    // The caption follows the state after a change of language too.
    h.Find<QComboBox>("ComboLan")->setCurrentText("German");
    EXPECT_EQ(start->text().toStdString(), h.core().GetText(902, ""));
    // Closing is refused while the scheduler is started.
    EXPECT_FALSE(h.window->close());
    EXPECT_EQ(h.Status().toStdString(), h.core().GetText(908, ""));

    start->click();
    EXPECT_EQ(start->text().toStdString(), h.core().GetText(901, ""));
    EXPECT_TRUE(tabs->isTabEnabled(0));
    EXPECT_TRUE(h.Find<QRadioButton>("optTimeMode_1")->isEnabled());
    EXPECT_TRUE(h.Find<QTimeEdit>("dtpIntTime")->isEnabled()); // by interval
    EXPECT_FALSE(h.Find<QTableWidget>("fgdTsTable")->isEnabled());
    EXPECT_NE(h.core().eventLog().ViewText().find("User stop Time scheduler"), std::string::npos);
}

TEST(SchedulerPage, StartPressedWithoutMovingTheFocusLeavesTheFieldFirst)
{
    Started s;
    WindowHarness& h = s.h;
    ASSERT_EQ(h.loaded, 0);
    int lengthOfTheRun = -1;
    h.program->scheduler().run = [&] { lengthOfTheRun = h.core().options().nIDLen; };
    ShowActive(h.window.get());
    ClickTab(h.window->Pages(), 4);
    auto* digital = h.Find<QLineEdit>("txtDigital2");
    EraseByKeys(digital);
    // A voice command presses Start; the focus stays in the emptied box.
    PressAccessibly(h.Find<QPushButton>("cmdStart"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return lengthOfTheRun >= 0; }, 5000));
    EXPECT_EQ(lengthOfTheRun, 14);
    EXPECT_EQ(digital->text(), "14");
}

TEST(SchedulerPage, TimeTableEditorWrapsAndWritesXX)
{
    WindowHarness h;
    ASSERT_EQ(h.loaded, 0);
    h.Find<QRadioButton>("optTimeMode_1")->click();
    EXPECT_FALSE(h.core().options().timeModeInterval);
    auto* table = h.Find<QTableWidget>("fgdTsTable");
    auto* spin = h.Find<QSpinBox>("udTsTable");
    ASSERT_TRUE(table->isEnabled());
    EXPECT_EQ(table->item(0, 0)->text(), "1");
    EXPECT_EQ(table->item(0, 1)->text(), "XX");

    table->setCurrentCell(2, 1);
    EXPECT_FALSE(spin->isHidden());
    EXPECT_EQ(spin->value(), -1);
    EXPECT_EQ(spin->maximum(), 24);
    spin->setValue(23);
    EXPECT_EQ(h.program->scheduler().table[2].hour, "23");
    spin->setValue(24); // the maximum wraps to 0
    EXPECT_EQ(h.program->scheduler().table[2].hour, "00");
    EXPECT_EQ(spin->value(), 0);
    spin->setValue(-1);
    EXPECT_EQ(table->item(2, 1)->text(), "XX");

    table->setCurrentCell(2, 2);
    EXPECT_EQ(spin->maximum(), 60);
    spin->setValue(7);
    EXPECT_EQ(table->item(2, 2)->text(), "07");
    QTest::keyClick(table, Qt::Key_Delete);
    EXPECT_EQ(h.program->scheduler().table[2].minute, "XX");
}

TEST(SchedulerPage, IntervalAndMailFields)
{
    WindowHarness h;
    ASSERT_EQ(h.loaded, 0);
    auto* interval = h.Find<QTimeEdit>("dtpIntTime");
    EXPECT_EQ(interval->time(), QTime(0, 1, 0));
    interval->setTime(QTime(0, 0, 30)); // no hours and no minutes: one minute instead
    EXPECT_EQ(interval->time(), QTime(0, 1, 30));
    EXPECT_EQ(h.core().options().intervalSeconds, 90);
    interval->setTime(QTime(2, 0, 0));
    EXPECT_EQ(h.core().options().intervalSeconds, 7200);

    auto* mailTo = h.Find<QCheckBox>("chkMailTo");
    auto* address = h.Find<QLineEdit>("txtMailTo");
    auto* subject = h.Find<QLineEdit>("txtSubject");
    EXPECT_FALSE(address->isEnabled());
    mailTo->click();
    EXPECT_TRUE(address->isEnabled());
    EXPECT_TRUE(h.core().options().mailToChecked);
    address->setText("");
    QTest::keyClicks(address, "office@example.org");
    address->insert("\r\nBcc: x@example.org");
    EXPECT_EQ(address->text(), "office@example.org"); // a header break is refused
    EXPECT_EQ(h.core().options().mailTo, "office@example.org");
    subject->setText("Punches {Date,'YYYY'}");
    EXPECT_EQ(subject->toolTip().toStdString(), "Punches " + px::FormatDate(px::Now(), "YYYY"));
    EXPECT_EQ(h.core().options().mailSubject, "Punches {Date,'YYYY'}");

    // Text set without key events keeps the rule too: the breaks and the bell go.
    SetTextAccessibly(address, "office@example.org\r\nBcc: all@example.org\a");
    EXPECT_EQ(address->text(), "office@example.orgBcc: all@example.org");
    EXPECT_EQ(h.core().options().mailTo, "office@example.orgBcc: all@example.org");
    SetTextAccessibly(subject, "Punches\r\n\a");
    EXPECT_EQ(subject->text(), "Punches");
    EXPECT_EQ(h.core().options().mailSubject, "Punches");
}

TEST(SchedulerPage, TimeTableIsEditedByKeyboardAlone)
{
    WindowHarness h;
    ASSERT_EQ(h.loaded, 0);
    h.Find<QRadioButton>("optTimeMode_1")->click();
    h.window->Pages()->setCurrentIndex(px::Program::kSchedulerPage);
    h.window->show();
    h.window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(h.window.get()));
    auto* table = h.Find<QTableWidget>("fgdTsTable");
    auto* spin = h.Find<QSpinBox>("udTsTable");
    table->setFocus();
    table->setCurrentCell(0, 0);
    QTest::keyClick(table, Qt::Key_Down);
    QTest::keyClick(table, Qt::Key_Right); // row 2, the hour
    ASSERT_FALSE(spin->isHidden());
    // Enter goes from the table to the up-down control that edits its cell, and back.
    QTest::keyClick(table, Qt::Key_Return);
    QWidget* focus = QApplication::focusWidget();
    EXPECT_TRUE(focus == spin || spin->isAncestorOf(focus))
        << (focus ? focus->metaObject()->className() : "none") << " "
        << (focus ? focus->objectName().toStdString() : "");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    EXPECT_EQ(h.program->scheduler().table[1].hour, "01");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), table);
    // The harness ends the program while the window still shows: nothing may paint its data.
}
