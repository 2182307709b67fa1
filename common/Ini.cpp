#include "Ini.h"

#include "CharClass.h"
#include "SysError.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace px::ini {
namespace {

using namespace std::string_view_literals;

constexpr auto npos = std::string_view::npos;

using chars::IsBlank;
using chars::TrimBlanks;

// Callers' strings end at the first NUL, like the C strings the system functions take.
std::string_view cString(std::string_view s)
{
    return s.substr(0, s.find('\0'));
}

std::string_view queryName(std::string_view s)
{
    return TrimBlanks(cString(s));
}

// What a written name or value may hold: a line break would split the line in two.
std::string_view oneLine(std::string_view s)
{
    return s.substr(0, s.find_first_of("\0\r\n"sv));
}

// ASCII only: high bytes are compared as they are, whatever code page the file uses.
char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    return true;
}

std::string_view unquote(std::string_view v)
{
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

std::string cut(std::string_view v, std::size_t bufSize)
{
    if (bufSize == 0) return {};
    return std::string(v.substr(0, bufSize - 1));
}

enum class Kind { Blank, Comment, Section, Key, Other };

struct Line {
    Kind kind = Kind::Other;
    std::string_view name;
    std::string_view value; // trimmed and unquoted
};

// Views point into raw, which must outlive the result.
Line classify(std::string_view raw)
{
    std::string_view s = raw.substr(0, raw.find('\0'));
    if (!s.empty() && s.back() == '\r') s.remove_suffix(1);
    s = TrimBlanks(s);
    if (s.empty()) return {Kind::Blank, {}, {}};
    if (s.front() == ';') return {Kind::Comment, {}, {}};
    if (s.size() >= 2 && s.front() == '[' && s.back() == ']')
        return {Kind::Section, TrimBlanks(s.substr(1, s.size() - 2)), {}};
    const std::size_t eq = s.find('=');
    if (eq == npos) return {Kind::Other, {}, {}};
    return {Kind::Key, TrimBlanks(s.substr(0, eq)), unquote(TrimBlanks(s.substr(eq + 1)))};
}

using Lines = std::vector<std::string>;

// Index of the first header named section, or npos: reads and edits use the first one only.
std::size_t findSection(const Lines& lines, std::string_view section)
{
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line l = classify(lines[i]);
        if (l.kind == Kind::Section && equalNoCase(l.name, section)) return i;
    }
    return npos;
}

// One past the last line belonging to the section whose header is at index header.
std::size_t sectionEnd(const Lines& lines, std::size_t header)
{
    std::size_t i = header + 1;
    while (i < lines.size() && classify(lines[i]).kind != Kind::Section)
        ++i;
    return i;
}

// Index of the first key line named key in the section at header, or npos.
std::size_t findKey(const Lines& lines, std::size_t header, std::string_view key)
{
    const std::size_t end = sectionEnd(lines, header);
    for (std::size_t i = header + 1; i < end; ++i) {
        const Line l = classify(lines[i]);
        if (l.kind == Kind::Key && equalNoCase(l.name, key)) return i;
    }
    return npos;
}

// Lines are stored with the CR of a CR LF end, so an added line carries one in a CR LF file.
std::string withEnd(std::string_view content, const std::string& eol)
{
    std::string s(content);
    if (eol == "\r\n") s += '\r';
    return s;
}

std::string errorText(int err)
{
    char buf[256] = {};
    // strerror_r is the GNU variant (returns the text) or the XSI one (fills buf).
    struct Pick {
        const char* buf;
        const char* operator()(const char* r) const { return r; }
        const char* operator()(int r) const { return r == 0 ? buf : "Unknown error"; }
    };
    return Pick{buf}(strerror_r(err, buf, sizeof buf));
}

WriteResult failure(int err)
{
    return WriteResult{false, errorText(err)};
}

// 0 on success, else errno.
int readFile(const std::string& path, std::string& out)
{
    out.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        out.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            out.clear();
            return err;
        }
        if (n == 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return 0;
}

bool isMissing(int err)
{
    return err == ENOENT || err == ENOTDIR;
}

// The rename is an entry of the folder: until the folder is synced, a power cut can bring the old
// file back. The file is already replaced when this runs, so a folder that cannot be synced
// (some file systems refuse) does not turn the write into a failure.
void syncFolder(const std::string& dir)
{
    const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)::fsync(fd);
    ::close(fd);
}

// Writes data to a temporary file next to the target and renames it over the target, so readers
// see either the old or the new file. On failure the target is untouched and the temporary gone.
WriteResult writeAtomically(const std::string& path, const std::string& data)
{
    std::string target = path;
    struct stat st {};
    // Replace the file a symbolic link points to, not the link.
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char* real = ::realpath(path.c_str(), nullptr);
        if (!real) return failure(errno);
        target = real;
        std::free(real);
    }
    bool exists = false;
    mode_t mode = 0644;
    if (::stat(target.c_str(), &st) == 0) {
        exists = true;
        mode = st.st_mode & 07777;
        // Replacing by rename would pass over a file marked read-only, also for root.
        if ((mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0) return failure(EACCES);
    } else if (errno != ENOENT) {
        return failure(errno);
    }

    const std::size_t slash = target.rfind('/');
    const std::string dir =
        slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string tmp = dir + "." + base + ".XXXXXX";
    const int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
    if (fd < 0) return failure(errno);
    // Locked until renamed: a start that finds such a file unlocked knows that its writer died
    // (StaleTemp.h). The second descriptor keeps the lock past the close below.
    (void)::flock(fd, LOCK_EX | LOCK_NB);
    const int hold = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);

    auto fail = [&](int err, bool open) {
        if (open) ::close(fd);
        ::unlink(tmp.c_str());
        if (hold >= 0) ::close(hold);
        return failure(err);
    };

    // mkostemp creates the file 0600; fchmod sets the mode exactly, without the umask.
    if (::fchmod(fd, mode) != 0) return fail(errno, true);
    if (exists && (st.st_uid != ::geteuid() || st.st_gid != ::getegid())) {
        // Best effort: only a privileged process may hand the file back to its owner.
        [[maybe_unused]] const int rc = ::fchown(fd, st.st_uid, st.st_gid);
    }

    const char* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail(errno, true);
        }
        if (n == 0) return fail(ENOSPC, true);
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    // On disk before the rename: a crash must not leave an empty file in the old one's place.
    if (::fsync(fd) != 0) return fail(errno, true);
    // close reports delayed write errors on some file systems.
    if (::close(fd) != 0) return fail(errno, false);
    if (::rename(tmp.c_str(), target.c_str()) != 0) return fail(errno, false);
    if (hold >= 0) ::close(hold);
    syncFolder(dir);
    return {};
}

// Read, edit, write back; the file is written only when its content changes.
template <class Edit>
WriteResult editFile(const std::string& path, bool createIfMissing, Edit&& edit)
{
    std::string old;
    const int err = readFile(path, old);
    if (err != 0 && !isMissing(err))
        return failure(err); // never replace a file that could not be read
    if (err != 0 && !createIfMissing) return {};
    Document doc = Document::parse(old);
    edit(doc);
    std::string text = doc.text();
    if (err == 0 && text == old) return {};
    return writeAtomically(path, text);
}

} // namespace

WriteResult replaceFile(const std::string& path, std::string_view text)
{
    return writeAtomically(path, std::string(text));
}

WriteResult edit(const std::string& path, const std::function<void(Document&)>& change)
{
    return editFile(path, true, [&](Document& d) { change(d); });
}

std::optional<Document> Document::tryLoad(const std::string& path, std::string* error)
{
    std::string text;
    const int err = readFile(path, text);
    if (err != 0 && !isMissing(err)) {
        if (error) *error = ErrnoText(err);
        return std::nullopt;
    }
    return parse(text);
}

Document Document::load(const std::string& path)
{
    std::string text;
    if (readFile(path, text) != 0) return Document();
    return parse(text);
}

Document Document::parse(std::string_view text)
{
    Document d;
    const std::size_t firstLf = text.find('\n');
    // No line end at all: nothing to keep, so the style of a new file.
    d.eol_ = (firstLf == npos || (firstLf > 0 && text[firstLf - 1] == '\r')) ? "\r\n" : "\n";
    d.finalEol_ = text.empty() || text.back() == '\n';
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t lf = text.find('\n', pos);
        if (lf == npos) lf = text.size();
        d.lines_.emplace_back(text.substr(pos, lf - pos));
        pos = lf + 1;
    }
    return d;
}

std::optional<std::string> Document::find(std::string_view section, std::string_view key,
                                          std::size_t bufSize) const
{
    const std::size_t header = findSection(lines_, queryName(section));
    if (header == npos) return std::nullopt;
    const std::size_t k = findKey(lines_, header, queryName(key));
    if (k == npos) return std::nullopt;
    return cut(classify(lines_[k]).value, bufSize);
}

std::string Document::get(std::string_view section, std::string_view key, std::string_view def,
                          std::size_t bufSize) const
{
    if (auto v = find(section, key, bufSize)) return std::move(*v);
    return cut(cString(def), bufSize);
}

// The system reader fills a buffer of bufSize bytes with "name\0name\0...\0" and keeps the last
// byte for the list's final NUL. A name is taken whole while name + NUL fit in the bytes left
// before that final byte; the first one that does not fit is cut to the room left minus one (its
// NUL) and ends the list. Empty names are skipped: in the buffer they would read as the list end.
std::vector<std::string> Document::sectionNames(std::size_t bufSize) const
{
    std::vector<std::string> names;
    std::size_t room = bufSize > 0 ? bufSize - 1 : 0;
    for (const std::string& raw : lines_) {
        const Line l = classify(raw);
        if (l.kind != Kind::Section || l.name.empty()) continue;
        if (l.name.size() + 1 <= room) {
            names.emplace_back(l.name);
            room -= l.name.size() + 1;
            continue;
        }
        if (room > 1) names.emplace_back(l.name.substr(0, room - 1));
        break;
    }
    return names;
}

std::vector<std::pair<std::string, std::string>> Document::entries(std::string_view section) const
{
    std::vector<std::pair<std::string, std::string>> out;
    const std::size_t header = findSection(lines_, queryName(section));
    if (header == npos) return out;
    const std::size_t end = sectionEnd(lines_, header);
    for (std::size_t i = header + 1; i < end; ++i) {
        const Line l = classify(lines_[i]);
        if (l.kind == Kind::Key) out.emplace_back(std::string(l.name), std::string(l.value));
    }
    return out;
}

void Document::set(std::string_view section, std::string_view key, std::string_view value)
{
    section = TrimBlanks(oneLine(section));
    key = TrimBlanks(oneLine(key));
    value = oneLine(value);

    auto insert = [this](std::size_t pos, std::string line) {
        // The old last line had no line end: give it one in the file's style.
        if (pos == lines_.size() && !finalEol_ && !lines_.empty()) {
            if (eol_ == "\r\n" && (lines_.back().empty() || lines_.back().back() != '\r'))
                lines_.back() += '\r';
        }
        if (pos == lines_.size()) finalEol_ = true;
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(pos), std::move(line));
    };

    std::string keyLine(key);
    keyLine += '=';
    keyLine += value;

    const std::size_t header = findSection(lines_, section);
    if (header == npos) {
        std::string head = "[";
        head += section;
        head += ']';
        insert(lines_.size(), withEnd(head, eol_));
        insert(lines_.size(), withEnd(keyLine, eol_));
        return;
    }

    const std::size_t end = sectionEnd(lines_, header);
    std::size_t lastKey = npos;
    for (std::size_t i = header + 1; i < end; ++i) {
        const Line l = classify(lines_[i]);
        if (l.kind != Kind::Key) continue;
        if (equalNoCase(l.name, key)) {
            // Keep the line's indent, key spelling and blanks around "="; only the value changes.
            std::string& raw = lines_[i];
            const bool cr = raw.back() == '\r';
            std::size_t v = raw.find('=') + 1;
            while (v < raw.size() && IsBlank(raw[v]))
                ++v;
            raw.erase(v);
            raw += value;
            if (cr) raw += '\r';
            return;
        }
        lastKey = i;
    }
    insert(lastKey == npos ? header + 1 : lastKey + 1, withEnd(keyLine, eol_));
}

void Document::removeKey(std::string_view section, std::string_view key)
{
    const std::size_t header = findSection(lines_, queryName(section));
    if (header == npos) return;
    const std::size_t k = findKey(lines_, header, queryName(key));
    if (k == npos) return;
    // The line before an unterminated last line ends with a line end; it becomes the last one.
    if (k + 1 == lines_.size()) finalEol_ = true;
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(k));
}

void Document::removeSection(std::string_view section)
{
    const std::size_t header = findSection(lines_, queryName(section));
    if (header == npos) return;
    const std::size_t end = sectionEnd(lines_, header);
    if (end == lines_.size()) finalEol_ = true;
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(header),
                 lines_.begin() + static_cast<std::ptrdiff_t>(end));
}

std::string Document::text() const
{
    std::size_t size = 0;
    for (const std::string& l : lines_)
        size += l.size() + 1;
    std::string out;
    out.reserve(size);
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        out += lines_[i];
        if (i + 1 < lines_.size() || finalEol_) out += '\n';
    }
    return out;
}

WriteResult Document::save(const std::string& path) const
{
    return writeAtomically(path, text());
}

std::string getString(const std::string& path, std::string_view section, std::string_view key,
                      std::string_view def, std::size_t bufSize)
{
    return Document::load(path).get(section, key, def, bufSize);
}

std::optional<std::string> find(const std::string& path, std::string_view section,
                                std::string_view key, std::size_t bufSize)
{
    return Document::load(path).find(section, key, bufSize);
}

WriteResult writeString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value)
{
    // Refuse what cannot be written as one line and read back under the same name.
    section = cString(section);
    key = TrimBlanks(cString(key));
    value = cString(value);
    const auto breaks = [](std::string_view s) { return s.find_first_of("\r\n") != npos; };
    if (breaks(section) || breaks(key) || breaks(value) || key.empty() || key.find('=') != npos ||
        key.front() == ';' || key.front() == '[')
        return failure(EINVAL);
    return editFile(path, true, [&](Document& d) { d.set(section, key, value); });
}

WriteResult deleteKey(const std::string& path, std::string_view section, std::string_view key)
{
    return editFile(path, false, [&](Document& d) { d.removeKey(section, key); });
}

WriteResult deleteSection(const std::string& path, std::string_view section)
{
    return editFile(path, false, [&](Document& d) { d.removeSection(section); });
}

std::vector<std::string> sectionNames(const std::string& path, std::size_t bufSize)
{
    return Document::load(path).sectionNames(bufSize);
}

std::vector<std::pair<std::string, std::string>> sectionEntries(const std::string& path,
                                                                std::string_view section)
{
    return Document::load(path).entries(section);
}

} // namespace px::ini
