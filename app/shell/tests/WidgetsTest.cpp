// Language application on offscreen widgets, and the message window.
#include "ApplyLanguage.h"
#include "MessageDialogs.h"
#include "Texts.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QWidget>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace {

struct Lang {
    std::string dir;
    px::Texts texts;
    explicit Lang(const std::string& body)
    {
        char pattern[] = "/tmp/px-lang-XXXXXX";
        dir = mkdtemp(pattern);
        std::ofstream(dir + "/Test.txt", std::ios::binary) << "[LANGUAGE]\r\n" << body;
        texts.SetLanguageFile(dir + "/Test.txt");
    }
    ~Lang() { std::system(("rm -rf " + dir).c_str()); }
};

} // namespace

TEST(ApplyLanguage, TagsGiveCaptionsAndToolTips)
{
    Lang lang("1=Fenster\r\n212=Hochladen\r\n256=Daten holen\r\n401=Nr.\r\n402=Karte\r\n"
              "2000=Seite A\r\n2001=Seite B\r\n2002=Hilfe A\r\n300=Eins\r\n301=Zwei\r\n");
    QWidget window;
    window.setProperty("tag", "1");
    window.setWindowTitle("Window");
    auto* both = new QPushButton("Upload", &window);
    both->setProperty("tag", "212,256");
    auto* tipOnly = new QPushButton("Keep", &window);
    tipOnly->setProperty("tag", "0,256");
    auto* untagged = new QLabel("Plain", &window);
    auto* grid = new QTableWidget(1, 2, &window);
    grid->setProperty("tag", "401,402");
    auto* tabs = new QTabWidget(&window);
    tabs->addTab(new QWidget, "A");
    tabs->addTab(new QWidget, "B");
    tabs->setProperty("tag", "2000;2002,2001");
    auto* combo = new QComboBox(&window);
    combo->addItems({"one", "two", "three"});
    combo->setProperty("tag", "300,301");

    px::ApplyLanguage(&window, lang.texts);
    EXPECT_EQ(window.windowTitle(), "Fenster");
    EXPECT_EQ(both->text(), "Hochladen");
    EXPECT_EQ(both->toolTip(), "Daten holen");
    EXPECT_EQ(tipOnly->text(), "Keep");
    EXPECT_EQ(tipOnly->toolTip(), "Daten holen");
    EXPECT_EQ(untagged->text(), "Plain");
    EXPECT_EQ(grid->horizontalHeaderItem(0)->text(), "Nr.");
    EXPECT_EQ(grid->horizontalHeaderItem(1)->text(), "Karte");
    EXPECT_EQ(tabs->tabText(0), "Seite A");
    EXPECT_EQ(tabs->tabText(1), "Seite B");
    EXPECT_EQ(tabs->toolTip(), "Hilfe A");
    EXPECT_EQ(combo->itemText(0), "Eins");
    EXPECT_EQ(combo->itemText(2), "three");
}

TEST(ApplyLanguage, FontsFromTexts20And21)
{
    QWidget window;
    auto* label = new QLabel("x", &window);
    label->setProperty("tag", "5");
    {
        Lang lang("5=y\r\n");
        const QString designed = window.font().family();
        px::ApplyLanguage(&window, lang.texts);
        EXPECT_EQ(window.font().family(), designed);
        EXPECT_EQ(label->font().family(), window.font().family());
    }
    Lang lang("20=Arial\r\n21=9\r\n5=y\r\n");
    px::ApplyLanguage(&window, lang.texts);
    EXPECT_EQ(window.font().family(), "Arial");
    EXPECT_EQ(window.font().pointSize(), 9);
    EXPECT_EQ(label->font().family(), "Arial");
    EXPECT_EQ(label->font().pointSize(), 9);
}

TEST(ApplyLanguage, NothingHappensWithoutALanguage)
{
    px::Texts none;
    QWidget window;
    window.setWindowTitle("Kept");
    window.setProperty("tag", "1");
    px::ApplyLanguage(&window, none);
    EXPECT_EQ(window.windowTitle(), "Kept");
}

TEST(ApplyLanguage, TagParsing)
{
    const auto tag = px::ParseTag("212, x ,0,5;7,;9");
    ASSERT_EQ(tag.size(), 5u);
    EXPECT_EQ(tag[0].first, 212);
    EXPECT_EQ(tag[1].first, 0);
    EXPECT_EQ(tag[2].first, 0);
    EXPECT_EQ(tag[3].first, 5);
    EXPECT_EQ(tag[3].second, 7);
    EXPECT_EQ(tag[4].second, 9);
    EXPECT_TRUE(px::ParseTag("").empty());
}

TEST(FrmMsg, IconLineBreaksAndReuse)
{
    px::Texts none;
    px::FrmMsg box(none);
    EXPECT_EQ(px::FrmMsg::IconIndex(0), 2);
    EXPECT_EQ(px::FrmMsg::IconIndex(16), 0);
    EXPECT_EQ(px::FrmMsg::IconIndex(64 + 4), 3);
    box.ShowMsg("First\\nSecond", 0, "PX740");
    EXPECT_TRUE(box.isVisible());
    EXPECT_EQ(box.ShownIcon(), 2);
    EXPECT_EQ(box.LabelText(), "First\nSecond");
    EXPECT_EQ(box.windowTitle(), "PX740");
    const QSize first = box.size();
    box.ShowMsg(std::string(400, 'w'), 64, "PX740");
    EXPECT_EQ(box.ShownIcon(), 3);
    EXPECT_GT(box.LabelText().count('\n'), 0); // wrapped at two thirds of the screen
    box.ShowMsg("First\\nSecond", 0, "PX740");
    EXPECT_EQ(box.size(), first);
    box.close();
}
