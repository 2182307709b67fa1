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
    h.core->session().state().iCurrentID = 9;
    h.core->ErrorBox(21);
    h.core->ShowMsg("Stop the time scheduler first");
    ASSERT_EQ(logged.size(), 2u);
    EXPECT_NE(logged[0].find("polling device 9 ."), std::string::npos);
    EXPECT_EQ(logged[1], "PX740: Stop the time scheduler first");
}

// An unattended run lasts months: the headless view keeps only the latest messages.
TEST(CoreMessages, HeadlessViewKeepsABoundedTail)
{
    CoreHarness h;
    const std::size_t total = px::HeadlessView::kMaxMessages * 5 + 7;
    for (std::size_t i = 0; i < total; ++i)
        h.core->ShowMsg("message " + std::to_string(i));
    ASSERT_LE(h.view.messages.size(), px::HeadlessView::kMaxMessages);
    ASSERT_FALSE(h.view.messages.empty());
    EXPECT_EQ(h.view.messages.back(), "PX740: message " + std::to_string(total - 1));
    // The kept ones are the latest, in order.
    const std::size_t first = total - h.view.messages.size();
    for (std::size_t i = 0; i < h.view.messages.size(); ++i)
        ASSERT_EQ(h.view.messages[i], "PX740: message " + std::to_string(first + i));
}
