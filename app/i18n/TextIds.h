// Numbers of the user-interface texts in the language files, with their English defaults.
#pragma once

namespace px::txt {

struct Text {
    int id;
    const char* english;
};

inline constexpr Text kNotUnitFound{500, "Not Unit Found"};
inline constexpr Text kSchedulerBlocksOpen{
    907, "The time scheduler is running. Stop it before you open a terminal."};
inline constexpr Text kSchedulerBlocksClose{
    908, "The time scheduler is running. Stop it before you close the program."};
inline constexpr Text kCommandAccepted{9100, "Command accepted"};
inline constexpr Text kIdChangeFailed{9101, "Changing the machine ID failed"};
// Status of a refusal "N" + code for codes 0 to 6: text 9000 + code.
inline constexpr int kRefusalBase = 9000;
inline constexpr const char* kRefusalEnglish[] = {
    "Command refused (N00)",          "Unknown command (N01)", "Command format error (N02)",
    "No such record (N03)",           "Wrong password (N04)",  "Device busy (N05)",
    "Not allowed in this mode (N06)",
};

} // namespace px::txt
