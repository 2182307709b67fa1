// INI files as the program has always read and written them: section and key names
// compared without case, first match wins, values trimmed and one pair of surrounding quotes
// removed, ";" comment lines, reads truncated to a caller's buffer size, writes that keep every
// other line of the file. All text is 8-bit and handled byte for byte.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace px::ini {

// Buffer sizes the system's readers use; a read returns at most size - 1 characters.
inline constexpr std::size_t kBuf512 = 512;
inline constexpr std::size_t kBuf1024 = 1024;
inline constexpr std::size_t kBuf2048 = 2048;

struct WriteResult {
    bool ok = true;
    std::string error; // system's description when !ok
    explicit operator bool() const { return ok; }
};

// Value of key in section, or def when the file, section or key is missing. The result is cut to
// bufSize - 1 characters (the default is cut as well, like the system does).
std::string getString(const std::string& path, std::string_view section, std::string_view key,
                      std::string_view def, std::size_t bufSize = kBuf2048);

// The value when the key exists (trimmed, unquoted, cut to bufSize - 1), else nullopt.
std::optional<std::string> find(const std::string& path, std::string_view section,
                                std::string_view key, std::size_t bufSize = kBuf2048);

// Writes key=value into section, creating the file and the section when missing. The file is
// replaced atomically (temporary file with the target's mode, then rename).
WriteResult writeString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value);

// Replaces a whole file with text: a temporary file beside it with the target's mode, synced,
// then renamed over it, and the folder synced so that the rename survives a power cut. A failure
// leaves the old file as it was. Used for every file the program rewrites whole, INI or not.
WriteResult replaceFile(const std::string& path, std::string_view text);

// Removes one key (no error when it is missing).
WriteResult deleteKey(const std::string& path, std::string_view section, std::string_view key);

// Removes a whole section with its keys (no error when it is missing).
WriteResult deleteSection(const std::string& path, std::string_view section);

// Section names in file order. Names are accumulated like the system's section-name reader into
// a buffer of bufSize bytes (each name plus a terminating NUL); names that do not fit are cut or
// dropped the same way.
std::vector<std::string> sectionNames(const std::string& path, std::size_t bufSize = 32768);

// Reads the file, lets change edit it, and writes it back atomically (only when it changed). A
// file that exists but cannot be read is never replaced.
class Document;
WriteResult edit(const std::string& path, const std::function<void(Document&)>& change);

// Keys with their values (trimmed, unquoted) of a section, in file order; duplicates kept.
std::vector<std::pair<std::string, std::string>> sectionEntries(const std::string& path,
                                                                std::string_view section);

// The same reads on a file already in memory (used by callers that read many keys at once).
class Document {
public:
    Document() = default;
    static Document load(const std::string& path); // missing or unreadable file: empty document
    // A missing file gives an empty document; one that exists but cannot be read gives nullopt
    // (callers that write back must not replace it with less than it held).
    static std::optional<Document> tryLoad(const std::string& path, std::string* error = nullptr);
    static Document parse(std::string_view text);

    std::optional<std::string> find(std::string_view section, std::string_view key,
                                    std::size_t bufSize = kBuf2048) const;
    std::string get(std::string_view section, std::string_view key, std::string_view def,
                    std::size_t bufSize = kBuf2048) const;
    std::vector<std::string> sectionNames(std::size_t bufSize = 32768) const;
    std::vector<std::pair<std::string, std::string>> entries(std::string_view section) const;

    // Edits keep every other line as it was.
    void set(std::string_view section, std::string_view key, std::string_view value);
    void removeKey(std::string_view section, std::string_view key);
    void removeSection(std::string_view section);

    std::string text() const; // the whole file as it would be written
    WriteResult save(const std::string& path) const;

private:
    // Split at LF; the CR of a CR LF end stays in the line, so mixed files round-trip unchanged.
    std::vector<std::string> lines_;
    std::string eol_ = "\r\n"; // line end of the lines an edit adds
    bool finalEol_ = true;     // the file ended with a line end
};

} // namespace px::ini
