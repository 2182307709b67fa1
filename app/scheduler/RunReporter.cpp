#include "RunReporter.h"

#include "ErrorTexts.h"
#include "RunPart.h"
#include "Texts.h"

namespace px {

RunReporter::RunReporter(RunPart& part, const Texts& texts, std::string title,
                         std::function<void(const std::string&)> monitor,
                         std::function<void(const std::string&)> status)
    : part_(part), texts_(texts), title_(std::move(title)), monitor_(std::move(monitor)),
      status_(std::move(status))
{
}

void RunReporter::Monitor(const std::string& line)
{
    if (monitor_) monitor_(line);
}

void RunReporter::Status(const std::string& text)
{
    if (status_) status_(text);
}

void RunReporter::StatusText(int id, std::string_view def)
{
    Status(Text(id, def));
}

std::string RunReporter::Text(int id, std::string_view def) const
{
    return texts_.Get(id, def);
}

void RunReporter::Error(int n, int unit)
{
    part_.Log(ErrorText(n, texts_, unit), false);
}

void RunReporter::Log(const std::string& line, bool silent)
{
    part_.Log(line, silent);
}

} // namespace px
