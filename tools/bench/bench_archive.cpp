// The punch archive's figures: the journal's durable append rate, the rate at which the shipper
// writes journaled records into SQLite and into PostgreSQL (goal 5,000 records/s each), the
// export of 1,000,000 archived punches (goal under 5 s and 200 MB), and the archive view's first
// rows out of 1,000,000 (goal under 1 s). PostgreSQL figures need a server: tools/bench.sh runs
// this under testing/pg_server.py (PX_PG_URL); without one they are skipped.
//
// bench_archive                       all figures
// bench_archive --export URL OUT      one export in a process of its own (for its peak memory)
#include "Archive.h"
#include "ArchiveExport.h"
#include "ArchiveModel.h"
#include "Journal.h"
#include "Shipping.h"

#include "BenchSupport.h"

#include <QApplication>
#include <QHeaderView>
#include <QTableView>

#include <libpq-fe.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

using namespace bench;
using namespace px::archive;

namespace {

constexpr long kMillion = 1000000;
constexpr int kTerminals = 20;

// Punch i of the million: 20 terminals, a punch a minute per terminal from 2026-01-01 on.
Punch Nth(long i)
{
    const int terminal = static_cast<int>(i % kTerminals) + 1;
    const long index = i / kTerminals;
    const long minutes = index;
    const int day = static_cast<int>(minutes / 1440);
    const int y = 2026 + day / 360, m = (day % 360) / 30 + 1, d = day % 30 + 1;
    const int hh = static_cast<int>(minutes % 1440) / 60, mm = static_cast<int>(minutes % 60);
    char card[16], raw[80], at[40];
    std::snprintf(card, sizeof card, "%010ld", 1000000L + (i * 7919) % 9000000L);
    std::snprintf(raw, sizeof raw, "A%04lX,%s,%ld,%04d/%02d/%02d,%02d:%02d:00", index & 0xFFFF,
                  card, index % 4, y, m, d, hh, mm);
    std::snprintf(at, sizeof at, "%04d-%02d-%02d %02d:%02d:00", y, m, d, hh, mm);
    Punch p;
    p.terminalId = terminal;
    p.recordIndex = index;
    char name[16];
    std::snprintf(name, sizeof name, "T%d", terminal);
    p.terminalName = std::string(name);
    p.cardId = card;
    p.event = std::to_string(index % 4);
    p.punchedAt = at;
    p.downloadedAt = "2026-06-01T00:00:00.000Z";
    p.host = "bench";
    p.raw = raw;
    return p;
}

// A PostgreSQL URL, or the path of an SQLite file.
std::optional<ArchiveTarget> TargetOf(const std::string& where)
{
    std::string error;
    return where.rfind("postgres", 0) == 0 ? ParseArchiveUrl(where, "", &error)
                                           : ParseArchiveUrl("", where, &error);
}

ShippingConfig ConfigFor(const std::string& url, const std::string& folder)
{
    ShippingConfig c;
    c.target = ParseArchiveUrl(url, DefaultDatabaseOf(folder), &c.targetError);
    c.journalFolder = JournalFolderOf(folder);
    c.key = OwnerKey(folder);
    return c;
}

void JournalRate(const std::string& folder)
{
    JournalWriter writer(JournalFolderOf(folder));
    std::string error;
    const long n = 2000;
    const auto t0 = Clock::now();
    for (long i = 0; i < n; ++i)
        if (!writer.Append(Nth(i), &error)) {
            std::printf("journal: %s\n", error.c_str());
            return;
        }
    const double ms = MsSince(t0);
    std::printf("journal append, each synced to disk: %ld records in %.0f ms = %.0f records/s "
                "(%.2f ms a record)\n",
                n, ms, n * 1000.0 / ms, ms / n);
}

// Journals n records (not timed), then times the shipper moving them into the database.
void ShipRate(const char* what, const std::string& url, const std::string& folder, long n)
{
    std::filesystem::remove_all(JournalFolderOf(folder));
    JournalWriter writer(JournalFolderOf(folder));
    std::string error;
    for (long i = 0; i < n; ++i)
        writer.Append(Nth(i), &error);
    JournalShipping shipping(ConfigFor(url, folder));
    const auto t0 = Clock::now();
    const auto outcome = shipping.ShipAll(Clock::now() + std::chrono::minutes(10));
    const double ms = MsSince(t0);
    std::printf(
        "shipper into %s: %lld records in %.0f ms = %.0f records/s%s\n", what, shipping.Shipped(),
        ms, shipping.Shipped() * 1000.0 / ms,
        outcome == JournalShipping::Outcome::Idle ? "" : (" (" + shipping.Error() + ")").c_str());
}

// The million punches, in batches (setup, not a figure of the archive's own path for PG).
bool Seed(ArchiveDb& db, const CursorKey& key)
{
    std::string error;
    std::vector<Punch> batch;
    for (long i = 0; i < kMillion; ++i) {
        batch.push_back(Nth(i));
        if (batch.size() == 20000 || i + 1 == kMillion) {
            if (!db.Ship(batch, key, {"seed", {1, i}}, &error)) {
                std::printf("seed: %s\n", error.c_str());
                return false;
            }
            batch.clear();
        }
    }
    return true;
}

// PostgreSQL seeds itself from a series: a round trip a row would take minutes.
bool SeedPg(const std::string& url)
{
    PGconn* c = PQconnectdb(url.c_str());
    const char* sql =
        "INSERT INTO punch (terminal_id, terminal_name, record_index, card_id, event, punched_at,"
        " raw, downloaded_at, host)"
        " SELECT i % 20 + 1, 'T' || (i % 20 + 1), i / 20, lpad((1000000 + i * 7919 % "
        "9000000)::text,"
        " 10, '0'), ((i / 20) % 4)::text, timestamp '2026-01-01' + (i / 20) * interval '1 minute',"
        " convert_to('A' || lpad(to_hex((i / 20) % 65536), 4, '0') || ',' ||"
        " lpad((1000000 + i * 7919 % 9000000)::text, 10, '0') || ',' || ((i / 20) % 4) || ',' ||"
        " to_char(timestamp '2026-01-01' + (i / 20) * interval '1 minute',"
        " 'YYYY/MM/DD,HH24:MI:SS'), 'UTF8'), now(), 'bench'"
        " FROM generate_series(0::bigint, 999999) i";
    PGresult* r = PQexec(c, sql);
    const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
    if (!ok) std::printf("seed: %s\n", PQresultErrorMessage(r));
    PQclear(r);
    PQclear(PQexec(c, "ANALYZE punch"));
    PQfinish(c);
    return ok;
}

// Runs "--export URL OUT" in a process of its own: its time and its peak resident memory.
void ExportFigure(const char* what, const std::string& url, const std::string& out)
{
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    std::vector<std::string> args{self, "--export", url, out};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const auto t0 = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return;
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    const double ms = MsSince(t0);
    std::error_code ec;
    const auto size = std::filesystem::file_size(out, ec);
    std::printf("export of 1,000,000 punches from %s: %.2f s, peak memory %.1f MB, %.1f MB "
                "written (exit %d)\n",
                what, ms / 1000, usage.ru_maxrss / 1024.0, static_cast<double>(size) / 1e6,
                WIFEXITED(status) ? WEXITSTATUS(status) : -1);
}

int ExportOnly(const std::string& url, const std::string& out)
{
    std::string error;
    const auto target = TargetOf(url);
    if (!target) return 2;
    auto db = MakeArchiveDb(*target);
    if (!db->Open(&error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    ExportSettings s;
    s.idLenText = "14"; // the program's default: the card ID filled to 14 digits
    for (int t = 1; t <= kTerminals; ++t)
        s.terminalOrder.push_back(t);
    PunchQuery range;
    range.from = "2000-01-01";
    range.to = "2099-12-31";
    long long lines = 0;
    const bool ok = ExportToFile(*db, s, range, out, &lines, &error);
    if (!ok) std::fprintf(stderr, "%s\n", error.c_str());
    return ok && lines == kMillion ? 0 : 1;
}

// The view's first rows: from the query to the first rows painted in a grid.
void ViewFigure(const char* what, const std::string& url)
{
    const auto target = TargetOf(url);
    QTableView view;
    px::ArchiveModel model(*target, "");
    view.setModel(&model);
    view.resize(760, 400);
    view.show();
    Pump(200);
    PunchQuery q;
    q.from = "2026-01-01";
    q.to = "2099-12-31";
    const auto t0 = Clock::now();
    model.SetQuery(q);
    while (model.rowCount() == 0 && model.Error().empty() && MsSince(t0) < 30000)
        QApplication::processEvents(QEventLoop::AllEvents, 1);
    view.viewport()->repaint();
    const double first = MsSince(t0);
    // Scrolling to the end of the next pages, as a person paging down would.
    const auto t1 = Clock::now();
    for (int page = 0; page < 10; ++page) {
        view.scrollToBottom();
        while (model.Loading())
            QApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    std::printf("archive view of 1,000,000 punches (%s): first %d rows shown in %.0f ms; ten "
                "more pages in %.0f ms (%d rows)%s\n",
                what, static_cast<int>(std::min<long>(model.rowCount(), px::ArchiveModel::kPage)),
                first, MsSince(t1), model.rowCount(),
                model.Error().empty() ? "" : (" " + model.Error()).c_str());
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "--export") return ExportOnly(argv[2], argv[3]);
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const std::string home = MakeHome("archive");
    const std::string folder = home + "/px740";
    const char* pgUrl = std::getenv("PX_PG_URL");

    JournalRate(folder);
    ShipRate("SQLite", "", folder, 100000);
    if (pgUrl)
        ShipRate("PostgreSQL", pgUrl, folder, 50000);
    else
        std::printf("PostgreSQL: skipped (run under testing/pg_server.py)\n");

    // A million punches in a fresh SQLite archive, then the export and the view.
    const std::string sqlite = home + "/million.db";
    {
        std::string error;
        auto db = MakeArchiveDb(*TargetOf(sqlite));
        db->Open(&error);
        const auto t0 = Clock::now();
        if (!Seed(*db, {"bench", "/seed"})) return 1;
        std::printf("seeding SQLite with 1,000,000 punches in batches of 20,000: %.1f s\n",
                    MsSince(t0) / 1000);
    }
    ExportFigure("SQLite", sqlite, home + "/export-sqlite.txt");
    ViewFigure("SQLite", sqlite);

    if (pgUrl) {
        std::string error;
        auto db = MakeArchiveDb(*TargetOf(pgUrl));
        db->Open(&error);
        PGconn* c = PQconnectdb(pgUrl);
        PQclear(PQexec(c, "DELETE FROM punch"));
        PQfinish(c);
        if (SeedPg(pgUrl)) {
            ExportFigure("PostgreSQL", pgUrl, home + "/export-pg.txt");
            ViewFigure("PostgreSQL", pgUrl);
        }
    }
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return 0;
}
