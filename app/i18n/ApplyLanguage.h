// Translates a window and its controls from the current language: every widget carries the
// numbers of its texts in its "tag" property; the meaning of each position depends on the kind
// of widget. Fonts come from texts 20 (name) and 21 (size).
#pragma once

#include <string>
#include <vector>

class QWidget;

namespace px {

class Texts;

// The numbers of a tag: position i holds the first and the second number of "a;b" (0 when the
// position holds nothing usable).
struct TagEntry {
    int first = 0;
    int second = 0;
};
std::vector<TagEntry> ParseTag(const std::string& tag);

void ApplyLanguage(QWidget* window, const Texts& texts);

} // namespace px
