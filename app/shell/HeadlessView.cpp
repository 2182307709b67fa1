#include "HeadlessView.h"

#include <cstdio>

namespace px {

void HeadlessView::MessageBox(const std::string& text, Icon, const std::string& title)
{
    const std::string line = (title.empty() ? std::string() : title + ": ") + text;
    messages.push_back(line);
    if (writeToStderr) std::fprintf(stderr, "%s\n", line.c_str());
    if (logSink) logSink(line);
}

bool HeadlessView::Question(const std::string& text, Icon, bool defaultYes)
{
    const std::string line = text + (defaultYes ? " [Yes]" : " [No]");
    messages.push_back(line);
    if (writeToStderr) std::fprintf(stderr, "%s\n", line.c_str());
    if (logSink) logSink(line);
    return defaultYes;
}

} // namespace px
