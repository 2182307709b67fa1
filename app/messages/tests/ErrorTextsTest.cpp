// The numbered error texts and line wrapping.
#include "ErrorTexts.h"
#include "Texts.h"

#include <gtest/gtest.h>

#include <string>

TEST(ErrorTexts, TableAndComposedMessage)
{
    px::Texts t;
    EXPECT_EQ(px::ErrorText(0, t, 5), "Unknown Error");
    EXPECT_EQ(px::ErrorText(30, t, 5), "Unknown Error");
    EXPECT_EQ(px::ErrorText(-1, t, 5), "Unknown Error");
    EXPECT_EQ(px::ErrorText(1, t, 5), "Communications with PX740 failed");
    EXPECT_EQ(px::ErrorText(29, t, 5),
              "The database is malfunctioning. The data could not be loaded.");
    EXPECT_EQ(px::ErrorText(21, t, 7),
              "An error occurred while polling device 7 .  Please check the device connection "
              "again.  Or try another device.");
}

TEST(ErrorTexts, AdjustWidthBreaksALongWordAtTheLimit)
{
    // Ten units per character, width 150: the limit is 100, so the 11th character ends a line.
    auto measure = [](const std::string& s) { return 10 * static_cast<int>(s.size()); };
    EXPECT_EQ(px::AdjustWidth(std::string(25, 'w'), 150, measure),
              std::string(11, 'w') + "\r" + std::string(11, 'w') + "\r" + std::string(3, 'w'));
    EXPECT_EQ(px::AdjustWidth("short", 150, measure), "short");
    EXPECT_EQ(px::AdjustWidth("", 150, measure), "");
}
