// The records page and the save options on the offscreen platform: the grid model's appends and
// sorting, the two copies of the output type and card-ID length, and the file-name fields' rules.
#include "RecordsPage.h"
#include "ConnectedHarness.h"
#include "FocusSteps.h"
#include "OutputNames.h"
#include "RecordModel.h"
#include "WindowHarness.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <fstream>

namespace {

using px::testing::ClickTab;
using px::testing::EraseByKeys;
using px::testing::PressAccessibly;
using px::testing::SetTextAccessibly;
using px::testing::ShowActive;
using px::testing::WindowHarness;

// A program folder whose Format.ini has two output types.
WindowHarness WithTypes()
{
    return WindowHarness("PX740", "", "", [](const std::string& home) {
        std::filesystem::create_directories(home + "/px740");
        std::ofstream(home + "/px740/Format.ini", std::ios::binary)
            << "[GENERAL]\r\nCardIDFilterEnabled=FALSE\r\n[CSV]\r\nFormat={UID}\r\n"
               "[Fixed]\r\nFormat={CID}\r\n";
    });
}

} // namespace

TEST(RecordGridModel, AppendsAreInsertionsAndSortsAreResets)
{
    px::RecordGrid grid;
    px::RecordModel model(grid);
    grid.changed = [&] { model.Sync(); };
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    grid.Append({"2", "00120", "1", "2026/03/05", "08:00:00"});
    grid.Append({"10", "00007", "0", "2026/03/04", "17:00:00"});
    grid.Append({"1", "00120", "0", "2026/03/05", "07:00:00"});
    EXPECT_EQ(inserted.count(), 3);
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.data(model.index(1, 1), Qt::DisplayRole).toString(), "00007");

    // Text order, as the grid's string sort has it: "10" before "2".
    grid.Sort(0, 0, true);
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(model.data(model.index(0, 0), Qt::DisplayRole).toString(), "1");
    EXPECT_EQ(model.data(model.index(1, 0), Qt::DisplayRole).toString(), "10");
    // Two columns: the card ID first, the event second.
    grid.Sort(1, 2, false);
    EXPECT_EQ(model.data(model.index(0, 1), Qt::DisplayRole).toString(), "00120");
    EXPECT_EQ(model.data(model.index(0, 2), Qt::DisplayRole).toString(), "1");
    EXPECT_EQ(model.data(model.index(2, 1), Qt::DisplayRole).toString(), "00007");
    // A card ID with bytes that are not UTF-8 shows byte for byte.
    grid.Append({"4", std::string("\xe9\x01", 2), "0", "2026/03/05", "07:00:00"});
    EXPECT_EQ(model.data(model.index(3, 1), Qt::DisplayRole).toString(),
              QString::fromLatin1("\xe9\x01", 2));
    grid.Clear();
    EXPECT_EQ(model.rowCount(), 0);
}

TEST(RecordsPage, OutputTypeAndLengthShowTheSameValueOnBothPages)
{
    WindowHarness h = WithTypes();
    ASSERT_EQ(h.loaded, 0);
    h.window->SetDevicePageEnabled(3, true); // as with a terminal connected
    auto* type = h.Find<QComboBox>("cmbType");
    auto* type2 = h.Find<QComboBox>("cmbType2");
    auto* digital = h.Find<QLineEdit>("txtDigital");
    auto* digital2 = h.Find<QLineEdit>("txtDigital2");
    ASSERT_EQ(type->count(), 3);
    EXPECT_EQ(type->itemText(0), "(Default)");
    EXPECT_EQ(type2->itemText(2), "Fixed");
    EXPECT_EQ(digital->text(), "14");

    emit type->activated(1);
    type->setCurrentIndex(1);
    EXPECT_EQ(type2->currentIndex(), 1);
    EXPECT_EQ(h.core().options().format, "CSV");
    // The length counts only for "(Default)".
    EXPECT_FALSE(digital->isEnabled());
    EXPECT_FALSE(h.Find<QLabel>("lblDisp2")->isEnabled());
    type2->setCurrentIndex(0);
    emit type2->activated(0);
    EXPECT_EQ(type->currentIndex(), 0);
    EXPECT_TRUE(digital2->isEnabled());

    // Digits only, up to 99, leading zeros dropped; the other box follows.
    ShowActive(h.window.get());
    ClickTab(h.window->Pages(), 3);
    EraseByKeys(digital);
    QTest::keyClicks(digital, "08");
    EXPECT_EQ(digital->text(), "8");
    EXPECT_EQ(digital2->text(), "8");
    EXPECT_EQ(h.core().options().nIDLen, 8);
    QTest::keyClicks(digital, "9");
    EXPECT_EQ(digital->text(), "89");
    QTest::keyClicks(digital, "9"); // 899 is above 99
    EXPECT_EQ(digital->text(), "89");
    digital->insert("x");
    EXPECT_EQ(digital->text(), "89");
    // Left empty, by Tab or by a switch to another page: 14 in both boxes.
    EraseByKeys(digital);
    EXPECT_EQ(h.core().options().nIDLen, 0);
    QTest::keyClick(digital, Qt::Key_Tab);
    EXPECT_EQ(digital->text(), "14");
    EXPECT_EQ(digital2->text(), "14");
    EXPECT_EQ(h.core().options().nIDLen, 14);
    ClickTab(h.window->Pages(), 4);
    EraseByKeys(digital2);
    ClickTab(h.window->Pages(), 0);
    EXPECT_EQ(digital2->text(), "14");
    EXPECT_EQ(digital->text(), "14");
    EXPECT_EQ(h.core().options().idLenText, "14");
}

TEST(RecordsPage, LengthSetWithoutKeysReachesTheOptions)
{
    WindowHarness h;
    ASSERT_EQ(h.loaded, 0);
    auto* digital = h.Find<QLineEdit>("txtDigital");
    auto* digital2 = h.Find<QLineEdit>("txtDigital2");
    SetTextAccessibly(digital2, "0x7");
    EXPECT_EQ(digital2->text(), "7");
    EXPECT_EQ(digital->text(), "7");
    EXPECT_EQ(h.core().options().nIDLen, 7);
    SetTextAccessibly(digital, "250");
    EXPECT_EQ(digital->text(), "99");
    EXPECT_EQ(h.core().options().nIDLen, 99);
    SetTextAccessibly(digital, "");
    EXPECT_EQ(digital->text(), "14");
    EXPECT_EQ(h.core().options().nIDLen, 14);
}

TEST(RecordsPage, FileNameFieldsRefuseWhatAFileNameCannotHold)
{
    WindowHarness h;
    ASSERT_EQ(h.loaded, 0);
    px::Options& o = h.core().options();
    auto* fixed = h.Find<QRadioButton>("OptName_0");
    auto* byDate = h.Find<QRadioButton>("OptName_1");
    auto* fixName = h.Find<QLineEdit>("txtFixName");
    auto* dateName = h.Find<QComboBox>("cmbFileName");
    auto* subName = h.Find<QLineEdit>("txtSubName");
    EXPECT_TRUE(byDate->isChecked());
    EXPECT_FALSE(fixName->isEnabled());
    EXPECT_EQ(dateName->count(), 8);
    EXPECT_EQ(dateName->itemText(4), "YYYY-MM-DD");

    ShowActive(h.window.get());
    ClickTab(h.window->Pages(), 4);
    fixed->click();
    EXPECT_TRUE(o.optFixName);
    EXPECT_TRUE(fixName->isEnabled());
    EXPECT_FALSE(subName->isEnabled());
    EraseByKeys(fixName);
    QTest::keyClicks(fixName, "Att:*{Date,'YYYYMM'}?.txt");
    EXPECT_EQ(fixName->text(), "Att{Date,'YYYYMM'}.txt");
    fixName->insert("<x>");
    EXPECT_EQ(fixName->text(), "Att{Date,'YYYYMM'}.txt");
    EXPECT_EQ(o.tsfileName, "Att" + px::FormatDate(px::Now(), "YYYYMM") + ".txt");
    EXPECT_EQ(fixName->toolTip().toStdString(), o.tsfileName);

    // Set without keys, the forbidden characters go too.
    SetTextAccessibly(fixName, "Rec<\\|>\"day\".txt");
    EXPECT_EQ(fixName->text(), "Recday.txt");
    EXPECT_EQ(o.fixName, "Recday.txt");

    byDate->click();
    EraseByKeys(subName);
    QTest::keyClicks(subName, "c.s/v");
    EXPECT_EQ(subName->text(), "csv");
    dateName->setCurrentText("YYYY-MM-DD");
    EXPECT_EQ(o.tsfileName, "YYYY-MM-DD.csv");
    SetTextAccessibly(subName, "t.x?t");
    EXPECT_EQ(o.subName, "txt");

    // A save folder that does not exist falls back to the records folder when it is left.
    auto* path = h.Find<QLineEdit>("txtSavePath");
    EraseByKeys(path);
    QTest::keyClicks(path, "/no/such/folder/");
    EXPECT_EQ(o.tsavePath, "/no/such/folder/");
    QTest::keyClick(path, Qt::Key_Tab);
    EXPECT_EQ(o.tsavePath, h.core().paths().RecordsDir());
    EXPECT_EQ(path->text().toStdString(), h.core().paths().RecordsDir());
}

TEST(RecordsPage, TheFileChosenForTheRunsLastsThroughRunsAndSaves)
{
    WindowHarness h;
    ASSERT_EQ(h.loaded, 0);
    px::Options& o = h.core().options();
    ASSERT_FALSE(o.optFixName);
    const std::string folder = h.home() + "/out";
    std::filesystem::create_directories(folder);
    QTimer::singleShot(0, [&folder] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->selectFile(QString::fromStdString(folder + "/Punches.csv"));
        static_cast<QDialog*>(dialog)->accept(); // as its Save button does
    });
    h.Find<QPushButton>("cmdChgPath")->click();
    EXPECT_EQ(o.tsavePath, folder + "/");
    // Every run and save works the name out again: it must come out as the one chosen.
    EXPECT_EQ(px::OutputFileName(o, px::Now()), "Punches.csv");
    EXPECT_TRUE(h.Find<QRadioButton>("OptName_0")->isChecked());
    EXPECT_EQ(h.Find<QLineEdit>("txtFixName")->text(), "Punches.csv");
}

TEST(RecordsPage, UploadCaptionFollowsTheStateInEveryLanguage)
{
    WindowHarness h;
    ASSERT_EQ(h.loaded, 0);
    auto* upload = h.Find<QPushButton>("cmdRecord_0");
    h.window->SetUploadRunning(true);
    EXPECT_EQ(upload->text(), "Stop");
    h.Find<QComboBox>("ComboLan")->setCurrentText("German");
    EXPECT_EQ(upload->text(), "Stopp"); // derived from the state, not read back from the caption
    h.window->SetUploadRunning(false);
    EXPECT_EQ(upload->text(), "Laden");
    EXPECT_EQ(h.Find<QTableView>("fgdRecord")->model()->headerData(1, Qt::Horizontal).toString(),
              "Kartennummer");
}

TEST(RecordsPage, SavePressedWithoutMovingTheFocusUsesTheLengthTheBoxIsLeftWith)
{
    px::testing::Connected c;
    ASSERT_TRUE(c.sim->ok());
    ASSERT_EQ(c.h->loaded, 0);
    WindowHarness& h = *c.h;
    c.Open();
    ASSERT_EQ(h.window->windowTitle(), "PX740 V1.0 R0 Terminal Manager  001-Gate");
    ShowActive(h.window.get());
    ClickTab(h.window->Pages(), 3);
    EraseByKeys(h.Find<QLineEdit>("txtDigital"));
    // The Save dialog takes this file; the erase question is answered No. Any other dialog
    // is a fault: its text is kept for the failure message and it is closed.
    const std::string file = h.home() + "/saved.txt";
    std::string unexpected;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&file, &unexpected] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
            dialog->selectFile(QString::fromStdString(file));
            static_cast<QDialog*>(dialog)->accept();
        } else if (auto* box = qobject_cast<QMessageBox*>(modal);
                   box && box->text().contains("Erase") && box->button(QMessageBox::No)) {
            box->button(QMessageBox::No)->click();
        } else if (auto* other = qobject_cast<QDialog*>(modal)) {
            const auto* box = qobject_cast<QMessageBox*>(other);
            unexpected += "[" + (box ? box->text() : other->windowTitle()).toStdString() + "]";
            other->reject();
        }
    });
    answer.start(50);
    // A voice command presses Save; the focus stays in the emptied box.
    PressAccessibly(h.Find<QPushButton>("cmdRecord_1"));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return px::testing::Lines(file).size() == 3 && !QApplication::activeModalWidget(); },
        20000))
        << "lines saved: " << px::testing::Lines(file).size() << ", other dialogs: " << unexpected;
    EXPECT_EQ(unexpected, "");
    // The card IDs padded to the 14 digits the empty box stands for, not left as they came.
    const auto fields = QString::fromStdString(px::testing::Lines(file)[0]).split(',');
    ASSERT_GE(fields.size(), 2);
    EXPECT_EQ(fields[1].size(), 14) << fields[1].toStdString();
    EXPECT_EQ(h.Find<QLineEdit>("txtDigital")->text(), "14");
}

TEST(RecordsPage, ASecondSortKeepsTheSelectedColumns)
{
    WindowHarness h;
    ASSERT_EQ(h.loaded, 0);
    h.window->SetDevicePageEnabled(3, true);
    h.window->Pages()->setCurrentIndex(3);
    // Shown to the end: the program goes first, and the grid must not paint its rows after it.
    h.window->show();
    // Record numbers as text sort "1", "10", "11", ...; the card IDs grow with the number.
    for (int i = 1; i <= 12; ++i)
        h.core().recordGrid().Append(
            {std::to_string(i), "0000" + std::to_string(100 + i), "0", "2026/01/05", "08:00:00"});
    auto* grid = h.Find<QTableView>("fgdRecord");
    // Appended rows show in batches.
    for (int i = 0; i < 200 && grid->model()->rowCount() < 12; ++i)
        QTest::qWait(10);
    ASSERT_EQ(grid->model()->rowCount(), 12);
    auto cards = [&] {
        QStringList column;
        for (int r = 0; r < grid->model()->rowCount(); ++r)
            column << grid->model()->index(r, 1).data().toString();
        return column;
    };
    QStringList ascending = cards();
    QStringList descending(ascending.rbegin(), ascending.rend());

    const QRect cell = grid->visualRect(grid->model()->index(2, 1));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseClick(h.Find<QPushButton>("fdgCmd_1"), Qt::LeftButton); // Sort Des.
    EXPECT_EQ(cards(), descending);
    QTest::mouseClick(h.Find<QPushButton>("fdgCmd_0"), Qt::LeftButton); // Sort Asc.
    EXPECT_EQ(cards(), ascending);
    EXPECT_EQ(grid->currentIndex().column(), 1);
}
