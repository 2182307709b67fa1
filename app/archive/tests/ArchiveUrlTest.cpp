// Archive/URL: empty, off, a PostgreSQL URL; anything else, and a password, refused with a
// message that never repeats a password.
#include "ArchiveUrl.h"

#include <gtest/gtest.h>

using namespace px::archive;
using Kind = ArchiveTarget::Kind;

TEST(ArchiveUrl, EmptyIsTheSqliteFileOfTheProgramFolder)
{
    std::string error;
    for (const char* setting : {"", "   "}) {
        const auto t = ParseArchiveUrl(setting, "/p/Records/punches.db", &error);
        ASSERT_TRUE(t);
        EXPECT_EQ(t->kind, Kind::Sqlite);
        EXPECT_EQ(t->sqlitePath, "/p/Records/punches.db");
    }
}

TEST(ArchiveUrl, OffInAnyCase)
{
    std::string error;
    for (const char* setting : {"off", "OFF", " Off "}) {
        const auto t = ParseArchiveUrl(setting, "x", &error);
        ASSERT_TRUE(t) << setting;
        EXPECT_EQ(t->kind, Kind::Off);
    }
}

TEST(ArchiveUrl, PostgresUrlsAreTakenAsWritten)
{
    std::string error;
    for (const char* url :
         {"postgresql://px@db.example.org:5432/punches", "postgres://px@127.0.0.1/punches",
          "postgresql:///punches?host=/tmp/sock&user=px"}) {
        const auto t = ParseArchiveUrl(url, "x", &error);
        ASSERT_TRUE(t) << url << ": " << error;
        EXPECT_EQ(t->kind, Kind::Postgres);
        EXPECT_EQ(t->conninfo, url);
        EXPECT_EQ(t->shown, url);
    }
}

TEST(ArchiveUrl, APasswordIsRefusedAndNeverRepeated)
{
    for (const char* url :
         {"postgresql://px:s3cret@db/punches", "postgresql://px@db/punches?password=s3cret"}) {
        std::string error;
        EXPECT_FALSE(ParseArchiveUrl(url, "x", &error)) << url;
        EXPECT_NE(error.find("pgpass"), std::string::npos) << error;
        EXPECT_EQ(error.find("s3cret"), std::string::npos) << error;
    }
    std::string error;
    EXPECT_FALSE(ParseArchiveUrl("mysql://px:s3cret@db/punches", "x", &error));
    EXPECT_EQ(error.find("s3cret"), std::string::npos) << error;
    EXPECT_NE(error.find("mysql://px:***@db/punches"), std::string::npos) << error;
}

TEST(ArchiveUrl, WhatDoesNotParseSaysWhy)
{
    std::string error;
    EXPECT_FALSE(ParseArchiveUrl("postgresql://db/punches?bogus=1", "x", &error));
    EXPECT_NE(error.find("not a PostgreSQL URL: invalid URI query parameter"), std::string::npos)
        << error;
    error.clear();
    EXPECT_FALSE(ParseArchiveUrl("postgresql://px:s3cret@[::1/punches", "x", &error));
    EXPECT_NE(error.find("IPv6"), std::string::npos) << error;
    EXPECT_EQ(error.find("s3cret"), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(ParseArchiveUrl("punches.db", "x", &error));
    EXPECT_NE(error.find("neither empty, off nor postgresql://"), std::string::npos) << error;
}
