#include "Ini.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::string_literals;
namespace ini = px::ini;

namespace {

class IniTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string tmpl = ::testing::TempDir();
        if (tmpl.empty() || tmpl.back() != '/') tmpl += '/';
        tmpl += "ini_test_XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr) << std::strerror(errno);
        dir_ = tmpl;
    }

    void TearDown() override
    {
        if (dir_.empty()) return;
        // A test may leave a directory without write permission behind.
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(dir_, ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
            if (it->is_directory(ec))
                fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir_, ec);
    }

    std::string path(const std::string& name) const { return dir_ + "/" + name; }

    std::string write(const std::string& name, const std::string& content) const
    {
        const std::string p = path(name);
        std::ofstream(p, std::ios::binary) << content;
        return p;
    }

    static std::string read(const std::string& p)
    {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    static bool exists(const std::string& p)
    {
        struct stat st {};
        return ::lstat(p.c_str(), &st) == 0;
    }

    static mode_t mode(const std::string& p)
    {
        struct stat st {};
        EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
        return st.st_mode & 07777;
    }

    std::vector<std::string> dirEntries(const std::string& d) const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(d))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string dir_;
};

using Names = std::vector<std::string>;
using Entries = std::vector<std::pair<std::string, std::string>>;

// ---------------------------------------------------------------------------------------------
// Lookup

TEST_F(IniTest, SectionAndKeyNamesIgnoreAsciiCase)
{
    const auto p = write("a.ini", "[Comm]\r\nBaudRate=9600\r\n[MACHINE]\r\nid=7\r\n");
    EXPECT_EQ(ini::getString(p, "comm", "baudrate", "x"), "9600");
    EXPECT_EQ(ini::getString(p, "COMM", "BAUDRATE", "x"), "9600");
    EXPECT_EQ(ini::getString(p, "Machine", "ID", "x"), "7");
    EXPECT_EQ(ini::find(p, "mAcHiNe", "Id"), "7");
}

TEST_F(IniTest, CaseFoldingIsAsciiOnly)
{
    // 0xC9 and 0xE9 are É and é in Latin-1: they must not be folded onto each other.
    const auto p = write("a.ini", "[S\xC9]\nK\xC9=upper\n");
    EXPECT_EQ(ini::getString(p, "s\xC9", "k\xC9", "none"), "upper");
    EXPECT_EQ(ini::getString(p, "S\xE9", "K\xC9", "none"), "none");
    EXPECT_EQ(ini::getString(p, "S\xC9", "K\xE9", "none"), "none");
}

TEST_F(IniTest, QueryNamesAndHeaderNamesAreTrimmed)
{
    const auto p = write("a.ini", "  [ Net ]  \n\t key \t=v\n");
    EXPECT_EQ(ini::getString(p, "Net", "key", "x"), "v");
    EXPECT_EQ(ini::getString(p, " net\t", "\tKEY ", "x"), "v");
    EXPECT_EQ(ini::sectionNames(p), Names{"Net"});
}

TEST_F(IniTest, MissingFileSectionOrKeyGivesDefault)
{
    const auto p = write("a.ini", "[a]\nk=v\n");
    EXPECT_EQ(ini::getString(path("none.ini"), "a", "k", "def"), "def");
    EXPECT_EQ(ini::getString(p, "b", "k", "def"), "def");
    EXPECT_EQ(ini::getString(p, "a", "x", "def"), "def");
    EXPECT_EQ(ini::find(p, "a", "x"), std::nullopt);
    EXPECT_EQ(ini::find(path("none.ini"), "a", "k"), std::nullopt);
    EXPECT_FALSE(exists(path("none.ini"))) << "a read must not create the file";
}

TEST_F(IniTest, EmptyValueIsFoundAndDiffersFromMissing)
{
    const auto p = write("a.ini", "[a]\nk=\nq=   \n");
    EXPECT_EQ(ini::find(p, "a", "k"), "");
    EXPECT_EQ(ini::find(p, "a", "q"), "");
    EXPECT_EQ(ini::getString(p, "a", "k", "def"), "");
}

TEST_F(IniTest, KeysBeforeTheFirstSectionBelongToNoSection)
{
    const auto p = write("a.ini", "k=top\n[a]\nk=in\n");
    EXPECT_EQ(ini::getString(p, "", "k", "def"), "def");
    EXPECT_EQ(ini::getString(p, "a", "k", "def"), "in");
}

// ---------------------------------------------------------------------------------------------
// First match

TEST_F(IniTest, FirstMatchingKeyWins)
{
    const auto p = write("a.ini", "[a]\nk=first\nK=second\nk=third\n");
    EXPECT_EQ(ini::getString(p, "a", "k", "x"), "first");
    EXPECT_EQ(ini::sectionEntries(p, "a"),
              (Entries{{"k", "first"}, {"K", "second"}, {"k", "third"}}));
}

TEST_F(IniTest, FirstMatchingSectionWinsAndIsTheOnlyOneSearched)
{
    const auto p = write("a.ini", "[a]\nk=one\n[b]\nk=b\n[A]\nk=two\nonly=second\n");
    EXPECT_EQ(ini::getString(p, "a", "k", "x"), "one");
    EXPECT_EQ(ini::getString(p, "a", "only", "x"), "x");
    EXPECT_EQ(ini::sectionEntries(p, "A"), (Entries{{"k", "one"}}));
    EXPECT_EQ(ini::sectionNames(p), (Names{"a", "b", "A"}));
}

TEST_F(IniTest, SectionEndsAtNextHeader)
{
    const auto p = write("a.ini", "[a]\nx=1\n[b]\ny=2\n");
    EXPECT_EQ(ini::getString(p, "a", "y", "none"), "none");
    EXPECT_EQ(ini::getString(p, "b", "x", "none"), "none");
}

// ---------------------------------------------------------------------------------------------
// Values and quotes

TEST_F(IniTest, ValuesAreTrimmedOfSpacesAndTabsOnly)
{
    const auto p = write("a.ini", "[a]\nk = \t inner  space \t \nv=\x0B"
                                  "x\n");
    EXPECT_EQ(ini::getString(p, "a", "k", ""), "inner  space");
    EXPECT_EQ(ini::getString(p, "a", "v", ""), "\x0B"
                                               "x")
        << "vertical tab is not a blank";
}

TEST_F(IniTest, OnePairOfMatchingQuotesIsRemoved)
{
    const auto p = write("a.ini", "[q]\n"
                                  "d=\"  padded  \"\n"
                                  "s=' single '\n"
                                  "both = \"x\" \n"
                                  "nested=\"\"x\"\"\n"
                                  "mixed=\"x'\n"
                                  "open=\"x\n"
                                  "lone=\"\n"
                                  "empty=\"\"\n"
                                  "inner=a\"b\"c\n");
    EXPECT_EQ(ini::getString(p, "q", "d", "-"), "  padded  ");
    EXPECT_EQ(ini::getString(p, "q", "s", "-"), " single ");
    EXPECT_EQ(ini::getString(p, "q", "both", "-"), "x");
    EXPECT_EQ(ini::getString(p, "q", "nested", "-"), "\"x\"");
    EXPECT_EQ(ini::getString(p, "q", "mixed", "-"), "\"x'");
    EXPECT_EQ(ini::getString(p, "q", "open", "-"), "\"x");
    EXPECT_EQ(ini::getString(p, "q", "lone", "-"), "\"");
    EXPECT_EQ(ini::getString(p, "q", "empty", "-"), "");
    EXPECT_EQ(ini::getString(p, "q", "inner", "-"), "a\"b\"c");
}

TEST_F(IniTest, ValueKeepsEverythingAfterTheFirstEqualsSign)
{
    const auto p = write("a.ini", "[a]\nurl=http://h/?a=b;c=d\n");
    EXPECT_EQ(ini::getString(p, "a", "url", ""), "http://h/?a=b;c=d");
}

// ---------------------------------------------------------------------------------------------
// Comments and lines that are not keys

TEST_F(IniTest, SemicolonLinesAreComments)
{
    const auto p = write("a.ini", ";[a]\n"
                                  "[a]\n"
                                  ";k=commented\n"
                                  "   ; k=indented comment\n"
                                  "\t;k=tab comment\n"
                                  "k=real ; not a comment\n"
                                  "; [b]\n"
                                  "z=still a\n");
    EXPECT_EQ(ini::getString(p, "a", "k", "-"), "real ; not a comment");
    EXPECT_EQ(ini::getString(p, "a", "z", "-"), "still a") << "a commented header opens nothing";
    EXPECT_EQ(ini::sectionNames(p), Names{"a"});
}

TEST_F(IniTest, HashIsNotACommentMarker)
{
    const auto p = write("a.ini", "[a]\n#k=v\n");
    EXPECT_EQ(ini::getString(p, "a", "#k", "-"), "v");
    EXPECT_EQ(ini::getString(p, "a", "k", "-"), "-");
}

TEST_F(IniTest, LineWithoutEqualsSignIsNotAKey)
{
    const auto p = write("a.ini", "[a]\nflag\nk=v\n[b\nx=1\n");
    EXPECT_EQ(ini::getString(p, "a", "flag", "-"), "-");
    EXPECT_EQ(ini::find(p, "a", "flag"), std::nullopt);
    EXPECT_EQ(ini::sectionEntries(p, "a"), (Entries{{"k", "v"}, {"x", "1"}}))
        << "\"[b\" is neither a header nor a key";
}

// ---------------------------------------------------------------------------------------------
// Line ends

TEST_F(IniTest, CrLfAndLfFilesReadTheSame)
{
    const auto lf = write("lf.ini", "[a]\nk = v \nq=\"x\"\n");
    const auto crlf = write("crlf.ini", "[a]\r\nk = v \r\nq=\"x\"\r\n");
    const auto mixed = write("mixed.ini", "[a]\r\nk = v \nq=\"x\"\r\n");
    for (const auto& p : {lf, crlf, mixed}) {
        EXPECT_EQ(ini::getString(p, "a", "k", "-"), "v") << p;
        EXPECT_EQ(ini::getString(p, "a", "q", "-"), "x")
            << p << ": CR must not block the unquoting";
        EXPECT_EQ(ini::sectionNames(p), Names{"a"}) << p;
    }
}

TEST_F(IniTest, MissingFinalLineEndIsAccepted)
{
    EXPECT_EQ(ini::getString(write("a.ini", "[a]\nk=last"), "a", "k", "-"), "last");
    EXPECT_EQ(ini::getString(write("b.ini", "[a]\r\nk=last"), "a", "k", "-"), "last");
    EXPECT_EQ(ini::sectionNames(write("c.ini", "[only]")), Names{"only"});
}

// ---------------------------------------------------------------------------------------------
// Truncation

TEST_F(IniTest, ReadsAreCutToBufferSizeMinusOne)
{
    std::string longValue;
    for (int i = 0; i < 3000; ++i)
        longValue += static_cast<char>('a' + i % 26);
    const auto p = write("a.ini", "[a]\r\nlong=" + longValue + "\r\n");

    EXPECT_EQ(ini::getString(p, "a", "long", "", ini::kBuf512), longValue.substr(0, 511));
    EXPECT_EQ(ini::getString(p, "a", "long", "", ini::kBuf1024), longValue.substr(0, 1023));
    EXPECT_EQ(ini::getString(p, "a", "long", "", ini::kBuf2048), longValue.substr(0, 2047));
    EXPECT_EQ(ini::getString(p, "a", "long", ""), longValue.substr(0, 2047)) << "default size";
    EXPECT_EQ(ini::find(p, "a", "long", ini::kBuf512), longValue.substr(0, 511));
    EXPECT_EQ(ini::find(p, "a", "long", 4000), longValue);
    EXPECT_EQ(ini::getString(p, "a", "long", "", 1), "");
    EXPECT_EQ(ini::getString(p, "a", "long", "", 0), "");
}

TEST_F(IniTest, ValueThatFitsExactlyIsNotCut)
{
    const std::string v511(511, 'x');
    const auto p = write("a.ini", "[a]\nk=\"" + v511 + "\"\n");
    EXPECT_EQ(ini::getString(p, "a", "k", "", ini::kBuf512), v511)
        << "the quotes are removed before the value is cut";
    EXPECT_EQ(ini::getString(p, "a", "k", "", 511), v511.substr(0, 510));
}

TEST_F(IniTest, DefaultIsCutToo)
{
    const std::string def(600, 'd');
    EXPECT_EQ(ini::getString(path("none.ini"), "a", "k", def, ini::kBuf512), def.substr(0, 511));
    EXPECT_EQ(ini::getString(path("none.ini"), "a", "k", def, ini::kBuf1024), def);
    EXPECT_EQ(ini::getString(path("none.ini"), "a", "k", "abc", 3), "ab");
}

// ---------------------------------------------------------------------------------------------
// Writes keep the rest of the file

TEST_F(IniTest, ReplacingAValueKeepsEveryOtherByte)
{
    const std::string before = "; terminal settings\r\n"
                               "\r\n"
                               "[Comm]   \r\n"
                               "  ; the port\r\n"
                               "\tPort = 3 \r\n"
                               "Baud=9600\r\n"
                               "garbage line\r\n"
                               "\r\n"
                               "[Other]\r\n"
                               "Baud=1\r\n";
    const auto p = write("a.ini", before);
    ASSERT_TRUE(ini::writeString(p, "comm", "BAUD", "115200"));
    EXPECT_EQ(read(p), "; terminal settings\r\n"
                       "\r\n"
                       "[Comm]   \r\n"
                       "  ; the port\r\n"
                       "\tPort = 3 \r\n"
                       "Baud=115200\r\n"
                       "garbage line\r\n"
                       "\r\n"
                       "[Other]\r\n"
                       "Baud=1\r\n");
    ASSERT_TRUE(ini::writeString(p, "Comm", "port", "4"));
    EXPECT_EQ(read(p), "; terminal settings\r\n"
                       "\r\n"
                       "[Comm]   \r\n"
                       "  ; the port\r\n"
                       "\tPort = 4\r\n"
                       "Baud=115200\r\n"
                       "garbage line\r\n"
                       "\r\n"
                       "[Other]\r\n"
                       "Baud=1\r\n")
        << "indent, key spelling and blanks around '=' stay";
}

TEST_F(IniTest, ReplacingChangesOnlyTheFirstOccurrence)
{
    const auto p = write("a.ini", "[a]\nk=1\nk=2\n[A]\nk=3\n");
    ASSERT_TRUE(ini::writeString(p, "A", "K", "new"));
    EXPECT_EQ(read(p), "[a]\nk=new\nk=2\n[A]\nk=3\n");
}

TEST_F(IniTest, WriteThenReadRoundTrips)
{
    const auto p = path("rt.ini");
    ASSERT_TRUE(ini::writeString(p, "a", "plain", "value"));
    ASSERT_TRUE(ini::writeString(p, "a", "high", "\xE4\xF6\xFC\xFF"));
    ASSERT_TRUE(ini::writeString(p, "a", "empty", ""));
    EXPECT_EQ(ini::getString(p, "a", "plain", "-"), "value");
    EXPECT_EQ(ini::getString(p, "a", "high", "-"), "\xE4\xF6\xFC\xFF");
    EXPECT_EQ(ini::find(p, "a", "empty"), "");
}

TEST_F(IniTest, UnchangedValueDoesNotRewriteTheFile)
{
    const auto p = write("a.ini", "[a]\nk=v\n");
    struct stat before {};
    ASSERT_EQ(::stat(p.c_str(), &before), 0);
    ASSERT_TRUE(ini::writeString(p, "a", "k", "v"));
    struct stat after {};
    ASSERT_EQ(::stat(p.c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
}

TEST_F(IniTest, WriteRejectsLineBreaksAndBadKeys)
{
    const std::string before = "[a]\nk=v\n";
    const auto p = write("a.ini", before);
    for (const auto& [s, k, v] :
         std::vector<std::tuple<std::string, std::string, std::string>>{{"a", "k", "two\nlines"},
                                                                        {"a", "k", "cr\r"},
                                                                        {"a\n[b]", "k", "v"},
                                                                        {"a", "k\nx", "v"},
                                                                        {"a", "", "v"},
                                                                        {"a", "  ", "v"},
                                                                        {"a", "x=y", "v"},
                                                                        {"a", ";x", "v"},
                                                                        {"a", "[x", "v"}}) {
        const auto r = ini::writeString(p, s, k, v);
        EXPECT_FALSE(r.ok) << "section '" << s << "' key '" << k << "'";
        EXPECT_EQ(r.error, std::strerror(EINVAL));
    }
    EXPECT_EQ(read(p), before);
}

TEST_F(IniTest, ValueEndsAtNulWhenWritten)
{
    const auto p = path("a.ini");
    ASSERT_TRUE(ini::writeString(p, "a", "k", "ab\0cd"s));
    EXPECT_EQ(read(p), "[a]\r\nk=ab\r\n");
}

// ---------------------------------------------------------------------------------------------
// New keys and sections

TEST_F(IniTest, NewKeyGoesAfterTheLastKeyOfItsSection)
{
    const auto p = write("a.ini", "[a]\n"
                                  "x=1\n"
                                  "; note\n"
                                  "y=2\n"
                                  "; trailing comment\n"
                                  "\n"
                                  "\n"
                                  "[b]\n"
                                  "z=3\n");
    ASSERT_TRUE(ini::writeString(p, "A", "New", "n"));
    EXPECT_EQ(read(p), "[a]\n"
                       "x=1\n"
                       "; note\n"
                       "y=2\n"
                       "New=n\n"
                       "; trailing comment\n"
                       "\n"
                       "\n"
                       "[b]\n"
                       "z=3\n");
}

TEST_F(IniTest, NewKeyInSectionWithoutKeysGoesRightAfterTheHeader)
{
    const auto p = write("a.ini", "[a]\n\n[b]\nz=3\n");
    ASSERT_TRUE(ini::writeString(p, "a", "k", "v"));
    EXPECT_EQ(read(p), "[a]\nk=v\n\n[b]\nz=3\n");
}

TEST_F(IniTest, NewKeyInLastSectionWithoutFinalLineEnd)
{
    const auto p = write("a.ini", "[a]\r\nx=1");
    ASSERT_TRUE(ini::writeString(p, "a", "y", "2"));
    EXPECT_EQ(read(p), "[a]\r\nx=1\r\ny=2\r\n");
}

TEST_F(IniTest, NewSectionIsAppendedInTheFileLineEndStyle)
{
    const auto lf = write("lf.ini", "; c\n[a]\nx=1\n\n");
    ASSERT_TRUE(ini::writeString(lf, "New", "k", "v"));
    EXPECT_EQ(read(lf), "; c\n[a]\nx=1\n\n[New]\nk=v\n");

    const auto crlf = write("crlf.ini", "[a]\r\nx=1\r\n");
    ASSERT_TRUE(ini::writeString(crlf, "New", "k", "v"));
    EXPECT_EQ(read(crlf), "[a]\r\nx=1\r\n[New]\r\nk=v\r\n");
}

TEST_F(IniTest, NewSectionTerminatesAnUnterminatedLastLine)
{
    const auto lf = write("lf.ini", "[a]\nx=1");
    ASSERT_TRUE(ini::writeString(lf, "b", "k", "v"));
    EXPECT_EQ(read(lf), "[a]\nx=1\n[b]\nk=v\n");

    const auto crlf = write("crlf.ini", "[a]\r\nx=1");
    ASSERT_TRUE(ini::writeString(crlf, "b", "k", "v"));
    EXPECT_EQ(read(crlf), "[a]\r\nx=1\r\n[b]\r\nk=v\r\n");
}

TEST_F(IniTest, StyleFollowsTheFirstLineEnd)
{
    const auto p = write("mixed.ini", "[a]\nx=1\r\n");
    ASSERT_TRUE(ini::writeString(p, "a", "y", "2"));
    EXPECT_EQ(read(p), "[a]\nx=1\r\ny=2\n") << "the existing CR LF line stays as it was";
}

TEST_F(IniTest, NewFileIsCreatedWithCrLf)
{
    const auto p = path("new.ini");
    const auto r = ini::writeString(p, "Sec", "Key", "Value");
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(read(p), "[Sec]\r\nKey=Value\r\n");
    ASSERT_TRUE(ini::writeString(p, "sec", "Second", "2"));
    EXPECT_EQ(read(p), "[Sec]\r\nKey=Value\r\nSecond=2\r\n");
}

TEST_F(IniTest, EmptyExistingFileGetsCrLf)
{
    const auto p = write("empty.ini", "");
    ASSERT_TRUE(ini::writeString(p, "a", "k", "v"));
    EXPECT_EQ(read(p), "[a]\r\nk=v\r\n");
}

// ---------------------------------------------------------------------------------------------
// Deletes

TEST_F(IniTest, DeleteKeyRemovesOnlyThatLine)
{
    const auto p = write("a.ini", "[a]\r\n; c\r\nx=1\r\nY=2\r\ny=3\r\n[b]\r\ny=4\r\n");
    ASSERT_TRUE(ini::deleteKey(p, "A", "y"));
    EXPECT_EQ(read(p), "[a]\r\n; c\r\nx=1\r\ny=3\r\n[b]\r\ny=4\r\n");
    EXPECT_EQ(ini::getString(p, "a", "y", "-"), "3") << "the next duplicate becomes visible";
}

TEST_F(IniTest, DeleteMissingKeyOrSectionLeavesFileAlone)
{
    const std::string before = "[a]\nx=1\n";
    const auto p = write("a.ini", before);
    EXPECT_TRUE(ini::deleteKey(p, "a", "nope"));
    EXPECT_TRUE(ini::deleteKey(p, "nope", "x"));
    EXPECT_TRUE(ini::deleteSection(p, "nope"));
    EXPECT_EQ(read(p), before);
}

TEST_F(IniTest, DeleteUnterminatedLastKeyKeepsPreviousLineEnd)
{
    const auto p = write("a.ini", "[a]\r\nx=1\r\ny=2");
    ASSERT_TRUE(ini::deleteKey(p, "a", "y"));
    EXPECT_EQ(read(p), "[a]\r\nx=1\r\n");
}

TEST_F(IniTest, DeleteSectionRemovesHeaderAndItsLines)
{
    const auto p = write("a.ini", "; top\n[a]\nx=1\n[B]\n; about b\ny=2\n\n[c]\nz=3\n");
    ASSERT_TRUE(ini::deleteSection(p, "b"));
    EXPECT_EQ(read(p), "; top\n[a]\nx=1\n[c]\nz=3\n");
    ASSERT_TRUE(ini::deleteSection(p, "C"));
    EXPECT_EQ(read(p), "; top\n[a]\nx=1\n");
    EXPECT_EQ(ini::sectionNames(p), Names{"a"});
}

TEST_F(IniTest, DeleteSectionRemovesOnlyTheFirstOfDuplicates)
{
    const auto p = write("a.ini", "[a]\nx=1\n[A]\nx=2\n");
    ASSERT_TRUE(ini::deleteSection(p, "a"));
    EXPECT_EQ(read(p), "[A]\nx=2\n");
}

TEST_F(IniTest, DeleteOnMissingFileSucceedsWithoutCreatingIt)
{
    const auto p = path("none.ini");
    EXPECT_TRUE(ini::deleteKey(p, "a", "k"));
    EXPECT_TRUE(ini::deleteSection(p, "a"));
    EXPECT_FALSE(exists(p));
    EXPECT_TRUE(ini::deleteKey(path("nodir/none.ini"), "a", "k"));
    EXPECT_EQ(dirEntries(dir_), Names{});
}

// ---------------------------------------------------------------------------------------------
// Atomic writes

TEST_F(IniTest, RewriteKeepsPermissionBits)
{
    const auto p = write("secret.ini", "[a]\nk=v\n");
    ASSERT_EQ(::chmod(p.c_str(), 0600), 0);
    ASSERT_TRUE(ini::writeString(p, "a", "k", "changed"));
    EXPECT_EQ(mode(p), 0600u);
    ASSERT_EQ(::chmod(p.c_str(), 0640), 0);
    ASSERT_TRUE(ini::deleteKey(p, "a", "k"));
    EXPECT_EQ(mode(p), 0640u);
    EXPECT_EQ(dirEntries(dir_), Names{"secret.ini"}) << "no temporary file left behind";
}

TEST_F(IniTest, NewFileGets0644WhateverTheUmask)
{
    const mode_t old = ::umask(077);
    const auto r = ini::writeString(path("n.ini"), "a", "k", "v");
    ::umask(old);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(mode(path("n.ini")), 0644u);
}

TEST_F(IniTest, RewriteReplacesTheFileInsteadOfEditingIt)
{
    // A reader that opened the old file keeps seeing the old content.
    const auto p = write("a.ini", "[a]\nk=old\n");
    std::ifstream reader(p, std::ios::binary);
    ASSERT_TRUE(ini::writeString(p, "a", "k", "new"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(reader), std::istreambuf_iterator<char>()),
              "[a]\nk=old\n");
    EXPECT_EQ(read(p), "[a]\nk=new\n");
}

TEST_F(IniTest, WriteThroughSymlinkKeepsTheLink)
{
    const auto target = write("real.ini", "[a]\nk=1\n");
    const auto link = path("link.ini");
    ASSERT_EQ(::symlink("real.ini", link.c_str()), 0);
    ASSERT_TRUE(ini::writeString(link, "a", "k", "2"));
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(read(target), "[a]\nk=2\n");
}

TEST_F(IniTest, WriteUnderARegularFileFailsEvenForRoot)
{
    write("plain", "not a directory");
    const auto p = path("plain/a.ini");
    const auto r = ini::writeString(p, "a", "k", "v");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, std::strerror(ENOTDIR));
    EXPECT_EQ(read(path("plain")), "not a directory");
    EXPECT_EQ(dirEntries(dir_), Names{"plain"});
}

TEST_F(IniTest, WriteIntoMissingDirectoryFailsAndCreatesNothing)
{
    const auto r = ini::writeString(path("missing/a.ini"), "a", "k", "v");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, std::strerror(ENOENT));
    EXPECT_EQ(dirEntries(dir_), Names{});
}

TEST_F(IniTest, WriteOverADirectoryFails)
{
    ASSERT_EQ(::mkdir(path("d.ini").c_str(), 0755), 0);
    const auto r = ini::writeString(path("d.ini"), "a", "k", "v");
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.empty());
    ini::Document doc = ini::Document::parse("[a]\nk=v\n");
    EXPECT_FALSE(doc.save(path("d.ini")).ok);
    EXPECT_EQ(dirEntries(dir_), Names{"d.ini"}) << "no temporary file left behind";
}

TEST_F(IniTest, WriteInReadOnlyDirectoryFailsAndKeepsTheFile)
{
    const std::string before = "; keep me\r\n[a]\r\nk=v\r\n";
    const auto sub = path("ro");
    ASSERT_EQ(::mkdir(sub.c_str(), 0755), 0);
    const auto p = sub + "/a.ini";
    std::ofstream(p, std::ios::binary) << before;
    ASSERT_EQ(::chmod(sub.c_str(), 0500), 0);

    const auto r = ini::writeString(p, "a", "k", "changed");
    const auto del = ini::deleteSection(p, "a");
    if (r.ok) GTEST_SKIP() << "the process can write into a 0500 directory (running as root?)";
    EXPECT_FALSE(del.ok);
    EXPECT_EQ(r.error, std::strerror(EACCES));
    EXPECT_EQ(read(p), before);
    EXPECT_EQ(dirEntries(sub), Names{"a.ini"});
}

TEST_F(IniTest, FailedWriteOfTheContentKeepsTheFileEvenForRoot)
{
    // A file size limit makes the write into the temporary file stop short, as a full disk would.
    std::string before = "[a]\r\n";
    for (int i = 0; i < 200; ++i)
        before += "key" + std::to_string(i) + "=some value\r\n";
    const auto p = write("a.ini", before);
    ASSERT_GT(before.size(), 2048u);

    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit low = old;
    low.rlim_cur = 1024;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &low), 0);
    const auto r = ini::writeString(p, "a", "key0", "changed");
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, std::strerror(EFBIG));
    EXPECT_EQ(read(p), before);
    EXPECT_EQ(dirEntries(dir_), Names{"a.ini"}) << "no temporary file left behind";
}

TEST_F(IniTest, RootRewriteKeepsTheOwner)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only a privileged process can write a file owned by someone else";
    const auto p = write("a.ini", "[a]\nk=v\n");
    ASSERT_EQ(::chown(p.c_str(), 65534, 65534), 0);
    ASSERT_TRUE(ini::writeString(p, "a", "k", "changed"));
    struct stat st {};
    ASSERT_EQ(::stat(p.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
}

// ---------------------------------------------------------------------------------------------
// Section names

TEST_F(IniTest, SectionNamesFollowTheSystemBufferRule)
{
    // "section1\0section2\0section3\0\0" needs 28 bytes.
    const auto p = write("a.ini", "[section1]\r\n[section2]\r\n[section3]\r\n");
    const Names all{"section1", "section2", "section3"};
    EXPECT_EQ(ini::sectionNames(p), all);
    EXPECT_EQ(ini::sectionNames(p, 29), all);
    EXPECT_EQ(ini::sectionNames(p, 28), all) << "exact fit";
    EXPECT_EQ(ini::sectionNames(p, 27), (Names{"section1", "section2", "section"}));
    EXPECT_EQ(ini::sectionNames(p, 20), (Names{"section1", "section2"})) << "no room for a cut";
    EXPECT_EQ(ini::sectionNames(p, 19), (Names{"section1", "section2"}));
    EXPECT_EQ(ini::sectionNames(p, 18), (Names{"section1", "section"}));
    EXPECT_EQ(ini::sectionNames(p, 12), (Names{"section1", "s"}));
    EXPECT_EQ(ini::sectionNames(p, 11), Names{"section1"}) << "a cut to nothing is dropped";
    EXPECT_EQ(ini::sectionNames(p, 10), Names{"section1"});
    EXPECT_EQ(ini::sectionNames(p, 9), Names{"section"});
    EXPECT_EQ(ini::sectionNames(p, 3), Names{"s"});
    EXPECT_EQ(ini::sectionNames(p, 2), Names{});
    EXPECT_EQ(ini::sectionNames(p, 1), Names{});
    EXPECT_EQ(ini::sectionNames(p, 0), Names{});
}

TEST_F(IniTest, SectionNamesSkipEmptyNamesAndKeepDuplicates)
{
    const auto p = write("a.ini", "[]\nk=v\n[ ]\n[a]\n[A]\n; [c]\n[b]\n");
    EXPECT_EQ(ini::sectionNames(p), (Names{"a", "A", "b"}));
    EXPECT_EQ(ini::getString(p, "", "k", "-"), "v") << "an empty-named section is still readable";
    EXPECT_EQ(ini::sectionNames(path("none.ini")), Names{});
}

// ---------------------------------------------------------------------------------------------
// Junk and binary input

TEST_F(IniTest, NulInsideALineEndsIt)
{
    const auto p = write("a.ini", "[a]\nk=ab\0cd\nx\0=1\n[b\0]\ny=2\n"s);
    EXPECT_EQ(ini::getString(p, "a", "k", "-"), "ab");
    EXPECT_EQ(ini::getString(p, "a", "x", "-"), "-");
    EXPECT_EQ(ini::getString(p, "a", "y", "-"), "2") << "\"[b\\0]\" is not a header";
    ASSERT_TRUE(ini::writeString(p, "a", "new", "1"));
    EXPECT_EQ(read(p), "[a]\nk=ab\0cd\nx\0=1\n[b\0]\ny=2\nnew=1\n"s) << "NUL bytes are kept";
}

TEST_F(IniTest, RandomBytesNeitherCrashNorChangeOnRoundTrip)
{
    std::mt19937 rng(12345);
    const std::string alphabet = "[]=;\"' \t\r\n\0abcAB\xFF\x80"s;
    for (int round = 0; round < 200; ++round) {
        std::string junk;
        const int len = static_cast<int>(rng() % 2000);
        for (int i = 0; i < len; ++i)
            junk += (rng() % 4 == 0) ? static_cast<char>(rng() % 256)
                                     : alphabet[rng() % alphabet.size()];
        const ini::Document doc = ini::Document::parse(junk);
        ASSERT_EQ(doc.text(), junk) << "round " << round;
        for (const auto& name : doc.sectionNames(64)) {
            (void)doc.entries(name);
            (void)doc.get(name, "a", "d", 8);
        }
        ini::Document edited = doc;
        edited.set("a", "b", "c");
        EXPECT_EQ(edited.get("a", "b", "-"), "c") << "round " << round;
        edited.removeKey("a", "b");
        edited.removeSection("A");
        const std::string after = edited.text();
        EXPECT_EQ(ini::Document::parse(after).text(), after) << "round " << round;
    }
}

TEST_F(IniTest, BinaryFileOnDiskCanBeReadAndEdited)
{
    std::string junk;
    for (int i = 0; i < 4096; ++i)
        junk += static_cast<char>((i * 7919) & 0xFF);
    const auto p = write("bin.ini", junk);
    (void)ini::getString(p, "a", "b", "-");
    (void)ini::sectionNames(p);
    ASSERT_TRUE(ini::writeString(p, "zz", "k", "v"));
    const std::string after = read(p);
    ASSERT_GE(after.size(), junk.size());
    EXPECT_EQ(after.compare(0, junk.size(), junk), 0) << "existing bytes are kept";
    EXPECT_EQ(ini::getString(p, "zz", "k", "-"), "v");
}

TEST_F(IniTest, LonelyBracketsAndEqualsSigns)
{
    const ini::Document doc = ini::Document::parse("[\n]\n=\n[=]\n==\n;\n[]]\n");
    EXPECT_EQ(doc.sectionNames(), (Names{"=", "]"}));
    EXPECT_EQ(doc.entries("="), (Entries{{"", "="}}));
    EXPECT_EQ(doc.get("]", "", "-"), "-");
}

// ---------------------------------------------------------------------------------------------
// Document

TEST_F(IniTest, DocumentRoundTripsExactly)
{
    for (const std::string& text : {""s, "\n"s, "\r\n"s, "a"s, "[a]\r\nk=v"s, "x\r\ny\nz\r"s,
                                    "\n\n\n"s, "[a]\r\n\r\n; c\r\nk = \" v \" \r\n"s}) {
        EXPECT_EQ(ini::Document::parse(text).text(), text);
    }
}

TEST_F(IniTest, DocumentEditsInMemory)
{
    ini::Document doc = ini::Document::parse("[a]\nk=1\n");
    doc.set("a", "k", "2");
    doc.set("b", "x", "y");
    doc.removeKey("a", "nothing");
    EXPECT_EQ(doc.text(), "[a]\nk=2\n[b]\nx=y\n");
    EXPECT_EQ(doc.get("B", "X", "-"), "y");
    EXPECT_EQ(doc.entries("b"), (Entries{{"x", "y"}}));
    doc.set("b", "multi", "one\ntwo");
    EXPECT_EQ(doc.get("b", "multi", "-"), "one") << "a value cannot split its line";

    const auto p = path("doc.ini");
    const auto r = doc.save(p);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(read(p), doc.text());
    EXPECT_EQ(ini::Document::load(p).text(), doc.text());
    EXPECT_EQ(ini::Document::load(path("none.ini")).text(), "");
}

TEST_F(IniTest, LargeFileLoadsAndParsesInLinearTime)
{
    // About 4 MB: a quadratic scan would take minutes here.
    std::string text;
    const int sections = 2000, keys = 100;
    for (int s = 0; s < sections; ++s) {
        text += "[s" + std::to_string(s) + "]\r\n; comment line for the section\r\n";
        for (int k = 0; k < keys; ++k)
            text += "key" + std::to_string(k) + " = value " + std::to_string(s * keys + k) + "\r\n";
    }
    ASSERT_GT(text.size(), 4u << 20);
    const auto p = write("big.ini", text);

    const auto t0 = std::chrono::steady_clock::now();
    const ini::Document doc = ini::Document::load(p);
    EXPECT_EQ(doc.get("s1999", "key99", "-"), "value 199999");
    EXPECT_EQ(doc.sectionNames(1 << 20).size(), static_cast<std::size_t>(sections));
    EXPECT_EQ(ini::getString(p, "S1999", "KEY98", "-"), "value 199998");
    ASSERT_TRUE(ini::writeString(p, "s1999", "key99", "changed"));
    const auto elapsed = std::chrono::steady_clock::now() - t0;
    EXPECT_EQ(ini::getString(p, "s1999", "key99", "-"), "changed");
    EXPECT_LT(elapsed, std::chrono::seconds(20));
}

} // namespace
