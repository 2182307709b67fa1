// The bell and In/Out grids on the offscreen platform: the in-place editors, keyboard editing,
// the direction list, the grey look, and the duration dialog's refusals.
#include "FrmDuration.h"
#include "TimeGrid.h"
#include "TimePicker.h"
#include "TimeTables.h"
#include "WindowHarness.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

using px::testing::WindowHarness;

// Answers every modal box that opens with its default and keeps its text, so a handler that
// shows a message does not wait for a person.
class ModalAnswerer {
public:
    ModalAnswerer()
    {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || modal == keep_) return;
            if (auto* label = modal->findChild<QLabel*>("labErrorMsg"))
                texts.push_back(label->text().toStdString());
            else
                texts.push_back(modal->windowTitle().toStdString());
            modal->close();
        });
        timer_.start();
    }
    // A dialog under test that must stay open.
    void Keep(QWidget* w) { keep_ = w; }
    std::vector<std::string> texts;

private:
    QTimer timer_;
    QWidget* keep_ = nullptr;
};

QString Cell(px::TimeGrid* grid, int row, int column)
{
    return grid->item(row, column)->text();
}

} // namespace

TEST(TimeGrid, InPlaceEditorWritesTheRowAndEscTakesItBack)
{
    WindowHarness h;
    ASSERT_EQ(h.loaded, 0);
    h.window->SetDevicePageEnabled(1, true); // as a connected terminal has it
    auto* grid = h.window->findChild<px::TimeGrid*>("fgdRingTab");
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(Cell(grid, 0, 0), "01");
    EXPECT_EQ(Cell(grid, 31, 0), "32");
    px::TimePicker* picker = grid->Picker();
    auto* box = picker->findChild<QCheckBox*>();
    auto* time = picker->findChild<QTimeEdit*>();

    grid->EditRow(4);
    EXPECT_FALSE(picker->isHidden());
    EXPECT_FALSE(picker->HasTime()); // an empty row starts with an empty picker
    box->setChecked(true);
    time->setTime(QTime(7, 30));
    EXPECT_EQ(Cell(grid, 4, 1), "07");
    EXPECT_EQ(Cell(grid, 4, 2), "30");
    EXPECT_EQ(h.core().bellTable().rows[4].hour, "07");
    // Esc takes the edit back and hides the editor.
    time->setTime(QTime(9, 15));
    QTest::keyClick(time, Qt::Key_Escape);
    EXPECT_EQ(Cell(grid, 4, 1), "");
    EXPECT_TRUE(picker->isHidden());
    // Enter keeps it.
    grid->EditRow(4);
    box->setChecked(true);
    time->setTime(QTime(9, 15));
    QTest::keyClick(time, Qt::Key_Return);
    EXPECT_EQ(Cell(grid, 4, 1) + Cell(grid, 4, 2), "0915");
    // Delete on the grid empties the current row; clearing the box does too.
    grid->setCurrentCell(4, 1);
    QTest::keyClick(grid, Qt::Key_Delete);
    EXPECT_EQ(Cell(grid, 4, 1), "");
    grid->EditRow(2);
    box->setChecked(true);
    box->setChecked(false);
    EXPECT_EQ(h.core().bellTable().rows[2].hour, "");

    // A row of the model shows in the grid; greyed rows look disabled until saved.
    h.core().bellTable().rows[0] = {"12", "00", "", false};
    h.core().bellTable().SetAllGrey(true);
    EXPECT_EQ(Cell(grid, 0, 1), "12");
    EXPECT_EQ(grid->item(0, 1)->foreground().color(), QColor(0x80, 0x80, 0x80));
    h.core().bellTable().SetAllGrey(false);
    EXPECT_NE(grid->item(0, 1)->foreground().color(), QColor(0x80, 0x80, 0x80));
}

TEST(TimeGrid, DirectionListFollowsTheTime)
{
    WindowHarness h;
    ASSERT_EQ(h.loaded, 0);
    h.window->SetDevicePageEnabled(2, true);
    auto* grid = h.window->findChild<px::TimeGrid*>("fgdIOSTable");
    ASSERT_NE(grid, nullptr);
    QComboBox* list = grid->DirectionList();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->itemText(0), " I N");
    EXPECT_EQ(list->itemText(1), " O U T");
    auto* box = grid->Picker()->findChild<QCheckBox*>();

    grid->EditRow(0);
    EXPECT_FALSE(list->isEnabled()); // no time, no direction
    box->setChecked(true);
    EXPECT_TRUE(list->isEnabled());
    EXPECT_EQ(Cell(grid, 0, 3), "Out"); // the list's second item for an empty cell
    emit list->activated(0);
    EXPECT_EQ(Cell(grid, 0, 3), "In");
    EXPECT_EQ(h.core().ioSchedule().rows[0].direction, "In");
    box->setChecked(false); // clearing the time empties the direction too
    EXPECT_EQ(Cell(grid, 0, 3), "");
    EXPECT_FALSE(list->isEnabled());
}

TEST(DurationDialog, EmptyOrOutOfRangeValuesWriteNothingAndStay)
{
    WindowHarness h;
    ASSERT_EQ(h.loaded, 0);
    ModalAnswerer answers;
    // Off line: reading the duration fails with code 25, and the field stays empty.
    px::FrmDuration dialog(h.window.get(), h.core());
    ASSERT_TRUE(dialog.Loaded());
    ASSERT_EQ(answers.texts.size(), 1u);
    EXPECT_NE(answers.texts[0].find("current device duration"), std::string::npos);
    auto* field = dialog.findChild<QLineEdit*>("txtDura");
    auto* ok = dialog.findChild<QPushButton*>("CmdDura_0");
    EXPECT_TRUE(field->text().isEmpty());

    answers.Keep(&dialog);
    dialog.show();
    ok->click();
    QTest::qWait(100);
    EXPECT_TRUE(dialog.isVisible()); // nothing written, the dialog stays
    field->setText("300");
    ok->click();
    QTest::qWait(100);
    EXPECT_TRUE(dialog.isVisible());
    // Typed letters are refused with the "not numeric" message; pasted ones never arrive.
    field->clear();
    QTest::keyClicks(field, "4x");
    EXPECT_EQ(field->text(), "4");
    field->insert("y");
    EXPECT_EQ(field->text(), "4");
    QTest::qWait(100);
    ASSERT_EQ(answers.texts.size(), 4u);
    EXPECT_NE(answers.texts[1].find("not numeric"), std::string::npos);
    EXPECT_NE(answers.texts[2].find("between 0 and 255"), std::string::npos);
    EXPECT_NE(answers.texts[3].find("not numeric"), std::string::npos);
    dialog.reject();
}
