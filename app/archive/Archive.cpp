#include "Archive.h"

#include "DateFormat.h"
#include "JournalCodec.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace px::archive {

namespace {

const std::string S10(10, ' ');
// Kept while the event log has said that the archive is behind and not yet that it caught up,
// so that a later start says the second half instead of the first again.
constexpr const char* kBehindMark = "/behind";

std::string Three(int id)
{
    char text[8];
    (void)std::snprintf(text, sizeof text, "%03d", id);
    return text;
}

// Record text in a log line: one line, whatever bytes the terminal sent.
std::string Printable(std::string text)
{
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return text;
}

} // namespace

std::string UtcNow()
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t t = system_clock::to_time_t(now);
    std::tm tm{};
    gmtime_r(&t, &tm);
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    char text[96];
    (void)std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900,
                        tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                        static_cast<int>(ms));
    return text;
}

CursorKey OwnerKey(const std::string& programFolder)
{
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0)
        (void)std::snprintf(host, sizeof host, "localhost");
    std::error_code ec;
    auto folder = std::filesystem::absolute(programFolder, ec).lexically_normal().string();
    if (ec) folder = programFolder;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return {host, folder};
}

std::string JournalFolderOf(const std::string& programFolder)
{
    return programFolder + "/Records/Journal";
}

std::string DefaultDatabaseOf(const std::string& programFolder)
{
    return programFolder + "/Records/punches.db";
}

Archive::Archive() : context_(std::make_unique<Mailbox>()) {}

Archive::~Archive()
{
    Stop(kExitDrain);
}

void Archive::Configure(const std::string& urlSetting, const std::string& programFolder)
{
    Stop(std::chrono::milliseconds(0));
    journalFolder_ = JournalFolderOf(programFolder);
    config_ = ShippingConfig{};
    config_.journalFolder = journalFolder_;
    config_.key = OwnerKey(programFolder);
    config_.target =
        ParseArchiveUrl(urlSetting, DefaultDatabaseOf(programFolder), &config_.targetError);
    // A setting that cannot be used still journals every record: they go in once it is mended.
    enabled_ = !config_.target || config_.target->kind != ArchiveTarget::Kind::Off;
    writer_ = enabled_ ? std::make_unique<JournalWriter>(journalFolder_) : nullptr;
    saidBehind_ = std::filesystem::exists(journalFolder_ + kBehindMark);
}

void Archive::Log(const std::string& text) const
{
    if (log) log(FormatDate(Now(), "MM/DD HH:nn") + " Archive " + text);
}

void Archive::Start()
{
    if (enabled_ && !shipper_) StartShipper();
}

void Archive::StartShipper()
{
    Mailbox* context = context_.get();
    shipper_ = std::make_unique<Shipper>(config_, [this, context] {
        // Runs on the shipper's thread: the event log is written on this object's own.
        context->Post([this] { ShipperChanged(); });
    });
}

void Archive::Stop(std::chrono::milliseconds drain)
{
    if (journalFailures_ > 1)
        Log("journal: " + std::to_string(journalFailures_) +
            " records were not journaled; they are in the text files only");
    journalFailures_ = 0;
    if (!shipper_) return;
    shipper_->Stop(drain);
    ShipperChanged(); // the last word, while nothing is left to deliver it later
    shipper_.reset();
}

Shipper::Status Archive::Status() const
{
    if (!shipper_) {
        Shipper::Status idle;
        idle.idle = true;
        return idle;
    }
    return shipper_->Current();
}

void Archive::ShipperChanged()
{
    if (!shipper_) return;
    const Shipper::Status s = shipper_->Current();
    const std::string mark = journalFolder_ + kBehindMark;
    if (s.behind && !saidBehind_) {
        saidBehind_ = true;
        Log("behind (" + s.cause + ")");
        std::error_code ec;
        std::filesystem::create_directories(journalFolder_, ec);
        std::ofstream(mark, std::ios::trunc) << s.cause << "\n";
    } else if (!s.behind && s.idle && saidBehind_) {
        saidBehind_ = false;
        Log("caught up");
        std::error_code ec;
        std::filesystem::remove(mark, ec);
    }
    if (s.damaged > damagedSaid_) {
        Log("journal: " + std::to_string(s.damaged - damagedSaid_) + " damaged lines skipped in " +
            journalFolder_);
        damagedSaid_ = s.damaged;
    }
}

Punch Archive::MakePunch(int terminalId, const std::string& terminalName, long index,
                         const reply::RecordLine& record)
{
    Punch p;
    p.terminalId = terminalId;
    p.recordIndex = index;
    p.terminalName = terminalName;
    p.cardId = record.hasCardId ? record.cardId : std::string();
    p.event = record.fixedLayout ? record.event : std::string();
    p.host = config_.key.host;
    p.downloadedAt = UtcNow();
    p.raw = record.text;
    const auto when =
        record.fixedLayout ? ParseDateTime(record.date + " " + record.time) : std::nullopt;
    if (when && when->hasDate && when->hasTime) {
        p.punchedAt = FormatDate(*when, "YYYY-MM-DD HH:NN:SS");
    } else if (undatedSaid_.insert(terminalId).second) {
        // Kept all the same, raw record and all; only a search by date cannot find it.
        Log("record #" + std::to_string(index + 1) + " of terminal " + Three(terminalId) +
            " carries no valid date and time (" + Printable(record.date + " " + record.time) +
            "); it is archived without a punch time");
    }
    return p;
}

void Archive::Take(int terminalId, const std::string& terminalName, long first,
                   const std::vector<reply::RecordLine>& records)
{
    if (!enabled_ || records.empty()) return;
    std::vector<Punch> punches;
    punches.reserve(records.size());
    for (std::size_t i = 0; i < records.size(); ++i)
        punches.push_back(
            MakePunch(terminalId, terminalName, first + static_cast<long>(i), records[i]));
    std::string error;
    if (!writer_->Append(punches, &error)) {
        // The download goes on: its text files hold the records.
        if (journalFailures_ == 0)
            Log("journal: cannot write record #" + std::to_string(first + 1) + " of terminal " +
                Three(terminalId) + " (" + error + "); it is in the text files only");
        journalFailures_ += static_cast<long>(records.size());
        return;
    }
    if (journalFailures_ > 1)
        Log("journal: " + std::to_string(journalFailures_) +
            " records were not journaled; they are in the text files only");
    journalFailures_ = 0;
    if (!shipper_) StartShipper();
    shipper_->Wake();
}

} // namespace px::archive
