#include "Journal.h"

#include "JournalCodec.h"
#include "SysError.h"
#include "Wait.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace px::archive {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kChunk = 1 << 20;
constexpr const char* kIdFile = "id";

struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd()
    {
        if (fd >= 0) ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

bool Fail(std::string* error, const std::string& what, int err)
{
    if (error) *error = what + ": " + ErrnoText(err);
    return false;
}

// A new directory entry is only durable once its folder is synced.
void SyncFolder(const std::string& folder)
{
    const Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.fd >= 0) (void)::fsync(dir.fd);
}

bool WriteAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string NewId()
{
    std::random_device rd;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string id;
    for (int i = 0; i < 4; ++i) {
        std::uint32_t v = rd();
        for (int k = 0; k < 8; ++k, v >>= 4)
            id += kHex[v & 15];
    }
    return id;
}

bool WriteId(const std::string& folder, std::string* id, std::string* error)
{
    const std::string path = folder + "/" + kIdFile;
    const std::string temp = path + ".new";
    *id = NewId();
    {
        const Fd f(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (f.fd < 0) return Fail(error, temp, errno);
        if (!WriteAll(f.fd, *id + "\n") || ::fsync(f.fd) != 0) return Fail(error, temp, errno);
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) return Fail(error, path, errno);
    SyncFolder(folder);
    return true;
}

std::string ReadId(const std::string& folder)
{
    const Fd f(::open((folder + "/" + kIdFile).c_str(), O_RDONLY | O_CLOEXEC));
    if (f.fd < 0) return {};
    char buf[64];
    const ssize_t n = ::read(f.fd, buf, sizeof buf);
    if (n < 32) return {};
    std::string id(buf, 32);
    const bool hex = std::all_of(id.begin(), id.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
    });
    return hex ? id : std::string();
}

long SegmentNumber(const std::string& name)
{
    if (name.size() != 12 || name.compare(8, 4, ".jnl") != 0) return 0;
    long n = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        if (name[i] < '0' || name[i] > '9') return 0;
        n = n * 10 + (name[i] - '0');
    }
    return n;
}

// Calls line(text) for every whole line of the file from offset on, until it returns false.
// Returns where reading stopped and whether an unfinished line remains at the end.
struct Scan {
    long long offset = 0;
    bool unfinished = false;
    bool stopped = false;
};
template <typename F> Scan ScanLines(const std::string& path, long long offset, F line)
{
    Scan scan{offset, false, false};
    const Fd f(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (f.fd < 0) return scan;
    std::string buffer;
    long long readAt = offset;
    for (;;) {
        const std::size_t old = buffer.size();
        buffer.resize(old + kChunk);
        const ssize_t n = ::pread(f.fd, buffer.data() + old, kChunk, readAt);
        buffer.resize(old + static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
        if (n <= 0) break;
        readAt += n;
        std::size_t start = 0;
        for (std::size_t nl; (nl = buffer.find('\n', start)) != std::string::npos; start = nl + 1) {
            const bool more = line(std::string_view(buffer).substr(start, nl - start));
            scan.offset += static_cast<long long>(nl - start + 1);
            if (!more) {
                scan.stopped = true;
                return scan;
            }
        }
        buffer.erase(0, start);
    }
    scan.unfinished = !buffer.empty();
    return scan;
}

} // namespace

std::string SegmentPath(const std::string& folder, long segment)
{
    char name[32];
    (void)std::snprintf(name, sizeof name, "/%08ld.jnl", segment);
    return folder + name;
}

void WriteShippedHint(const std::string& folder, const std::string& journal, JournalPos pos)
{
    const std::string path = folder + "/shipped";
    const std::string temp = path + ".new";
    {
        const Fd f(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (f.fd < 0) return;
        const std::string text =
            journal + " " + std::to_string(pos.segment) + " " + std::to_string(pos.offset) + "\n";
        if (!WriteAll(f.fd, text)) return;
    }
    (void)::rename(temp.c_str(), path.c_str());
}

std::optional<std::pair<std::string, JournalPos>> ReadShippedHint(const std::string& folder)
{
    std::FILE* f = std::fopen((folder + "/shipped").c_str(), "r");
    if (!f) return std::nullopt;
    char id[40] = {};
    long segment = 0;
    long long offset = 0;
    const int n = std::fscanf(f, "%39s %ld %lld", id, &segment, &offset);
    (void)std::fclose(f);
    if (n != 3) return std::nullopt;
    return std::make_pair(std::string(id), JournalPos{segment, offset});
}

bool EnsureJournalId(const std::string& folder, std::string* id, std::string* error)
{
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) return Fail(error, folder, ec.value());
    *id = ReadId(folder);
    return !id->empty() || WriteId(folder, id, error);
}

bool JournalWriter::Prepare(std::string* error)
{
    std::error_code ec;
    fs::create_directories(folder_, ec);
    if (ec) return Fail(error, folder_, ec.value());
    const auto segments = JournalReader(folder_).Segments();
    std::string id;
    // Without any segment this is a journal of its own: a cursor kept for an earlier one (whose
    // segments someone removed) must not hide the new lines.
    if (segments.empty() ? !WriteId(folder_, &id, error) : !EnsureJournalId(folder_, &id, error))
        return false;
    segment_ = segments.empty() ? 1 : segments.back();
    const std::string path = SegmentPath(folder_, segment_);
    const Fd f(::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    if (f.fd < 0) return Fail(error, path, errno);
    struct stat st {};
    if (::fstat(f.fd, &st) != 0) return Fail(error, path, errno);
    size_ = st.st_size;
    char last = '\n';
    if (size_ > 0 && ::pread(f.fd, &last, 1, size_ - 1) != 1) return Fail(error, path, errno);
    // A line cut short by a power failure is ended, so the next one starts on a line of its own.
    if (last != '\n') {
        if (!WriteAll(f.fd, "\n") || ::fdatasync(f.fd) != 0) return Fail(error, path, errno);
        ++size_;
    }
    if (segments.empty()) SyncFolder(folder_);
    ready_ = true;
    return true;
}

bool JournalWriter::Append(const std::vector<Punch>& punches, std::string* error)
{
    if (punches.empty()) return true;
    if (!ready_ && !Prepare(error)) return false;
    const bool rotate = size_ >= segmentBytes_;
    if (rotate) ++segment_;
    const std::string path = SegmentPath(folder_, segment_);
    const Fd f(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    if (f.fd < 0) {
        if (rotate) --segment_;
        ready_ = false;
        return Fail(error, path, errno);
    }
    struct stat st {};
    const long long before = ::fstat(f.fd, &st) == 0 ? st.st_size : size_;
    std::string line;
    for (const Punch& punch : punches)
        line += EncodeJournalLine(punch) + "\n";
    // Waiting for the disk must not hold the window up.
    bool written = false;
    int err = 0;
    runPumped([&] {
        written = WriteAll(f.fd, line) && ::fdatasync(f.fd) == 0;
        err = errno;
    });
    if (!written) {
        // Nothing half-written stays behind.
        if (::ftruncate(f.fd, before) != 0) ready_ = false;
        if (rotate && before == 0) {
            (void)::unlink(path.c_str());
            --segment_;
        }
        return Fail(error, path, err);
    }
    if (rotate) SyncFolder(folder_);
    size_ = before + static_cast<long long>(line.size());
    return true;
}

std::string JournalReader::Id() const
{
    return ReadId(folder_);
}

std::vector<long> JournalReader::Segments() const
{
    std::vector<long> segments;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder_, ec)) {
        const long n = SegmentNumber(entry.path().filename().string());
        if (n > 0) segments.push_back(n);
    }
    std::sort(segments.begin(), segments.end());
    return segments;
}

JournalBatch JournalReader::Read(JournalPos from, std::size_t max) const
{
    JournalBatch batch;
    batch.end = from;
    const auto segments = Segments();
    auto it = std::lower_bound(segments.begin(), segments.end(), from.segment);
    for (; it != segments.end() && batch.punches.size() < max; ++it) {
        if (*it != batch.end.segment) batch.end = {*it, 0};
        const bool newest = it + 1 == segments.end();
        const Scan scan =
            ScanLines(SegmentPath(folder_, *it), batch.end.offset, [&](std::string_view line) {
                if (auto punch = DecodeJournalLine(line))
                    batch.punches.push_back(std::move(*punch));
                else
                    ++batch.damaged;
                return batch.punches.size() < max;
            });
        batch.end.offset = scan.offset;
        if (scan.stopped) break;
        // Only the newest segment is still written to; an older one ends where it ends.
        if (scan.unfinished && !newest) ++batch.damaged;
        if (newest) break;
    }
    return batch;
}

long long JournalReader::Count(JournalPos from, std::string* oldest) const
{
    long long count = 0;
    if (oldest) oldest->clear();
    const auto segments = Segments();
    for (auto it = std::lower_bound(segments.begin(), segments.end(), from.segment);
         it != segments.end(); ++it) {
        const long long offset = *it == from.segment ? from.offset : 0;
        ScanLines(SegmentPath(folder_, *it), offset, [&](std::string_view line) {
            if (count++ == 0 && oldest)
                if (const auto punch = DecodeJournalLine(line)) *oldest = punch->downloadedAt;
            return true;
        });
    }
    return count;
}

void JournalReader::DropBefore(JournalPos pos) const
{
    const auto segments = Segments();
    for (std::size_t i = 0; i + 1 < segments.size() && segments[i] < pos.segment; ++i)
        (void)::unlink(SegmentPath(folder_, segments[i]).c_str());
}

} // namespace px::archive
