#include "Texts.h"

#include "VbText.h"

#include <QLocale>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <filesystem>

namespace px {

namespace {

// Cuts a UTF-8 text after max characters without splitting a character.
std::string CutCharacters(std::string text, std::size_t max)
{
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (chars == max) {
                text.resize(i);
                break;
            }
            ++chars;
        }
    }
    return text;
}

} // namespace

void Texts::SetLanguageFile(const std::string& path)
{
    file_ = path;
    doc_ = path.empty() ? ini::Document() : ini::Document::load(path);
}

std::string Texts::Get(int number, std::string_view def) const
{
    std::string text = Raw(number, def);
    static constexpr std::string_view kModel = "PX740";
    if (model_.empty() || model_ == kModel) return text;
    for (auto at = text.find(kModel); at != std::string::npos;
         at = text.find(kModel, at + model_.size()))
        text.replace(at, kModel.size(), model_);
    return text;
}

std::string Texts::Raw(int number, std::string_view def) const
{
    if (file_.empty()) return std::string(def);
    // Read with room to spare, then cut by characters: a byte limit could split a character.
    const auto value = doc_.find("LANGUAGE", std::to_string(number), 4 * (kMaxText + 1));
    if (!value || value->empty()) return std::string(def);
    const std::string text = CutCharacters(*value, kMaxText);
    std::string out;
    out.reserve(text.size() + 8);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
            out += "\r\n";
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

LanguageList FillLanguageList(const std::string& folder, std::string wanted)
{
    LanguageList list;
    if (wanted.empty()) wanted = GetSystemLanguageName();
    wanted = UCase(wanted);
    std::error_code ec;
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        const std::string upper = UCase(name);
        const std::size_t dot = upper.find(".TXT");
        if (dot != std::string::npos && dot > 0) files.push_back(name.substr(0, dot));
    }
    std::sort(files.begin(), files.end());
    int wantedAt = -1, englishAt = -1;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string upper = UCase(files[i]);
        if (wantedAt < 0 && upper == wanted) wantedAt = static_cast<int>(i);
        if (englishAt < 0 && upper == "ENGLISH") englishAt = static_cast<int>(i);
    }
    list.names = std::move(files);
    if (wantedAt >= 0)
        list.selected = wantedAt;
    else if (englishAt >= 0)
        list.selected = englishAt;
    else if (!list.names.empty())
        list.selected = 0;
    return list;
}

std::string GetSystemLanguageName()
{
    std::string name;
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(var);
        if (value && *value) {
            name = value;
            break;
        }
    }
    if (name.empty() || name == "C" || name == "POSIX") return "English";
    const QLocale locale(QString::fromStdString(name.substr(0, name.find('.'))));
    if (locale.language() == QLocale::C) return "English";
    return QLocale::languageToString(locale.language()).toStdString().substr(0, 63);
}

} // namespace px
