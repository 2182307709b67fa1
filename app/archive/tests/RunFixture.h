// A scheduled run against simulated terminals with the archive behind it, on SQLite or on
// PostgreSQL: the checks that a run's records are archived once each, that a manual upload of
// the same records adds nothing, and that exporting the run's punches gives its output file.
#pragma once

#include "Archive.h"
#include "ArchiveActions.h"
#include "ArchiveDb.h"
#include "Connect.h"
#include "CoreHarness.h"
#include "DbChecks.h"
#include "DeviceOps.h"
#include "Mailer.h"
#include "ManualUpload.h"
#include "RecordCommands.h"
#include "RecordUpload.h"
#include "ScheduledRun.h"
#include "TestFiles.h"
#include "Wait.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>

namespace px::archive::testing {

using px::testing::CoreHarness;
using px::testing::LinesOfFiles;
using px::testing::ReadAll;
using px::testing::SimProcess;

class ArchiveRun : public ::testing::Test {
protected:
    // url as Archive/URL holds it ("" for the SQLite file).
    void Prepare(const std::string& url)
    {
        ASSERT_TRUE(h.linkReady) << h.linkError;
        std::string error;
        ASSERT_TRUE(h.core->paths().EnsureFolders(&error)) << error;
        ASSERT_TRUE(h.core->eventLog().OpenFile(h.core->paths().In("Logfiles/test-log.txt")));
        h.core->linkTimeoutMs = 300;
        h.core->session().link().SetVNetTimeout(300);
        auto& o = h.core->options();
        o.tsavePath = h.core->paths().RecordsDir();
        o.optFixName = true;
        o.fixName = "out.txt";
        o.idLenText = "0";
        h.core->archive().Configure(url, h.core->paths().folder);
    }
    // The directory from lines "ID,Name,,COM,19200,IP,Port", in this order.
    void Directory(const std::string& lines)
    {
        const std::string file = h.home() + "/dir.txt";
        std::ofstream(file, std::ios::binary) << lines;
        h.core->directory().LoadDeviceInfo(file);
        h.core->directory().ResetDefaultEntry(1);
    }
    std::string Output() const { return h.core->paths().In("Records/out.txt"); }
    std::string Log() const { return ReadAll(h.core->eventLog().Path()); }
    // Everything journaled goes in; the shipper starts again with the next record.
    void Drain() { h.core->archive().Stop(std::chrono::seconds(60)); }
    std::unique_ptr<ArchiveDb> Db()
    {
        auto db = MakeArchiveDb(*h.core->archive().Config().target);
        std::string error;
        EXPECT_TRUE(db->Open(&error)) << error;
        return db;
    }
    // (terminal, raw record) of every archived punch; fails on a repeat.
    std::multiset<std::pair<int, std::string>> Archived()
    {
        std::multiset<std::pair<int, std::string>> rows;
        for (const auto& p : All(*Db()))
            rows.emplace(p.terminalId, p.raw);
        return rows;
    }
    // The same from the monthly backup, which holds every downloaded record as received.
    std::multiset<std::pair<int, std::string>> BackedUp() const
    {
        std::multiset<std::pair<int, std::string>> rows;
        for (const auto& l : LinesOfFiles(h.core->paths().In("Records"), ".BAK"))
            rows.emplace(std::stoi(l.substr(0, 3)), l.substr(4));
        return rows;
    }
    // The export of every archived punch with the output type the run used.
    std::string ExportAll(std::optional<int> terminal = std::nullopt)
    {
        PunchQuery range;
        range.from = "2000-01-01";
        range.to = "2099-12-31";
        range.terminal = terminal;
        std::string out, error;
        long long lines = 0;
        const auto db = Db();
        EXPECT_TRUE(ExportPunches(
            *db, ViewExportSettings(*h.core, h.core->options().format), range,
            [&out](std::string_view text) {
                out.append(text);
                return true;
            },
            &lines, &error))
            << error;
        return out;
    }

    // Two terminals, the serial one listed first although its ID is higher: archived once each,
    // across runs that add records and runs that add nothing, and a manual upload adds nothing.
    void RunRecordsAreArchivedOnce()
    {
        std::string address;
        int port = 0;
        auto serial = h.StartPtySim(5, {"--id", "5", "--records", "25", "--quiet"});
        auto tcp = h.StartTcpSim({"--id", "2", "--records", "10", "--quiet"}, &address, &port);
        ASSERT_TRUE(serial->ok() && tcp->ok());
        Directory("5,Gate,,5,19200,0.0.0.0,1001\r\n2,Yard,,0,19200," + address + "," +
                  std::to_string(port) + "\r\n");
        run.TSChkDevice();
        ASSERT_TRUE(run.LastRunComplete()) << Log();
        Drain();
        auto archived = Archived();
        EXPECT_EQ(archived.size(), 35u);
        EXPECT_EQ(archived, BackedUp());
        ASSERT_TRUE(serial->command("add 5 4"));
        run.TSChkDevice();
        run.TSChkDevice(); // nothing new
        Drain();
        archived = Archived();
        EXPECT_EQ(archived.size(), 39u);
        EXPECT_EQ(archived, BackedUp());

        // The same records fetched by hand: nothing new in the archive. A busy machine must not
        // make a count look unanswered.
        h.core->linkTimeoutMs = 3000;
        ASSERT_TRUE(h.core->OpenTerminal(1)); // the first line: Gate
        ASSERT_EQ(h.core->session().state().iCurrentID, 5);
        ASSERT_TRUE(px::UploadRecord(h.core->session(), h.core->Records().Upload()));
        ASSERT_EQ(h.core->recordGrid().RecordCount(), 29u);
        h.core->session().link().SetPortOpen(false);
        Drain();
        EXPECT_EQ(Archived().size(), 39u);
        const std::set<std::pair<int, std::string>> distinct(archived.begin(), archived.end());
        EXPECT_EQ(distinct.size(), 39u);
        EXPECT_EQ(Log().find("Archive"), std::string::npos) << Log();
    }

    // The run's output file, header and all, is what exporting its punches gives: with a
    // Format.ini type (template, header, card-ID filter) and with the card-ID length template.
    void ExportReproducesTheRunsOutput()
    {
        std::string address;
        int port = 0;
        auto serial = h.StartPtySim(5, {"--id", "5", "--records", "30", "--quiet"});
        auto tcp = h.StartTcpSim({"--id", "2", "--records", "12", "--quiet"}, &address, &port);
        ASSERT_TRUE(serial->ok() && tcp->ok());
        Directory("5,Gate,,5,19200,0.0.0.0,1001\r\n2,Yard,,0,19200," + address + "," +
                  std::to_string(port) + "\r\n");
        const std::string ini = h.core->paths().In("Format.ini");
        std::ofstream(ini, std::ios::binary)
            << "[General]\r\nCardIDFilterEnabled=TRUE\r\nCardIDStart=3\r\nCardIDLength=6\r\n"
               "[Payroll]\r\nFormat={UID};{CID,'&9D'};{Event,0=IN,1=OUT,2=BRK,3=END};"
               "{Date,'YYYYMMDD'}\\t{Time,'hh:nn'};{RecordNo,'&5Z'}\r\nHeader=\\tID\\\\No\r\n"
               "[Plain]\r\nHeader=TRUE\r\n";
        h.core->szFormatIni = ini;
        h.core->options().format = "Payroll";
        run.TSChkDevice();
        ASSERT_TRUE(run.LastRunComplete()) << Log();
        Drain();
        const std::string output = ReadAll(Output());
        ASSERT_EQ(output.rfind("\tID\\No\r\n005;000", 0), 0u) << output.substr(0, 40);
        EXPECT_EQ(ExportAll(), output);
        // One terminal alone: its lines only, after the header.
        const std::string yard = ExportAll(2);
        EXPECT_EQ(yard.rfind("\tID\\No\r\n002;", 0), 0u);
        EXPECT_NE(output.find(yard.substr(8)), std::string::npos);

        // The standard template with the card ID filled to 12 digits, into a new file.
        h.core->options().format = "(Default)";
        h.core->options().idLenText = "12";
        h.core->options().fixName = "out2.txt";
        ASSERT_TRUE(serial->command("add 5 3"));
        std::filesystem::remove_all(h.core->paths().In("Records/Journal"));
        h.core->archive().Configure("off", h.core->paths().folder);
        const std::string url = ArchiveUrl();
        ClearArchive();
        h.core->archive().Configure(url, h.core->paths().folder);
        run.TSChkDevice();
        Drain();
        const std::string second = ReadAll(h.core->paths().In("Records/out2.txt"));
        ASSERT_EQ(second.rfind("005,000000", 0), 0u) << second.substr(0, 40);
        EXPECT_EQ(ExportAll(), second);
    }

    // What Configure was given, and emptying the archive between parts of a test.
    virtual std::string ArchiveUrl() const = 0;
    virtual void ClearArchive() = 0;

    CoreHarness h;
    px::Mailer mailer;
    px::ScheduledRun run{h.core->ForRun(), mailer};
};

} // namespace px::archive::testing
