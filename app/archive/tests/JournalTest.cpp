// The journal: its line form keeps every byte and refuses damaged lines; appends survive a torn
// tail; reads resume at any position, across segments, and leave a line still being written.
#include "Journal.h"
#include "JournalCodec.h"

#include "ArchiveTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using namespace px::archive;
using px::archive::testing::Folder;

namespace {

Punch Sample(long index, std::string raw = "A0000,0012345678,1,2026/03/05,08:01:02")
{
    Punch p;
    p.terminalId = 7;
    p.recordIndex = index;
    p.terminalName = "Gate";
    p.cardId = "0012345678";
    p.event = "1";
    p.punchedAt = "2026-03-05 08:01:02";
    p.downloadedAt = "2026-03-05T07:01:02.123Z";
    p.host = "pc1";
    p.raw = std::move(raw);
    return p;
}

bool Same(const Punch& a, const Punch& b)
{
    return a.terminalId == b.terminalId && a.recordIndex == b.recordIndex &&
           a.terminalName == b.terminalName && a.cardId == b.cardId && a.event == b.event &&
           a.punchedAt == b.punchedAt && a.downloadedAt == b.downloadedAt && a.host == b.host &&
           a.raw == b.raw;
}

std::string AllBytes()
{
    std::string bytes;
    for (int c = 0; c < 256; ++c)
        bytes += static_cast<char>(c);
    return bytes;
}

void AppendRaw(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::app) << bytes;
}

} // namespace

TEST(JournalCodec, EveryByteOfEveryFieldComesBack)
{
    Punch p = Sample(65535, AllBytes() + "\t%\r\n");
    p.terminalName = AllBytes();
    p.cardId = std::string("12\0 34", 6);
    p.event = "\t";
    p.host = "h%41";
    const std::string line = EncodeJournalLine(p);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_EQ(line.find('\r'), std::string::npos);
    EXPECT_EQ(line.find('\0'), std::string::npos);
    const auto back = DecodeJournalLine(line);
    ASSERT_TRUE(back);
    EXPECT_TRUE(Same(*back, p));
}

TEST(JournalCodec, EmptyFieldsComeBackEmpty)
{
    Punch p = Sample(0, "");
    p.punchedAt.clear();
    p.cardId.clear();
    const auto back = DecodeJournalLine(EncodeJournalLine(p));
    ASSERT_TRUE(back);
    EXPECT_TRUE(Same(*back, p));
}

TEST(JournalCodec, ADamagedLineIsRefused)
{
    const std::string line = EncodeJournalLine(Sample(3));
    for (std::size_t i = 0; i < line.size(); ++i) {
        std::string bad = line;
        bad[i] = static_cast<char>(bad[i] ^ 0x01);
        EXPECT_FALSE(DecodeJournalLine(bad)) << "byte " << i << " changed: " << bad;
    }
    for (std::size_t cut = 0; cut < line.size(); ++cut)
        EXPECT_FALSE(DecodeJournalLine(line.substr(0, cut))) << "cut at " << cut;
    EXPECT_FALSE(DecodeJournalLine(line + "x"));
}

TEST(JournalCodec, KnownCrc)
{
    EXPECT_EQ(Crc32("123456789"), 0xCBF43926u);
    EXPECT_EQ(Crc32(""), 0u);
}

TEST(Journal, AppendsReadBackInOrderAndResumeAnywhere)
{
    Folder dir;
    JournalWriter writer(dir.path());
    std::string error;
    for (long i = 0; i < 10; ++i)
        ASSERT_TRUE(writer.Append(Sample(i), &error)) << error;
    const JournalReader reader(dir.path());
    EXPECT_EQ(reader.Id().size(), 32u);
    const JournalBatch first = reader.Read({}, 4);
    ASSERT_EQ(first.punches.size(), 4u);
    EXPECT_EQ(first.punches[3].recordIndex, 3);
    const JournalBatch rest = reader.Read(first.end, 100);
    ASSERT_EQ(rest.punches.size(), 6u);
    EXPECT_EQ(rest.punches.front().recordIndex, 4);
    EXPECT_EQ(rest.punches.back().recordIndex, 9);
    const JournalBatch none = reader.Read(rest.end, 100);
    EXPECT_TRUE(none.punches.empty());
    EXPECT_EQ(none.end, rest.end);
    std::string oldest;
    EXPECT_EQ(reader.Count(first.end, &oldest), 6);
    EXPECT_EQ(oldest, "2026-03-05T07:01:02.123Z");
    EXPECT_EQ(reader.Count(rest.end, &oldest), 0);
    EXPECT_EQ(oldest, "");
}

TEST(Journal, ALineStillBeingWrittenWaitsAndATornOneIsEndedBeforeTheNext)
{
    Folder dir;
    {
        JournalWriter writer(dir.path());
        std::string error;
        ASSERT_TRUE(writer.Append(Sample(0), &error)) << error;
    }
    const std::string segment = SegmentPath(dir.path(), 1);
    const std::string half = EncodeJournalLine(Sample(1)).substr(0, 20);
    AppendRaw(segment, half);
    const JournalReader reader(dir.path());
    JournalBatch batch = reader.Read({}, 100);
    EXPECT_EQ(batch.punches.size(), 1u);
    EXPECT_EQ(batch.damaged, 0) << "the unfinished line may still be completed";
    // A new writer (the next start) ends the torn line before it appends.
    JournalWriter next(dir.path());
    std::string error;
    ASSERT_TRUE(next.Append(Sample(2), &error)) << error;
    batch = reader.Read(batch.end, 100);
    ASSERT_EQ(batch.punches.size(), 1u);
    EXPECT_EQ(batch.punches[0].recordIndex, 2);
    EXPECT_EQ(batch.damaged, 1);
}

TEST(Journal, SegmentsRollOverAndShippedOnesAreDropped)
{
    Folder dir;
    JournalWriter writer(dir.path(), 600);
    std::string error;
    for (long i = 0; i < 20; ++i)
        ASSERT_TRUE(writer.Append(Sample(i), &error)) << error;
    const JournalReader reader(dir.path());
    const auto segments = reader.Segments();
    ASSERT_GE(segments.size(), 4u);
    JournalPos pos;
    std::vector<long> seen;
    for (int round = 0; round < 50; ++round) {
        const JournalBatch b = reader.Read(pos, 3);
        for (const auto& p : b.punches)
            seen.push_back(p.recordIndex);
        if (b.end == pos) break;
        pos = b.end;
    }
    ASSERT_EQ(seen.size(), 20u);
    for (long i = 0; i < 20; ++i)
        EXPECT_EQ(seen[static_cast<std::size_t>(i)], i);
    reader.DropBefore(pos);
    const auto left = reader.Segments();
    ASSERT_EQ(left.size(), 1u) << "only the newest segment stays";
    EXPECT_EQ(left.front(), segments.back());
    // The newest stays even when the position is beyond it.
    reader.DropBefore({pos.segment + 5, 0});
    EXPECT_EQ(reader.Segments().size(), 1u);
}

TEST(Journal, AJournalWhoseSegmentsWereRemovedGetsANewIdentity)
{
    Folder dir;
    std::string error;
    {
        JournalWriter writer(dir.path());
        ASSERT_TRUE(writer.Append(Sample(0), &error)) << error;
    }
    const std::string before = JournalReader(dir.path()).Id();
    fs::remove(SegmentPath(dir.path(), 1));
    JournalWriter writer(dir.path());
    ASSERT_TRUE(writer.Append(Sample(1), &error)) << error;
    const std::string after = JournalReader(dir.path()).Id();
    EXPECT_FALSE(after.empty());
    EXPECT_NE(before, after);
}

TEST(Journal, AFolderThatCannotBeMadeFailsWithTheCause)
{
    Folder dir;
    AppendRaw(dir / "Journal", "a file where the folder should be");
    JournalWriter writer(dir / "Journal");
    std::string error;
    EXPECT_FALSE(writer.Append(Sample(0), &error));
    EXPECT_NE(error.find("Journal"), std::string::npos) << error;
    // Mended, the same writer goes on.
    fs::remove(dir / "Journal");
    EXPECT_TRUE(writer.Append(Sample(1), &error)) << error;
    EXPECT_EQ(JournalReader(dir / "Journal").Read({}, 10).punches.size(), 1u);
}
