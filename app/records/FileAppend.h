// Appending one line to a text file so that it is either there completely or not at all: a
// single write of the line and its CR LF, and on any failure the file is cut back to its old
// length. The file is opened and closed for each line, so other programs can read it any time.
#pragma once

#include <string>
#include <string_view>

namespace px {

// Appends text + CR LF, creating the file when missing. With durable the line is on disk when
// this returns, so a counter written afterwards can never get ahead of the line. On failure
// *error holds the system's description and the file is as it was.
bool AppendLine(const std::string& path, std::string_view text, std::string* error,
                bool durable = false);

// Makes what was appended without durable reach the disk.
bool SyncFile(const std::string& path, std::string* error);

// Replaces the whole file atomically (the INI module's writer); a failed write leaves the old
// file as it was.
bool ReplaceFile(const std::string& path, std::string_view text, std::string* error);

// Creates the file when missing without changing it otherwise.
bool TouchFile(const std::string& path, std::string* error);

// Never throws: a folder that cannot be read counts as "not there".
bool FileExists(const std::string& path);

// Size in bytes, -1 when it cannot be determined.
long long FileSizeOf(const std::string& path);

// Folder and file name joined with exactly one separator.
std::string JoinPath(const std::string& folder, const std::string& file);

} // namespace px
