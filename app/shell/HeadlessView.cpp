#include "HeadlessView.h"

#include <cstdio>

namespace px {

namespace {

// A message nobody may see when standard error is closed: the log sink still gets it.
void Report(const std::string& line)
{
    (void)std::fprintf(stderr, "%s\n", line.c_str());
}

} // namespace

void HeadlessView::Keep(const std::string& line)
{
    // Half at a time, so that keeping the bound costs little per message.
    if (messages.size() >= kMaxMessages)
        messages.erase(messages.begin(),
                       messages.begin() + static_cast<std::ptrdiff_t>(kMaxMessages / 2));
    messages.push_back(line);
}

void HeadlessView::MessageBox(const std::string& text, Icon, const std::string& title)
{
    const std::string line = (title.empty() ? std::string() : title + ": ") + text;
    Keep(line);
    if (writeToStderr) Report(line);
    if (logSink) logSink(line);
}

bool HeadlessView::Question(const std::string& text, Icon, bool defaultYes)
{
    const bool yes = answer ? answer(text, defaultYes) : defaultYes;
    const std::string line = text + (yes ? " [Yes]" : " [No]");
    Keep(line);
    if (writeToStderr) Report(line);
    if (logSink) logSink(line);
    return yes;
}

} // namespace px
