// Page 0 on the offscreen platform: the edit fields' rules for typed and pasted text, the enabled
// states, connecting to a simulated terminal, and the clock dialog's running time.
#include "ConnectedHarness.h"
#include "FocusSteps.h"
#include "FrmTime.h"
#include "OperationGuard.h"

#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTimeEdit>
#include <gtest/gtest.h>

#include <fstream>

namespace {

using px::testing::ClickInto;
using px::testing::ClickTab;
using px::testing::Connected;
using px::testing::EraseByKeys;
using px::testing::SetTextAccessibly;
using px::testing::ShowActive;
using px::testing::WindowHarness;

QString ListText(QListWidget* list)
{
    QStringList lines;
    for (int i = 0; i < list->count(); ++i)
        lines << list->item(i)->text();
    return lines.join('|');
}

} // namespace

TEST(TerminalsPage, FieldRulesHoldForTypedAndPastedText)
{
    WindowHarness h;
    ASSERT_EQ(h.loaded, 0);
    ShowActive(h.window.get());
    auto* list = h.Find<QListWidget>("lstDevice");
    auto* name = h.Find<QLineEdit>("txtName");
    auto* comm = h.Find<QComboBox>("cboComm");
    auto* address = h.Find<QLineEdit>("txtIAddr");
    auto* port = h.Find<QLineEdit>("txtiPort");
    EXPECT_EQ(ListText(list), "000-Default");
    EXPECT_EQ(comm->count(), 256);
    EXPECT_EQ(comm->itemText(0), "HB400K7");
    EXPECT_EQ(comm->itemText(255), "COM 255");

    h.Find<QPushButton>("cmdList_0")->click();
    EXPECT_EQ(ListText(list), "000-Default|001-Machine-1");
    list->setCurrentRow(1);
    EXPECT_EQ(name->text(), "Machine-1");
    EXPECT_EQ(port->text(), "1001");

    // A comma would split the directory line: refused typed and pasted.
    EraseByKeys(name);
    QTest::keyClicks(name, "Ga,te");
    EXPECT_EQ(name->text(), "Gate");
    name->insert(",x");
    EXPECT_EQ(name->text(), "Gate");
    EXPECT_EQ(ListText(list), "000-Default|001-Gate");
    EXPECT_EQ(h.core().directory().table[1].Name, "Gate");
    name->setText(QString(200, 'n'));
    EXPECT_LE(name->text().size(), 64);

    // The TCP port: digits only, at most 65535, leading zeros dropped.
    EraseByKeys(port);
    QTest::keyClicks(port, "0080");
    EXPECT_EQ(port->text(), "80");
    port->insert("abc");
    EXPECT_EQ(port->text(), "80");
    port->selectAll();
    port->insert("99999");
    EXPECT_EQ(port->text(), "80");
    EXPECT_EQ(h.core().directory().table[1].IPPort, 80);

    // An address is taken when it is whole; a number above 255 cannot be typed.
    EraseByKeys(address);
    QTest::keyClicks(address, "999.1.1.1");
    EXPECT_EQ(address->text(), "99.1.1.1");
    EraseByKeys(address);
    QTest::keyClicks(address, "10.1.1.");
    EXPECT_EQ(h.core().directory().table[1].IPAddr, "99.1.1.1"); // "10.1.1." is not whole
    QTest::keyClicks(address, "20");
    EXPECT_EQ(h.core().directory().table[1].IPAddr, "10.1.1.20");
    EXPECT_EQ(comm->currentIndex(), 0); // an address means the device server
    EXPECT_EQ(h.core().directory().table[1].ComPort, 0);

    // A COM port clears the address, also one chosen while the address field has the focus.
    ASSERT_TRUE(address->hasFocus());
    comm->setCurrentIndex(3);
    EXPECT_EQ(address->text(), "0.0.0.0");
    EXPECT_EQ(h.core().directory().table[1].ComPort, 3);

    // The directory is full at 255 terminals: Add then does nothing.
    for (int i = 0; i < 260; ++i)
        h.Find<QPushButton>("cmdList_0")->click();
    EXPECT_EQ(list->count(), 256);
    EXPECT_EQ(list->item(255)->text(), "255-Machine-255");

    // The default line cannot be deleted; another can.
    list->setCurrentRow(0);
    h.Find<QPushButton>("cmdList_1")->click();
    EXPECT_EQ(list->count(), 256);
    list->setCurrentRow(1);
    h.Find<QPushButton>("cmdList_1")->click();
    EXPECT_EQ(list->count(), 255);
    EXPECT_EQ(h.core().directory().table[1].ID, 0);
}

TEST(TerminalsPage, LeaveRulesRunOnEveryWayOutOfAField)
{
    WindowHarness h("PX740", "", "", [](const std::string& home) {
        std::filesystem::create_directories(home + "/px740");
        std::ofstream(home + "/px740/PX740.TXT", std::ios::binary)
            << "1,Gate,,0,19200,10.1.1.20,2000\r\n";
    });
    ASSERT_EQ(h.loaded, 0);
    ShowActive(h.window.get());
    h.Find<QListWidget>("lstDevice")->setCurrentRow(1);
    auto* name = h.Find<QLineEdit>("txtName");
    auto* address = h.Find<QLineEdit>("txtIAddr");
    auto* port = h.Find<QLineEdit>("txtiPort");
    const px::DeviceEntry& gate = h.core().directory().table[1];
    ASSERT_EQ(port->text(), "2000");
    auto mirror = [&h] { return h.core().settings().Get("DeviceList", "ID1", ""); };

    // Tab: a blank port becomes the default port, in the entry and its copy.
    EraseByKeys(port);
    EXPECT_EQ(gate.IPPort, 0);
    QTest::keyClick(port, Qt::Key_Tab);
    EXPECT_FALSE(port->hasFocus());
    EXPECT_EQ(port->text(), "1001");
    EXPECT_EQ(gate.IPPort, 1001);
    EXPECT_EQ(mirror(), "1,Gate,,0,19200,10.1.1.20,1001");
    // Enter, a click elsewhere, and a switch to another page do the same.
    EraseByKeys(port);
    QTest::keyClick(port, Qt::Key_Return);
    EXPECT_EQ(port->text(), "1001");
    EraseByKeys(port);
    ClickInto(name);
    EXPECT_EQ(port->text(), "1001");
    EraseByKeys(port);
    ClickTab(h.window->Pages(), 4);
    EXPECT_EQ(port->text(), "1001");
    ClickTab(h.window->Pages(), 0);

    // A half-typed address goes back to the entry's when it is left, by Tab or by Enter.
    EraseByKeys(address);
    QTest::keyClicks(address, "10.1.1.");
    QTest::keyClick(address, Qt::Key_Tab);
    EXPECT_EQ(address->text(), "10.1.1.20");
    EraseByKeys(address);
    QTest::keyClicks(address, "10.9");
    QTest::keyClick(address, Qt::Key_Enter);
    EXPECT_EQ(address->text(), "10.1.1.20");
    EXPECT_EQ(gate.IPAddr, "10.1.1.20");

    // Closing the window with the port blank saves a usable port.
    EraseByKeys(port);
    EXPECT_TRUE(h.window->close());
    EXPECT_EQ(px::testing::ReadAll(h.home() + "/px740/PX740.TXT"),
              "1,Gate,,0,19200,10.1.1.20,1001\r\n");
    EXPECT_NE(h.SettingsText().find("iAddr=10.1.1.20"), std::string::npos);
}

TEST(TerminalsPage, TextSetWithoutKeysKeepsTheFieldRules)
{
    WindowHarness h;
    ASSERT_EQ(h.loaded, 0);
    h.Find<QPushButton>("cmdList_0")->click();
    h.Find<QListWidget>("lstDevice")->setCurrentRow(1);
    auto* port = h.Find<QLineEdit>("txtiPort");
    auto* address = h.Find<QLineEdit>("txtIAddr");
    const px::DeviceEntry& entry = h.core().directory().table[1];
    SetTextAccessibly(port, "8a0b");
    EXPECT_EQ(port->text(), "80");
    EXPECT_EQ(entry.IPPort, 80);
    SetTextAccessibly(port, "99999");
    EXPECT_EQ(port->text(), "65535");
    EXPECT_EQ(entry.IPPort, 65535);
    // Nobody edits the field: a blank text is left at once.
    SetTextAccessibly(port, "");
    EXPECT_EQ(port->text(), "1001");
    EXPECT_EQ(h.core().settings().Get("DeviceList", "ID1", ""), "1,Machine-1,,0,0,0.0.0.0,1001");

    SetTextAccessibly(address, "10.1.x1.20\n");
    EXPECT_EQ(address->text(), "10.1.1.20");
    EXPECT_EQ(entry.IPAddr, "10.1.1.20");
    SetTextAccessibly(address, "10.1.1."); // not whole: the entry's address stays
    EXPECT_EQ(address->text(), "10.1.1.20");

    SetTextAccessibly(h.Find<QLineEdit>("txtName"), "Main, gate");
    EXPECT_EQ(entry.Name, "Main gate");
}

TEST(TerminalsPage, OffLineAtStartAndHeldDuringAnOperation)
{
    WindowHarness h;
    ASSERT_EQ(h.loaded, 0);
    auto* setTime = h.Find<QPushButton>("cmdPX700_2");
    EXPECT_FALSE(setTime->isEnabled());
    EXPECT_FALSE(h.Find<QRadioButton>("optMode_0")->isEnabled());
    EXPECT_FALSE(h.Find<QPushButton>("cmdPX700_1")->isEnabled()); // "Dial" has no action

    h.window->SetDeviceButtonsEnabled(true);
    h.window->SetRecordModeOptionsEnabled(true, false, true);
    EXPECT_TRUE(setTime->isEnabled());
    EXPECT_TRUE(h.Find<QRadioButton>("optMode_2")->isEnabled());
    EXPECT_FALSE(h.Find<QRadioButton>("optMode_3")->isEnabled());
    // A version that is not a "V" version leaves the "Schedule" option as it was.
    h.window->SetRecordModeOptionsEnabled(true, true, false);
    EXPECT_FALSE(h.Find<QRadioButton>("optMode_3")->isEnabled());
    {
        px::OperationGuard running(h.core());
        EXPECT_FALSE(setTime->isEnabled());
        EXPECT_FALSE(h.Find<QListWidget>("lstDevice")->isEnabled());
        EXPECT_FALSE(h.Find<QLineEdit>("txtName")->isEnabled());
    }
    EXPECT_TRUE(setTime->isEnabled());
    EXPECT_TRUE(h.Find<QListWidget>("lstDevice")->isEnabled());

    h.window->ShowRecordMode(-1);
    EXPECT_FALSE(h.Find<QGroupBox>("frameModeoptMode")->isVisibleTo(h.window.get()));
}

TEST(TerminalsPage, DoubleClickConnectsAndReadsTheRecordMode)
{
    Connected c;
    ASSERT_TRUE(c.sim->ok());
    ASSERT_EQ(c.h->loaded, 0);
    c.Open();
    WindowHarness& h = *c.h;
    EXPECT_EQ(h.window->windowTitle(), "PX740 V1.0 R0 Terminal Manager  001-Gate");
    EXPECT_EQ(h.Status(), "PX740 Firmware Version V1.7");
    EXPECT_EQ(h.Find<QLabel>("labCount")->text(), "00000 / 00003");
    EXPECT_TRUE(h.Find<QPushButton>("cmdPX700_2")->isEnabled());
    EXPECT_TRUE(h.Find<QTabWidget>("SSTab")->isTabEnabled(1));
    // Register 66 holds "00": Manual, selected as a click would (which writes it back).
    EXPECT_TRUE(h.Find<QRadioButton>("optMode_0")->isChecked());
    EXPECT_FALSE(c.sim->waitPrefix("RX \\x02C42,00").empty());
    EXPECT_TRUE(h.Find<QRadioButton>("optMode_3")->isEnabled());
    EXPECT_FALSE(h.Find<QTabWidget>("SSTab")->isTabEnabled(2));

    // "Schedule" opens the In/Out page.
    h.Find<QRadioButton>("optMode_3")->click();
    EXPECT_FALSE(c.sim->waitPrefix("RX \\x02C42,03").empty());
    EXPECT_TRUE(h.Find<QTabWidget>("SSTab")->isTabEnabled(2));

    // Editing the connected entry's port leaves the connection.
    h.Find<QComboBox>("cboComm")->setCurrentIndex(6);
    EXPECT_FALSE(h.Find<QPushButton>("cmdPX700_2")->isEnabled());
    EXPECT_FALSE(h.core().session().link().PortOpen());
}

TEST(TerminalsPage, OldFirmwareHasNoScheduleMode)
{
    Connected c({"--version", "V1.6"});
    ASSERT_EQ(c.h->loaded, 0);
    c.Open();
    EXPECT_TRUE(c.h->Find<QRadioButton>("optMode_2")->isEnabled());
    EXPECT_FALSE(c.h->Find<QRadioButton>("optMode_3")->isEnabled());
}

TEST(ClockDialog, RunsPastMidnightIntoTheNextDay)
{
    px::Texts none;
    px::FrmTime dialog(nullptr, none, px::Stamp{2026, 12, 31, 23, 59, 58});
    EXPECT_TRUE(dialog.TimerRunning());
    dialog.Tick();
    dialog.Tick();
    EXPECT_EQ(dialog.Shown(), QDateTime(QDate(2027, 1, 1), QTime(0, 0, 0)));
    auto* date = dialog.findChild<QDateEdit*>("DTPDate");
    EXPECT_EQ(date->date(), QDate(2027, 1, 1));
    // An edit of the time takes the pickers' values and restarts the second.
    dialog.findChild<QTimeEdit*>("DTPTime")->setTime(QTime(8, 30, 0));
    EXPECT_EQ(dialog.Shown(), QDateTime(QDate(2027, 1, 1), QTime(8, 30, 0)));
    dialog.findChild<QPushButton*>("cmdTime_0")->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    const px::Stamp chosen = dialog.Chosen();
    EXPECT_EQ(chosen.year, 2027);
    EXPECT_EQ(chosen.hour, 8);
    EXPECT_EQ(chosen.minute, 30);
    EXPECT_FALSE(dialog.TimerRunning()); // stopped on every way out
}

TEST(ClockDialog, CloseBoxCancelsAndStopsTheClock)
{
    px::Texts none;
    px::FrmTime dialog(nullptr, none, px::Stamp{2026, 3, 5, 8, 0, 0});
    dialog.show();
    dialog.close();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(dialog.TimerRunning());
}
