// Page 0 on the offscreen platform: the edit fields' rules for typed and pasted text, the enabled
// states, connecting to a simulated terminal, and the clock dialog's running time.
#include "FrmTime.h"
#include "OperationGuard.h"
#include "SimProcess.h"
#include "WindowHarness.h"

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

using px::testing::SimProcess;
using px::testing::WindowHarness;

QString ListText(QListWidget* list)
{
    QStringList lines;
    for (int i = 0; i < list->count(); ++i)
        lines << list->item(i)->text();
    return lines.join('|');
}

// A harness whose directory has terminal 1 on COM5, served by a simulator on a pty.
struct Connected {
    std::unique_ptr<SimProcess> sim;
    std::unique_ptr<WindowHarness> h;
    explicit Connected(std::vector<std::string> simArgs = {})
    {
        simArgs.insert(simArgs.begin(), {"--pty", "--id", "1", "--records", "3"});
        sim = std::make_unique<SimProcess>(simArgs);
        h = std::make_unique<WindowHarness>("PX740", "", "", [this](const std::string& home) {
            std::ofstream(home + "/config/serlo/ports.ini", std::ios::binary)
                << "[SERIALCOMM]\r\n"
                << sim->endpoint() << "=COM5\r\n";
            std::filesystem::create_directories(home + "/px740");
            std::ofstream(home + "/px740/PX740.TXT", std::ios::binary)
                << "1,Gate,,5,19200,0.0.0.0,1001\r\n";
        });
        h->program->core().linkTimeoutMs = 2000;
    }
    void Open()
    {
        auto* list = h->Find<QListWidget>("lstDevice");
        emit list->itemDoubleClicked(list->item(1));
    }
};

} // namespace

TEST(TerminalsPage, FieldRulesHoldForTypedAndPastedText)
{
    WindowHarness h;
    ASSERT_EQ(h.loaded, 0);
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
    name->selectAll();
    QTest::keyClicks(name, "Ga,te");
    EXPECT_EQ(name->text(), "Gate");
    name->insert(",x");
    EXPECT_EQ(name->text(), "Gate");
    EXPECT_EQ(ListText(list), "000-Default|001-Gate");
    EXPECT_EQ(h.core().directory().table[1].Name, "Gate");
    name->setText(QString(200, 'n'));
    EXPECT_LE(name->text().size(), 64);

    // The TCP port: digits only, at most 65535, leading zeros dropped, empty becomes 1001.
    port->selectAll();
    QTest::keyClicks(port, "0080");
    EXPECT_EQ(port->text(), "80");
    port->insert("abc");
    EXPECT_EQ(port->text(), "80");
    port->selectAll();
    port->insert("99999");
    EXPECT_EQ(port->text(), "80");
    EXPECT_EQ(h.core().directory().table[1].IPPort, 80);
    port->clear();
    emit port->editingFinished();
    EXPECT_EQ(port->text(), "1001");

    // An address is taken when it is whole; a number above 255 cannot be typed.
    address->selectAll();
    QTest::keyClicks(address, "999.1.1.1");
    EXPECT_FALSE(address->text().startsWith("999"));
    address->selectAll();
    QTest::keyClicks(address, "10.1.1.");
    EXPECT_EQ(h.core().directory().table[1].IPAddr, "99.1.1.1"); // "10.1.1." is not whole
    QTest::keyClicks(address, "20");
    EXPECT_EQ(h.core().directory().table[1].IPAddr, "10.1.1.20");
    EXPECT_EQ(comm->currentIndex(), 0); // an address means the device server
    EXPECT_EQ(h.core().directory().table[1].ComPort, 0);

    // A COM port clears the address.
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
