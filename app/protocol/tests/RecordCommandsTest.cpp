// The records page's commands against a simulated terminal, without a window: the upload toggle,
// the save with its questions, and the erase that may follow only when every record is in a
// written file; the database dialog's actions.
#include "RecordCommands.h"
#include "CoreHarness.h"
#include "DeviceOps.h"
#include "Identify.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using px::testing::CoreHarness;
using px::testing::Lines;
using px::testing::SimProcess;
namespace fs = std::filesystem;

namespace {

class RecordCommands : public ::testing::Test {
protected:
    void Start(std::vector<std::string> args)
    {
        ASSERT_TRUE(h.linkReady) << h.linkError;
        std::string error;
        ASSERT_TRUE(h.core->paths().EnsureFolders(&error)) << error;
        args.insert(args.begin(), {"--id", "1"});
        sim = h.StartPtySim(5, args);
        ASSERT_TRUE(sim->ok());
        h.core->session().link().SetCommPort(5);
        h.core->session().link().SetVNetTimeout(500);
        h.core->session().link().SetPortOpen(true);
        ASSERT_TRUE(px::PollingID(h.core->session(), h.core->directory(), 1));
        h.core->session().state().iCurrentID = 1;
    }
    // Answers every question by its text; records what was asked.
    void Answer(std::function<bool(const std::string&)> rule)
    {
        h.view.answer = [this, rule](const std::string& text, bool) {
            asked.push_back(text);
            return rule(text);
        };
    }
    bool Asked(const std::string& part) const
    {
        for (const auto& q : asked)
            if (q.find(part) != std::string::npos) return true;
        return false;
    }
    bool EraseSent()
    {
        return !sim->waitPrefix("RX \\x02E\\x0D", std::chrono::milliseconds(300)).empty();
    }

    CoreHarness h;
    std::unique_ptr<SimProcess> sim;
    std::vector<std::string> asked;
};

} // namespace

TEST_F(RecordCommands, SaveThenEraseOnlyWhenEveryRecordIsInTheFile)
{
    Start({"--records", "4"});
    const std::string file = h.home() + "/out.txt";
    h.view.fileAnswer = file;
    Answer([](const std::string&) { return true; });
    px::SaveButton(h.core->session(), h.core->Records());
    ASSERT_EQ(Lines(file).size(), 4u);
    EXPECT_EQ(Lines(file)[0].substr(0, 4), "001,");
    EXPECT_TRUE(Asked("Erase the records"));
    EXPECT_TRUE(EraseSent());
    EXPECT_EQ(h.core->recordGrid().RecordCount(), 0u); // acknowledged, so the grid may go
    EXPECT_EQ(h.view.countLabel, "00000 / 00000");
    EXPECT_EQ(h.core->options().savePath, h.home());
}

TEST_F(RecordCommands, NoKeepsTheRecordsAndTheDefaultIsNo)
{
    Start({"--records", "3"});
    h.view.fileAnswer = h.home() + "/out.txt";
    px::SaveButton(h.core->session(),
                   h.core->Records()); // no one answers: the default, which must not erase
    EXPECT_FALSE(EraseSent());
    EXPECT_EQ(h.core->recordGrid().RecordCount(), 3u);
    EXPECT_EQ(h.view.countLabel, "00003 / 00003");
}

TEST_F(RecordCommands, AFileThatCannotBeWrittenIsNeverFollowedByAnErase)
{
    Start({"--records", "3"});
    h.view.fileAnswer = h.home() + "/no/such/folder/out.txt";
    Answer([](const std::string&) { return true; });
    px::SaveButton(h.core->session(), h.core->Records());
    EXPECT_FALSE(Asked("Erase the records"));
    EXPECT_FALSE(EraseSent());
    EXPECT_EQ(h.core->recordGrid().RecordCount(), 3u);
}

TEST_F(RecordCommands, APunchDuringTheQuestionCancelsTheErase)
{
    Start({"--records", "3"});
    h.view.fileAnswer = h.home() + "/out.txt";
    Answer([this](const std::string& text) {
        if (text.find("Erase") != std::string::npos) {
            EXPECT_TRUE(sim->command("add 1 1"));
        }
        return true;
    });
    px::SaveButton(h.core->session(), h.core->Records());
    EXPECT_FALSE(EraseSent());
    EXPECT_EQ(h.core->recordGrid().RecordCount(), 3u);
    ASSERT_FALSE(h.view.messages.empty());
    EXPECT_NE(h.view.messages.back().find("nothing was erased"), std::string::npos);
}

TEST_F(RecordCommands, ARefusedEraseKeepsTheGrid)
{
    Start({"--records", "2"});
    h.view.fileAnswer = h.home() + "/out.txt";
    ASSERT_TRUE(sim->command("refuse E 05"));
    Answer([](const std::string&) { return true; });
    px::SaveButton(h.core->session(), h.core->Records());
    EXPECT_TRUE(EraseSent());
    EXPECT_EQ(h.core->recordGrid().RecordCount(), 2u);
}

TEST_F(RecordCommands, NotAllFetchedAsksBeforeSavingAndCancelSavesNothing)
{
    Start({"--records", "3"});
    // A grid row the terminal does not have: the counts differ, so the question comes.
    h.core->recordGrid().Append({"9", "x", "0", "2026/01/01", "00:00:00"});
    h.core->recordGrid().Append({"9", "x", "0", "2026/01/01", "00:00:00"});
    h.core->recordGrid().Append({"9", "x", "0", "2026/01/01", "00:00:00"});
    h.core->recordGrid().Append({"9", "x", "0", "2026/01/01", "00:00:00"});
    Answer([](const std::string& text) { return text.find("Not all") == std::string::npos; });
    h.view.fileAnswer = h.home() + "/out.txt";
    px::SaveButton(h.core->session(), h.core->Records());
    EXPECT_TRUE(Asked("Not all records"));
    EXPECT_FALSE(fs::exists(h.home() + "/out.txt"));

    // The file dialog cancelled: nothing saved, nothing asked about erasing.
    asked.clear();
    h.core->recordGrid().Clear();
    h.view.fileAnswer.clear();
    px::SaveButton(h.core->session(), h.core->Records());
    EXPECT_FALSE(Asked("Erase"));
    EXPECT_EQ(h.core->recordGrid().RecordCount(), 3u);
}

TEST_F(RecordCommands, UploadToggleStopsAndAlwaysGivesTheControlsBack)
{
    Start({"--records", "50"});
    std::vector<bool> enabledStates;
    // A second press while the upload runs stops it.
    h.core->recordGrid().changed = [&] {
        if (h.core->recordGrid().RecordCount() == 10)
            px::UploadButton(h.core->session(), h.core->Records());
    };
    px::UploadButton(h.core->session(), h.core->Records());
    EXPECT_GE(h.core->recordGrid().RecordCount(), 10u);
    EXPECT_LT(h.core->recordGrid().RecordCount(), 50u);
    EXPECT_FALSE(h.core->session().state().bUploading);
    h.core->recordGrid().changed = nullptr;
    // The next press continues after the rows already there.
    px::UploadButton(h.core->session(), h.core->Records());
    EXPECT_EQ(h.core->recordGrid().RecordCount(), 50u);

    // A terminal that stops answering: the upload fails, and still nothing stays locked.
    h.core->recordGrid().Clear();
    h.core->session().link().SetVNetTimeout(40); // sixteen failures of five attempts each
    ASSERT_TRUE(sim->command("silent-after 5"));
    px::UploadButton(h.core->session(), h.core->Records());
    EXPECT_FALSE(h.core->session().state().bUploading);
    EXPECT_EQ(h.view.screenPointer, px::kPointerDefault);
    EXPECT_EQ(h.view.windowPointer, px::kPointerDefault);
}

TEST_F(RecordCommands, DatabaseDialogActions)
{
    Start({"--records", "5"});
    EXPECT_FALSE(px::DatabaseOk(h.core->session(), h.core->recordGrid(), h.core->view(),
                                -1)); // no option: the dialog stays
    Answer([](const std::string&) { return false; });
    EXPECT_TRUE(px::DatabaseOk(h.core->session(), h.core->recordGrid(), h.core->view(), 0));
    EXPECT_TRUE(Asked("5"));
    EXPECT_FALSE(EraseSent());
    h.core->recordGrid().Append({"1", "x", "0", "2026/01/01", "00:00:00"});
    Answer([](const std::string&) { return true; });
    EXPECT_TRUE(px::DatabaseOk(h.core->session(), h.core->recordGrid(), h.core->view(), 0));
    EXPECT_TRUE(EraseSent());
    EXPECT_EQ(h.core->recordGrid().RecordCount(), 0u);
    EXPECT_EQ(h.view.countLabel, "00000/00000");

    // An empty terminal: initialising says so; preparing for recovery needs no question.
    asked.clear();
    EXPECT_TRUE(px::DatabaseOk(h.core->session(), h.core->recordGrid(), h.core->view(), 0));
    EXPECT_NE(h.view.messages.back().find("no records"), std::string::npos);
    EXPECT_TRUE(px::DatabaseOk(h.core->session(), h.core->recordGrid(), h.core->view(), 1));
    EXPECT_TRUE(asked.empty());
    EXPECT_FALSE(sim->waitPrefix("RX \\x02M\\x0D").empty());

    // A count that cannot be read is a failure, not an empty terminal.
    ASSERT_TRUE(sim->command("silent on"));
    EXPECT_TRUE(px::DatabaseOk(h.core->session(), h.core->recordGrid(), h.core->view(), 0));
    EXPECT_NE(h.view.messages.back().find("Communications with PX740 failed"), std::string::npos);
    EXPECT_FALSE(h.core->session().link().PortOpen());
}

TEST(SaveFilter, TheOutputTypesFilterComesFirst)
{
    CoreHarness h;
    std::string error;
    ASSERT_TRUE(h.core->paths().EnsureFolders(&error));
    h.core->szFormatIni = h.home() + "/Format.ini";
    std::ofstream(h.core->szFormatIni, std::ios::binary)
        << "[CSV]\r\nFormat={UID}\r\nFilter=CSV files|*.csv\r\n[Bare]\r\nFormat={UID}\r\n"
           "[Broken]\r\nFilter=no bar\r\n";
    EXPECT_EQ(px::SaveFilter(h.core->options(), h.core->szFormatIni),
              "Text (*.txt)"); // "(Default)"
    h.core->options().format = "CSV";
    EXPECT_EQ(px::SaveFilter(h.core->options(), h.core->szFormatIni),
              "CSV files (*.csv);;Text (*.txt)");
    h.core->options().format = "Bare";
    EXPECT_EQ(px::SaveFilter(h.core->options(), h.core->szFormatIni), "Text (*.txt)");
    h.core->options().format = "Broken";
    EXPECT_EQ(px::SaveFilter(h.core->options(), h.core->szFormatIni), "Text (*.txt)");
    EXPECT_EQ(px::CountLabel(10, 125), "00010 / 00125");
}
