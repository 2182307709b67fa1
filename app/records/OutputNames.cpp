#include "OutputNames.h"

#include "FileAppend.h"
#include "Options.h"
#include "ProgramPaths.h"
#include "VbText.h"

#include <algorithm>

namespace px {

namespace {

constexpr std::string_view kForbidden = "\\/:*?<>|\"";

} // namespace

std::string RemoveForbidden(const std::string& name)
{
    std::string out;
    out.reserve(name.size());
    for (char c : name)
        if (kForbidden.find(c) == std::string_view::npos) out += c;
    return out;
}

std::string OutputFileName(const Options& o, const DateTime& now)
{
    const std::string name = o.optFixName ? ExpandDate(o.fixName, "{Date#}", now, "YYYYMMDD")
                                          : FormatDate(now, o.dateName) + "." + o.subName;
    return RemoveForbidden(name);
}

std::string MailFilePath(const ProgramPaths& paths, const std::string& fileName)
{
    return paths.In("Records/MailFile/" + fileName);
}

std::string BackupFilePath(const ProgramPaths& paths, const DateTime& now)
{
    return paths.In("Records/" + FormatDate(now, "YYYYMM.BAK"));
}

bool AcceptFixNameKey(char key)
{
    return kForbidden.find(key) == std::string_view::npos;
}

bool AcceptSubNameKey(char key)
{
    return key != '.' && AcceptFixNameKey(key);
}

bool AcceptDigitalKey(int key, const std::string& resultingText)
{
    if (key < 31) return true;
    if (key < '0' || key > '9') return false;
    return Val(resultingText) <= 99.0;
}

int IdLength(const std::string& text)
{
    // Clamped before the conversion: a settings file may hold any number.
    return static_cast<int>(std::clamp(Val(text), 0.0, 99.0));
}

std::string DigitalChanged(const std::string& text, int* nIDLen)
{
    *nIDLen = IdLength(text);
    if (!text.empty() && ((text[0] == '0' && text.size() > 1) || !IsNumeric(text)))
        return std::to_string(*nIDLen);
    return text;
}

std::string DigitalLeft(const std::string& text)
{
    if (Trim(text).empty()) return "14";
    if (Val(text) > 99.0) return "99";
    return text;
}

} // namespace px
