// Messages of a program without a window.
#include "CoreHarness.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using px::testing::CoreHarness;

TEST(CoreMessages, HeadlessMessagesGoToStandardErrorAndTheLog)
{
    CoreHarness h;
    std::vector<std::string> logged;
    h.view.logSink = [&](const std::string& l) { logged.push_back(l); };
    h.core->state().iCurrentID = 9;
    h.core->ErrorBox(21);
    h.core->ShowMsg("Stop the time scheduler first");
    ASSERT_EQ(logged.size(), 2u);
    EXPECT_NE(logged[0].find("polling device 9 ."), std::string::npos);
    EXPECT_EQ(logged[1], "PX740: Stop the time scheduler first");
}
