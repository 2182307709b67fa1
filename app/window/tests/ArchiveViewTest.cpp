// The archive view on the offscreen platform: opened from the records page, it shows the first
// page of the punches at once and more as the grid scrolls; the date, terminal and card filters
// select; Export writes the selected punches through the chosen output type into the file given
// in the file dialog.
#include "ArchiveModel.h"
#include "FrmArchive.h"
#include "SqliteDb.h"
#include "WindowHarness.h"

#include "Wait.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdio>

namespace {

using px::testing::WindowHarness;

// 700 punches of terminal 1 on 2026-03-01 .. 2026-03-07 (100 a day) and 300 of terminal 2 on
// 2026-03-02, in the program folder's archive.
void Seed(const std::string& home)
{
    px::archive::SqliteDb db(home + "/px740/Records/punches.db");
    std::string error;
    ASSERT_TRUE(db.Open(&error)) << error;
    std::vector<px::archive::Punch> punches;
    const auto add = [&](int terminal, long index, int day, int minute) {
        char card[32], raw[96], at[48];
        std::snprintf(card, sizeof card, "%010ld", 4200000000L + terminal * 100000 + index);
        std::snprintf(raw, sizeof raw, "A%04lX,%s,%d,2026/03/%02d,%02d:%02d:00", index, card,
                      static_cast<int>(index % 4), day, 8 + minute / 60, minute % 60);
        std::snprintf(at, sizeof at, "2026-03-%02d %02d:%02d:00", day, 8 + minute / 60,
                      minute % 60);
        px::archive::Punch p;
        p.terminalId = terminal;
        p.recordIndex = index;
        p.terminalName = terminal == 1 ? "Gate" : "Yard";
        p.cardId = card;
        p.event = std::to_string(index % 4);
        p.punchedAt = at;
        p.downloadedAt = "2026-03-08T06:00:00.000Z";
        p.host = "pc1";
        p.raw = raw;
        punches.push_back(p);
    };
    for (long i = 0; i < 700; ++i)
        add(1, i, 1 + static_cast<int>(i / 100), static_cast<int>(i % 100));
    for (long i = 0; i < 300; ++i)
        add(2, i, 2, static_cast<int>(i % 300) / 3);
    ASSERT_TRUE(db.Ship(punches, {"pc1", "/x"}, {"j", {1, 1}}, &error)) << error;
}

class View : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(h.loaded, 0);
        Seed(h.home());
        h.window->SetDevicePageEnabled(3, true); // as with a terminal connected
        h.window->show();
        QTest::mouseClick(h.Find<QPushButton>("cmdOpenArchive"), Qt::LeftButton);
        frm = h.Find<px::FrmArchive>("frmArchive");
        ASSERT_TRUE(frm);
        ASSERT_TRUE(frm->isVisible());
        model = frm->Model();
        grid = h.Find<QTableView>("fgdArchive");
    }
    void TypeDate(const char* name, const QString& text)
    {
        auto* box = h.Find<QDateEdit>(name);
        box->setFocus();
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(box, text);
    }
    void ShowAndWait()
    {
        QTest::mouseClick(h.Find<QPushButton>("cmdArchive_0"), Qt::LeftButton);
        ASSERT_TRUE(px::waitUntil([&] { return !model->Loading(); }, std::chrono::seconds(10)));
    }
    // Scrolls to the end until every punch is in the grid.
    void ScrollToTheEnd()
    {
        for (int round = 0; round < 100 && !model->Complete(); ++round) {
            grid->setFocus();
            QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
            px::waitUntil([&] { return !model->Loading(); }, std::chrono::seconds(10));
        }
    }
    QString Label() const { return h.Find<QLabel>("labArchive")->text(); }
    QString Cell(int row, int column) const
    {
        return model->data(model->index(row, column), Qt::DisplayRole).toString();
    }

    WindowHarness h;
    px::FrmArchive* frm = nullptr;
    px::ArchiveModel* model = nullptr;
    QTableView* grid = nullptr;
};

} // namespace

TEST_F(View, TheFirstPageShowsAndMoreComeAsTheGridScrolls)
{
    TypeDate("dtpArchiveFrom", "2026-03-01");
    TypeDate("dtpArchiveTo", "2026-03-31");
    ShowAndWait();
    EXPECT_EQ(model->rowCount(), px::ArchiveModel::kPage);
    EXPECT_EQ(Label(), "200+ punches");
    EXPECT_EQ(Cell(0, 0), "001 Gate");
    EXPECT_EQ(Cell(0, 1), "1");
    EXPECT_EQ(Cell(0, 2), "4200100000");
    EXPECT_EQ(Cell(0, 4), "2026-03-01 08:00:00");
    EXPECT_EQ(Cell(0, 5), "2026-03-08T06:00:00.000Z");
    EXPECT_EQ(Cell(0, 6), "pc1");
    ScrollToTheEnd();
    ASSERT_EQ(model->rowCount(), 1000);
    EXPECT_EQ(Label(), "1000 punches");
    // In punch-time order throughout.
    for (int r = 1; r < model->rowCount(); ++r)
        ASSERT_LE(Cell(r - 1, 4), Cell(r, 4)) << r;
}

TEST_F(View, TheFiltersSelect)
{
    TypeDate("dtpArchiveFrom", "2026-03-02");
    TypeDate("dtpArchiveTo", "2026-03-03");
    ShowAndWait();
    ScrollToTheEnd();
    EXPECT_EQ(model->rowCount(), 500) << "two days of terminal 1 and a day of terminal 2";
    auto* terminal = h.Find<QComboBox>("cboArchiveTerminal");
    ASSERT_EQ(terminal->count(), 1) << "an empty directory: only (All)";
    auto* card = h.Find<QLineEdit>("txtArchiveCard");
    card->setFocus();
    QTest::keyClicks(card, "42002");
    QTest::keyClick(card, Qt::Key_Return);
    ASSERT_TRUE(px::waitUntil([&] { return !model->Loading(); }, std::chrono::seconds(10)));
    ScrollToTheEnd();
    EXPECT_EQ(model->rowCount(), 300);
    EXPECT_EQ(Cell(0, 0), "002 Yard");
    // A range with no punches.
    card->clear();
    TypeDate("dtpArchiveFrom", "2026-04-01");
    TypeDate("dtpArchiveTo", "2026-04-30");
    ShowAndWait();
    EXPECT_EQ(model->rowCount(), 0);
    EXPECT_EQ(Label(), "0 punches");
}

TEST_F(View, ExportWritesTheSelectedPunchesIntoTheChosenFile)
{
    TypeDate("dtpArchiveFrom", "2026-03-07");
    TypeDate("dtpArchiveTo", "2026-03-07");
    ShowAndWait();
    const std::string path = h.home() + "/export.txt";
    // The file dialog is answered as a person would: the name typed, then Enter.
    QTimer answer;
    answer.setInterval(20);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        if (!name) return;
        answer.stop();
        // Pasted rather than typed: typing opens the completer's popup, which takes the Enter.
        name->setText(QString::fromStdString(path));
        QTest::keyClick(name, Qt::Key_Return);
    });
    answer.start();
    QTest::mouseClick(h.Find<QPushButton>("cmdArchive_1"), Qt::LeftButton);
    const auto lines = px::testing::Lines(path);
    ASSERT_EQ(lines.size(), 100u);
    // "(Default)" with the card-ID length box at its 14: the card ID filled to 14 digits.
    EXPECT_EQ(lines.front(), "001,00004200100600,0,2026/03/07,08:00:00");
    EXPECT_EQ(lines.back(), "001,00004200100699,3,2026/03/07,09:39:00");
    EXPECT_EQ(Label().toStdString(), "100 punches exported to " + path);
    EXPECT_NE(px::testing::ReadAll(h.core().eventLog().Path())
                  .find("Archive export 2026-03-07 to 2026-03-07 ((Default)): 100 punches "
                        "written to " +
                        path),
              std::string::npos);
}

TEST(ArchiveViewSetting, AnArchiveSettingThatCannotBeUsedIsShown)
{
    WindowHarness h("PX740", "", "[Archive]\r\nURL=punches.db\r\n");
    ASSERT_EQ(h.loaded, 0);
    h.window->SetDevicePageEnabled(3, true);
    QTest::mouseClick(h.Find<QPushButton>("cmdOpenArchive"), Qt::LeftButton);
    auto* label = h.Find<QLabel>("labArchive");
    ASSERT_TRUE(label);
    EXPECT_TRUE(label->text().startsWith("The archive cannot be read: Archive/URL \"punches.db\""))
        << label->text().toStdString();
}
