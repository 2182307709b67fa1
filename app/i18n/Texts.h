// User-interface texts by number from the chosen language file (section "LANGUAGE", key = the
// number). Without a language file, or for a missing or empty key, a lookup answers its default.
#pragma once

#include "Ini.h"

#include <string>
#include <string_view>
#include <vector>

namespace px {

class Texts {
public:
    // Longest text, in characters (language files are UTF-8).
    static constexpr std::size_t kMaxText = 1023;

    // The text with this number in the current language, or def; "\n" becomes CR LF.
    std::string Get(int number, std::string_view def) const;

    // The sister build shows its own title where a text names the model "PX740".
    void SetModelName(std::string name) { model_ = std::move(name); }

    // Sets (and reads) the current language file; "" means no language.
    void SetLanguageFile(const std::string& path);
    const std::string& LanguageFile() const { return file_; }

private:
    std::string Raw(int number, std::string_view def) const;

    std::string model_;
    std::string file_;
    ini::Document doc_;
};

// The language names (file names without ".txt") of a folder and the one to select: the wanted
// name, else "ENGLISH", else the first; all compared in upper case.
struct LanguageList {
    std::vector<std::string> names;
    int selected = -1;
    bool ok() const { return selected >= 0; }
};
LanguageList FillLanguageList(const std::string& folder, std::string wanted);

// English name of the process locale's language ("German" for de_DE), "" when unknown.
std::string GetSystemLanguageName();

} // namespace px
