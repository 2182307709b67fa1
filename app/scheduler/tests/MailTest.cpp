// Mail against a real SMTP server on a loopback address (a sink that accepts, refuses, stalls or
// drops), through a stand-in sendmail, and at the end of scheduled runs. Every received message
// is taken apart by Python's own MIME parser, so the checks do not share our encoder's mistakes.
#include "CoreHarness.h"
#include "DateFormat.h"
#include "Mailer.h"
#include "OutputNames.h"
#include "ScheduledRun.h"
#include "SettingsStore.h"
#include "TestFiles.h"
#include "Wait.h"

#include <QProcess>
#include <QTimer>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <clocale>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

using px::testing::CoreHarness;
using px::testing::ReadAll;
using px::testing::SimProcess;
namespace fs = std::filesystem;

namespace {

void WriteFile(const std::string& path, const std::string& data)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(line);
    }
    return out;
}

int Count(const std::string& text, const std::string& what)
{
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

std::int64_t ElapsedMs(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 since)
        .count();
}

// A private folder that is removed again.
class TempDir {
public:
    TempDir()
    {
        char pattern[] = "/tmp/px-mail-test-XXXXXX";
        path_ = mkdtemp(pattern);
    }
    ~TempDir()
    {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string In(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// A loopback address of its own and a port that was free on it a moment ago.
struct Endpoint {
    std::string address;
    int port = 0;
    std::string url() const { return "smtp://" + address + ":" + std::to_string(port); }
};

Endpoint FreeEndpoint()
{
    Endpoint e;
    for (int attempt = 0; attempt < 20 && e.port == 0; ++attempt) {
        e.address = CoreHarness::UniqueLoopbackAddress();
        const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        ::inet_pton(AF_INET, e.address.c_str(), &a.sin_addr);
        socklen_t len = sizeof a;
        if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
            ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            e.port = ntohs(a.sin_port);
        ::close(s);
    }
    return e;
}

// One run of the SMTP sink script; ends exactly the process it started.
class Sink {
public:
    Sink(const Endpoint& at, std::string outdir, const std::string& mode)
        : outdir_(std::move(outdir))
    {
        fs::create_directories(outdir_);
        process_.setProgram(PX_PYTHON3);
        process_.setArguments({PX_SMTP_SINK, QString::fromStdString(at.address),
                               QString::number(at.port), QString::fromStdString(outdir_), "--mode",
                               QString::fromStdString(mode), "--lifetime", "170"});
        process_.start();
        px::waitUntil(
            [&] { return process_.canReadLine() || process_.state() == QProcess::NotRunning; },
            std::chrono::seconds(20));
        ready_ = process_.canReadLine() && process_.readLine().startsWith("READY");
        if (!ready_) error_ = process_.readAllStandardError().toStdString();
    }
    ~Sink() { Stop(); }
    Sink(const Sink&) = delete;
    Sink& operator=(const Sink&) = delete;

    bool ready() const { return ready_; }
    const std::string& error() const { return error_; }

    void Stop()
    {
        if (process_.state() == QProcess::NotRunning) return;
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(2000);
        }
    }

    std::string Eml(int n) const { return outdir_ + "/msg-" + std::to_string(n) + ".eml"; }
    std::string Env(int n) const { return ReadAll(outdir_ + "/msg-" + std::to_string(n) + ".env"); }
    int Received() const
    {
        int n = 0;
        while (fs::exists(Eml(n + 1)))
            ++n;
        return n;
    }
    // Waits for message n while the event loop runs.
    bool WaitFor(int n, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const
    {
        return px::waitUntil([&] { return Received() >= n; }, timeout);
    }
    // The value of "KEY: value" in message n's envelope.
    std::string Envelope(int n, const std::string& key) const
    {
        for (const auto& line : Lines(Env(n)))
            if (line.rfind(key + ": ", 0) == 0) return line.substr(key.size() + 2);
        return {};
    }

private:
    QProcess process_;
    std::string outdir_;
    bool ready_ = false;
    std::string error_;
};

// Takes a message apart with Python's email package: decoded headers, the plain-text note, every
// attachment, and a list of anything wrong with the message's form.
const char* kDecodeScript = R"PY(
import email, email.policy, email.utils, os, sys
raw = open(sys.argv[1], 'rb').read()
out = sys.argv[2]
msg = email.message_from_bytes(raw, policy=email.policy.default)
def put(name, data):
    if isinstance(data, str):
        data = data.encode('utf-8', 'surrogateescape')
    with open(os.path.join(out, name), 'wb') as f:
        f.write(data)
problems = []
for part in msg.walk():
    problems += ['defect ' + type(d).__name__ for d in part.defects]
    if part.get_content_maintype() != 'multipart':
        cte = str(part.get('Content-Transfer-Encoding', '7bit')).lower()
        payload = part.get_payload(decode=True) or b''
        if cte in ('7bit', '8bit') and any(b >= 0x80 for b in payload):
            problems.append('8-bit text in a part without an encoding')
head = raw.split(b'\r\n\r\n', 1)[0]
if any(b >= 0x80 for b in head):
    problems.append('8-bit header')
if any(len(line) > 998 for line in raw.split(b'\r\n')):
    problems.append('line longer than 998')
if b'\n' in raw.replace(b'\r\n', b''):
    problems.append('bare line feed')
put('problems', '\n'.join(problems))
put('to', str(msg['To'] or ''))
put('from', str(msg['From'] or ''))
put('subject', str(msg['Subject'] or ''))
try:
    email.utils.parsedate_to_datetime(str(msg['Date']))
    put('date', 'ok')
except Exception:
    put('date', 'unreadable: ' + str(msg['Date']))
body = msg.get_body(preferencelist=('plain',))
put('note', body.get_content() if body is not None else '')
n = 0
for part in msg.iter_attachments():
    put('attachment-%d' % n, part.get_payload(decode=True) or b'')
    put('attachment-%d.name' % n, part.get_filename() or '')
    n += 1
put('attachments', str(n))
)PY";

using Decoded = std::map<std::string, std::string>;

Decoded Decode(const std::string& eml)
{
    TempDir out;
    QProcess python;
    python.start(PX_PYTHON3, {"-c", kDecodeScript, QString::fromStdString(eml),
                              QString::fromStdString(out.path())});
    Decoded d;
    if (!python.waitForFinished(30000) || python.exitCode() != 0) {
        python.kill();
        python.waitForFinished(2000);
        d["error"] = python.readAllStandardError().toStdString();
        return d;
    }
    for (const auto& entry : fs::directory_iterator(out.path()))
        d[entry.path().filename().string()] = ReadAll(entry.path().string());
    return d;
}

// Bytes of every value, CR LF lines and a line without an end: what a mail copy must survive.
std::string AttachmentBytes()
{
    std::string data;
    for (int i = 0; i < 1000; ++i)
        data += static_cast<char>((i * 7) & 0xFF);
    for (int i = 0; i < 60; ++i)
        data += "001,0001000003,0,2026/01/05,08:00:00\r\n";
    data += ".\r\n.leading dot\r\nno end";
    return data;
}

// A subject long enough for several encoded words, with multi-byte characters across the cuts.
const std::string kLongSubject =
    "勤怠データ 2026/03/05 – Überstunden äöü ß 出退勤記録の送付 (第3工場) ✓";

} // namespace

TEST(MailToSink, MessageArrivesWithRecipientSubjectNoteAndAttachment)
{
    TempDir tmp;
    const Endpoint at = FreeEndpoint();
    ASSERT_NE(at.port, 0);
    Sink sink(at, tmp.In("sink"), "accept");
    ASSERT_TRUE(sink.ready()) << sink.error();
    const std::string file = tmp.In("20260305.TXT");
    const std::string bytes = AttachmentBytes();
    WriteFile(file, bytes);

    px::Mailer mailer;
    mailer.settings.smtpUrl = at.url();
    mailer.settings.from = "Clock Room <px740@example.org>";
    mailer.settings.connectTimeoutS = 5;
    mailer.settings.timeoutS = 20;
    const std::string note = "Records of 2026/03/05 – Ärger? Nein.\r\nSecond line\r\n.";
    ASSERT_TRUE(mailer.SendMail("ops@example.org", "ops@example.org", kLongSubject, note, {file}))
        << mailer.LastError() << " (" << mailer.LastErrorNumber() << ")";
    EXPECT_EQ(mailer.LastError(), "");
    EXPECT_EQ(mailer.LastErrorNumber(), 0);
    ASSERT_TRUE(sink.WaitFor(1));
    EXPECT_EQ(sink.Envelope(1, "MAIL FROM"), "px740@example.org");
    EXPECT_EQ(sink.Envelope(1, "RCPT TO"), "ops@example.org");

    Decoded d = Decode(sink.Eml(1));
    ASSERT_EQ(d.count("error"), 0u) << d["error"];
    EXPECT_EQ(d["problems"], "");
    EXPECT_EQ(d["to"], "ops@example.org");
    EXPECT_EQ(d["from"], "Clock Room <px740@example.org>");
    EXPECT_EQ(d["subject"], kLongSubject);
    EXPECT_EQ(d["date"], "ok");
    EXPECT_EQ(d["note"], note);
    ASSERT_EQ(d["attachments"], "1");
    EXPECT_EQ(d["attachment-0.name"], "20260305.TXT");
    EXPECT_TRUE(d["attachment-0"] == bytes) << "attachment differs: " << d["attachment-0"].size()
                                            << " bytes instead of " << bytes.size();

    // A plain subject stays as typed; blanks typed around the address do not reach the server.
    ASSERT_TRUE(mailer.SendMail("  ops@example.org ", "ops@example.org",
                                "Attendance - 20260305 08:01", "Attendance - 20260305 08:01",
                                {file}))
        << mailer.LastError();
    ASSERT_TRUE(sink.WaitFor(2));
    EXPECT_EQ(sink.Envelope(2, "RCPT TO"), "ops@example.org");
    d = Decode(sink.Eml(2));
    EXPECT_EQ(d["problems"], "");
    EXPECT_EQ(d["to"], "ops@example.org");
    EXPECT_EQ(d["subject"], "Attendance - 20260305 08:01");
    EXPECT_NE(ReadAll(sink.Eml(2)).find("\r\nSubject: Attendance - 20260305 08:01\r\n"),
              std::string::npos);
    EXPECT_TRUE(d["attachment-0"] == bytes);
    mailer.MapiSignOff();
}

TEST(Mail, NoServerAndNoSendmailCannotOpenTheSession)
{
    TempDir tmp;
    WriteFile(tmp.In("a.txt"), "x\r\n");
    px::Mailer mailer;
    mailer.settings.smtpUrl.clear();
    mailer.settings.sendmail = tmp.In("no/such/sendmail");
    EXPECT_FALSE(
        mailer.SendMail("ops@example.org", "ops@example.org", "s", "s", {tmp.In("a.txt")}));
    EXPECT_EQ(mailer.LastError(), "Can't open MAPI Session!");
    EXPECT_EQ(mailer.LastErrorNumber(), 32019);
    EXPECT_EQ(mailer.SessionID(), 0);
    // The error is cleared by the next call.
    EXPECT_FALSE(mailer.SendMail("", "", "s", "s", {}));
    EXPECT_NE(mailer.LastErrorNumber(), 32019);
}

TEST(MailToSink, LineBreaksInRecipientOrSubjectAreRefusedAndNothingIsSent)
{
    TempDir tmp;
    const Endpoint at = FreeEndpoint();
    Sink sink(at, tmp.In("sink"), "accept");
    ASSERT_TRUE(sink.ready()) << sink.error();
    const std::string file = tmp.In("a.txt");
    WriteFile(file, "001,1\r\n");
    px::Mailer mailer;
    mailer.settings.smtpUrl = at.url();
    mailer.settings.from = "px740@example.org";
    mailer.settings.connectTimeoutS = 5;
    mailer.settings.timeoutS = 20;

    struct Case {
        std::string address, display, subject;
    };
    const std::vector<Case> cases = {
        {"ops@example.org\r\nBcc: spy@example.org", "ops", "s"},
        {"ops@example.org\n", "ops", "s"},
        {"ops@example.org", "ops\rBcc: spy@example.org", "s"},
        {"ops@example.org", "ops", "Attendance\r\nBcc: spy@example.org"},
        {"ops@example.org", "ops", "Attendance\n"},
        {"ops@example.org", "ops", "Attendance\rX"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address + "|" + c.display + "|" + c.subject);
        EXPECT_FALSE(mailer.SendMail(c.address, c.display, c.subject, "note", {file}));
        EXPECT_FALSE(mailer.LastError().empty());
        EXPECT_NE(mailer.LastErrorNumber(), 0);
    }
    // The sender from the settings is a header (and the envelope's sender) too.
    for (const char* from : {"px740@example.org\r\nBcc: spy@example.org", "px740@example.org\n",
                             "px740@example.org\rBcc: spy@example.org"}) {
        SCOPED_TRACE(from);
        mailer.settings.from = from;
        EXPECT_FALSE(mailer.SendMail("ops@example.org", "ops", "s", "note", {file}));
        EXPECT_NE(mailer.LastError().find("sender"), std::string::npos) << mailer.LastError();
        EXPECT_EQ(mailer.LastErrorNumber(), 32014);
    }
    mailer.settings.from = "px740@example.org";
    // A line break in the note is ordinary text.
    ASSERT_TRUE(mailer.SendMail("ops@example.org", "ops", "after", "one\r\ntwo", {file}))
        << mailer.LastError();
    ASSERT_TRUE(sink.WaitFor(1));
    px::waitFor(std::chrono::milliseconds(300));
    EXPECT_EQ(sink.Received(), 1); // only the good message ever reached the server
    EXPECT_EQ(Count(ReadAll(sink.Eml(1)), "spy@example.org"), 0);
    const Decoded d = Decode(sink.Eml(1));
    EXPECT_EQ(d.at("subject"), "after");
    EXPECT_EQ(d.at("note"), "one\r\ntwo");
}

TEST(MailToSink, RefusingAndDroppingServersFailQuickly)
{
    for (const std::string mode : {"refuse", "drop"}) {
        SCOPED_TRACE(mode);
        TempDir tmp;
        const Endpoint at = FreeEndpoint();
        Sink sink(at, tmp.In("sink"), mode);
        ASSERT_TRUE(sink.ready()) << sink.error();
        WriteFile(tmp.In("a.txt"), "001,1\r\n");
        px::Mailer mailer;
        mailer.settings.smtpUrl = at.url();
        mailer.settings.from = "px740@example.org";
        mailer.settings.connectTimeoutS = 10;
        mailer.settings.timeoutS = 30;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(mailer.SendMail("ops@example.org", "ops", "s", "s", {tmp.In("a.txt")}));
        EXPECT_LT(ElapsedMs(start), 5000); // an answer, not a time-out
        EXPECT_FALSE(mailer.LastError().empty());
        EXPECT_NE(mailer.LastErrorNumber(), 0);
        if (mode == "refuse") {
            EXPECT_NE(mailer.LastError().find("550"), std::string::npos) << mailer.LastError();
        }
        EXPECT_EQ(sink.Received(), 0);
        // The failure leaves the session usable for the next run.
        EXPECT_NE(mailer.SessionID(), 0);
    }
}

TEST(MailToSink, StalledServerEndsAtTheTimeOutWhileTheEventLoopRuns)
{
    TempDir tmp;
    const Endpoint at = FreeEndpoint();
    Sink sink(at, tmp.In("sink"), "stall");
    ASSERT_TRUE(sink.ready()) << sink.error();
    WriteFile(tmp.In("a.txt"), "001,1\r\n");

    // The time-outs come from the settings store as the program reads them.
    px::SettingsStore store(tmp.In("settings.ini"));
    ASSERT_TRUE(store.Save("Mail", "SmtpUrl", at.url()));
    ASSERT_TRUE(store.Save("Mail", "From", "px740@example.org"));
    ASSERT_TRUE(store.Save("Mail", "ConnectTimeout", "2"));
    ASSERT_TRUE(store.Save("Mail", "Timeout", "3"));
    px::Mailer mailer;
    mailer.settings = px::MailSettings::Load(store);
    EXPECT_EQ(mailer.settings.smtpUrl, at.url());
    EXPECT_EQ(mailer.settings.connectTimeoutS, 2);
    EXPECT_EQ(mailer.settings.timeoutS, 3);

    int ticks = 0;
    QTimer timer;
    timer.setInterval(50);
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(mailer.SendMail("ops@example.org", "ops", "s", "s", {tmp.In("a.txt")}));
    const auto elapsed = ElapsedMs(start);
    timer.stop();
    EXPECT_GE(elapsed, 1500);
    EXPECT_LE(elapsed, 3000 + 2500);
    EXPECT_FALSE(mailer.LastError().empty());
    EXPECT_NE(mailer.LastErrorNumber(), 0);
    // Timer ticks every 50 ms kept coming during the wait.
    EXPECT_GE(ticks, static_cast<int>(elapsed / 50 / 2))
        << ticks << " ticks in " << elapsed << " ms";
    EXPECT_EQ(sink.Received(), 0);
}

TEST(MailToSink, SessionIsKeptBetweenMessagesUntilSignOff)
{
    TempDir tmp;
    const Endpoint at = FreeEndpoint();
    Sink sink(at, tmp.In("sink"), "accept");
    ASSERT_TRUE(sink.ready()) << sink.error();
    WriteFile(tmp.In("a.txt"), "001,1\r\n");
    px::Mailer mailer;
    mailer.settings.smtpUrl = at.url();
    mailer.settings.from = "px740@example.org";
    mailer.settings.connectTimeoutS = 5;
    mailer.settings.timeoutS = 20;
    EXPECT_EQ(mailer.SessionID(), 0);
    auto send = [&](const std::string& subject) {
        return mailer.SendMail("ops@example.org", "ops", subject, subject, {tmp.In("a.txt")});
    };
    ASSERT_TRUE(send("first")) << mailer.LastError();
    const long session = mailer.SessionID();
    EXPECT_NE(session, 0);
    ASSERT_TRUE(send("second")) << mailer.LastError();
    EXPECT_EQ(mailer.SessionID(), session);
    ASSERT_TRUE(sink.WaitFor(2));
    // One connection carried both messages.
    EXPECT_FALSE(sink.Envelope(1, "PEER").empty());
    EXPECT_EQ(sink.Envelope(1, "PEER"), sink.Envelope(2, "PEER"));

    mailer.MapiSignOff();
    EXPECT_EQ(mailer.SessionID(), 0);
    mailer.MapiSignOff(); // twice is harmless
    EXPECT_EQ(mailer.SessionID(), 0);
    ASSERT_TRUE(send("third")) << mailer.LastError();
    EXPECT_NE(mailer.SessionID(), 0);
    ASSERT_TRUE(sink.WaitFor(3));
    EXPECT_NE(sink.Envelope(3, "PEER"), sink.Envelope(2, "PEER")); // a new connection
    EXPECT_EQ(Decode(sink.Eml(3)).at("subject"), "third");
    mailer.MapiSignOff();
    EXPECT_EQ(mailer.SessionID(), 0);
}

TEST(MailBySendmail, MessageIsHandedToSendmailWithTAndOi)
{
    TempDir tmp;
    const std::string script = tmp.In("sendmail");
    // Stands in for the system's sendmail: keeps its input and checks its arguments.
    WriteFile(script, "#!/bin/sh\n"
                      "if [ $# -ne 2 ] || [ \"$1\" != -t ] || [ \"$2\" != -oi ]; then\n"
                      "  echo \"unexpected arguments: $*\" >&2; exit 64\n"
                      "fi\n"
                      "cat > \"$(dirname \"$0\")/received.eml\"\n");
    ::chmod(script.c_str(), 0755);
    const std::string file = tmp.In("out.txt");
    const std::string bytes = AttachmentBytes();
    WriteFile(file, bytes);

    px::Mailer mailer;
    mailer.settings.smtpUrl.clear();
    mailer.settings.sendmail = script;
    mailer.settings.from = "px740@example.org";
    mailer.settings.timeoutS = 20;
    const std::string note = "Übersicht\r\nline two";
    ASSERT_TRUE(mailer.SendMail("ops@example.org", "ops@example.org", kLongSubject, note, {file}))
        << mailer.LastError() << " (" << mailer.LastErrorNumber() << ")";
    EXPECT_NE(mailer.SessionID(), 0);
    const std::string raw = ReadAll(tmp.In("received.eml"));
    ASSERT_FALSE(raw.empty());
    EXPECT_NE(raw.find("\r\nContent-Transfer-Encoding: base64\r\n"), std::string::npos);
    const Decoded d = Decode(tmp.In("received.eml"));
    ASSERT_EQ(d.count("error"), 0u) << d.at("error");
    EXPECT_EQ(d.at("problems"), "");
    EXPECT_EQ(d.at("to"), "ops@example.org");
    EXPECT_EQ(d.at("from"), "px740@example.org");
    EXPECT_EQ(d.at("subject"), kLongSubject);
    EXPECT_EQ(d.at("date"), "ok");
    EXPECT_EQ(d.at("note"), note);
    ASSERT_EQ(d.at("attachments"), "1");
    EXPECT_EQ(d.at("attachment-0.name"), "out.txt");
    EXPECT_TRUE(d.at("attachment-0") == bytes);

    // A sender with a line break would add headers of its own: sendmail never runs.
    fs::remove(tmp.In("received.eml"));
    mailer.settings.from = "px740@example.org\nBcc: spy@example.org";
    EXPECT_FALSE(mailer.SendMail("ops@example.org", "ops", "s", "s", {file}));
    EXPECT_EQ(mailer.LastErrorNumber(), 32014);
    EXPECT_FALSE(fs::exists(tmp.In("received.eml")));
    mailer.settings.from = "px740@example.org";

    // A sendmail that fails is reported with what it said.
    WriteFile(script, "#!/bin/sh\ncat >/dev/null\necho 'queue is full' >&2\nexit 75\n");
    EXPECT_FALSE(mailer.SendMail("ops@example.org", "ops", "s", "s", {file}));
    EXPECT_NE(mailer.LastError().find("queue is full"), std::string::npos) << mailer.LastError();
    EXPECT_EQ(mailer.LastErrorNumber(), 75);
    mailer.MapiSignOff();
    EXPECT_EQ(mailer.SessionID(), 0);
}

TEST(MailBySendmail, DateHeaderStaysEnglishWhateverTheLocale)
{
    TempDir tmp;
    // A German time locale of our own, built into the temp folder.
    QProcess localedef;
    localedef.start("localedef",
                    {"-i", "de_DE", "-f", "UTF-8", QString::fromStdString(tmp.In("de_DE.UTF-8"))});
    if (!localedef.waitForFinished(60000) || localedef.exitCode() != 0) {
        localedef.kill();
        localedef.waitForFinished(2000);
        GTEST_SKIP() << "no locale could be built";
    }
    const std::string saved = std::setlocale(LC_TIME, nullptr);
    setenv("LOCPATH", tmp.path().c_str(), 1);
    const bool german = std::setlocale(LC_TIME, "de_DE.UTF-8") != nullptr;
    unsetenv("LOCPATH");
    if (!german) GTEST_SKIP() << "the locale cannot be used";
    std::tm december{};
    december.tm_mon = 11;
    char month[16];
    std::strftime(month, sizeof month, "%b", &december);
    EXPECT_STREQ(month, "Dez"); // the locale is in effect

    const std::string script = tmp.In("sendmail");
    WriteFile(script, "#!/bin/sh\ncat > \"$(dirname \"$0\")/received.eml\"\n");
    ::chmod(script.c_str(), 0755);
    WriteFile(tmp.In("a.txt"), "001,1\r\n");
    px::Mailer mailer;
    mailer.settings.smtpUrl.clear();
    mailer.settings.sendmail = script;
    const bool sent = mailer.SendMail("ops@example.org", "ops", "s", "s", {tmp.In("a.txt")});
    std::setlocale(LC_TIME, saved.c_str());
    ASSERT_TRUE(sent) << mailer.LastError();
    const Decoded d = Decode(tmp.In("received.eml"));
    EXPECT_EQ(d.at("date"), "ok");
    EXPECT_EQ(d.at("problems"), "");
}

namespace {

// Scheduled runs against a simulated terminal on COM5, mailing to the sink.
class ScheduledMail : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(h.linkReady) << h.linkError;
        ASSERT_NE(at.port, 0);
        std::string error;
        ASSERT_TRUE(h.core->paths().EnsureFolders(&error)) << error;
        ASSERT_TRUE(h.core->eventLog().OpenFile(h.core->paths().In("Logfiles/test-log.txt")));
        h.core->linkTimeoutMs = 500;
        h.core->session().link().SetVNetTimeout(500);
        auto& o = h.core->options();
        o.tsavePath = h.core->paths().RecordsDir();
        o.optFixName = true;
        o.fixName = "out.txt";
        o.idLenText = "0";
        o.mailToChecked = true;
        o.mailTo = "ops@example.org";
        o.mailSubject = "勤怠 - {Date,\"YYYYMMDD hh:nn\"}";
        h.core->directory().LoadDeviceInfo(h.home() + "/none.txt");
        h.core->directory().ResetDefaultEntry(1);
        auto& d = h.core->directory();
        d.Add();
        const int id = d.Lines().back().itemData;
        ASSERT_EQ(id, 1);
        d.table[1].ComPort = 5;
        // The mail settings as the program keeps them.
        auto& s = h.core->settings();
        ASSERT_TRUE(s.Save("Mail", "SmtpUrl", at.url()));
        ASSERT_TRUE(s.Save("Mail", "From", "px740@example.org"));
        ASSERT_TRUE(s.Save("Mail", "ConnectTimeout", "2"));
        ASSERT_TRUE(s.Save("Mail", "Timeout", "10"));
        mailer.settings = px::MailSettings::Load(s);
        run.now = [] { return px::MakeDateTime(2026, 3, 5, 8, 1, 2); };
    }
    std::string MailCopy() const { return px::MailFilePath(h.core->paths(), "out.txt"); }
    std::string Output() const { return h.core->paths().In("Records/out.txt"); }
    std::string Log() const { return ReadAll(h.core->eventLog().Path()); }

    TempDir tmp;
    Endpoint at = FreeEndpoint();
    CoreHarness h;
    px::Mailer mailer;
    px::ScheduledRun run{h.core->ForRun(), mailer};
};

} // namespace

TEST_F(ScheduledMail, AnEmptyMailCopyIsNotMailed)
{
    Sink sink(at, tmp.In("sink"), "accept");
    ASSERT_TRUE(sink.ready()) << sink.error();
    auto sim = h.StartPtySim(5, {"--id", "1"});
    ASSERT_TRUE(sim->ok());
    WriteFile(MailCopy(), "");
    run.TSChkDevice();
    const std::string log = Log();
    EXPECT_NE(log.find("no record!"), std::string::npos) << log;
    EXPECT_EQ(Count(log, "          mail file size is zero!\r\n"), 1) << log;
    EXPECT_EQ(Count(log, "Start mail the file!"), 0);
    EXPECT_TRUE(fs::exists(MailCopy()));
    EXPECT_EQ(fs::file_size(MailCopy()), 0u);
    EXPECT_EQ(mailer.SessionID(), 0); // nobody signed on
    px::waitFor(std::chrono::milliseconds(300));
    EXPECT_EQ(sink.Received(), 0);
}

TEST_F(ScheduledMail, FailedMailsAreSentLaterAsOneFileWithEveryRunsLines)
{
    auto sim = h.StartPtySim(5, {"--id", "1", "--records", "2"});
    ASSERT_TRUE(sim->ok());
    const std::string subject = "勤怠 - 20260305 08:01";

    // Run 1: the server refuses the recipient.
    {
        Sink refusing(at, tmp.In("refusing"), "refuse");
        ASSERT_TRUE(refusing.ready()) << refusing.error();
        run.TSChkDevice();
        EXPECT_TRUE(run.LastRunComplete()); // a failed mail does not count
        EXPECT_EQ(refusing.Received(), 0);
    }
    EXPECT_EQ(Lines(ReadAll(MailCopy())).size(), 2u);
    EXPECT_EQ(Count(Log(), "can't mail the file"), 1) << Log();

    // Run 2: no server at all.
    ASSERT_TRUE(sim->command("add 1 3"));
    run.TSChkDevice();
    EXPECT_TRUE(run.LastRunComplete());
    EXPECT_EQ(Lines(ReadAll(MailCopy())).size(), 5u);
    EXPECT_EQ(Count(Log(), "can't mail the file"), 2) << Log();
    EXPECT_EQ(Count(Log(), "mailed the file OK!"), 0);

    // Run 3: the server accepts; one message carries all three runs.
    ASSERT_TRUE(sim->command("add 1 4"));
    Sink sink(at, tmp.In("sink"), "accept");
    ASSERT_TRUE(sink.ready()) << sink.error();
    run.TSChkDevice();
    EXPECT_TRUE(run.LastRunComplete());
    const std::string log = Log();
    EXPECT_EQ(Count(log, "Start mail the file!"), 3) << log;
    EXPECT_EQ(Count(log, "          mailed the file OK!\r\n"), 1) << log;
    EXPECT_FALSE(fs::exists(MailCopy()));
    ASSERT_TRUE(sink.WaitFor(1));
    px::waitFor(std::chrono::milliseconds(300));
    EXPECT_EQ(sink.Received(), 1);
    EXPECT_EQ(sink.Envelope(1, "RCPT TO"), "ops@example.org");
    EXPECT_EQ(sink.Envelope(1, "MAIL FROM"), "px740@example.org");

    const Decoded d = Decode(sink.Eml(1));
    ASSERT_EQ(d.count("error"), 0u) << d.at("error");
    EXPECT_EQ(d.at("problems"), "");
    EXPECT_EQ(d.at("to"), "ops@example.org");
    EXPECT_EQ(d.at("subject"), subject);
    EXPECT_EQ(d.at("note"), subject);
    ASSERT_EQ(d.at("attachments"), "1");
    EXPECT_EQ(d.at("attachment-0.name"), "out.txt");
    // The output file got the same lines in the same three runs.
    const std::string attachment = d.at("attachment-0");
    EXPECT_TRUE(attachment == ReadAll(Output()));
    const auto lines = Lines(attachment);
    ASSERT_EQ(lines.size(), 9u);
    // The simulator's records 0..8 of unit 1, one minute apart.
    EXPECT_EQ(lines[0].rfind("001,", 0), 0u);
    EXPECT_NE(lines[0].find("1000003"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("08:00:00"), std::string::npos) << lines[0];
    EXPECT_NE(lines[8].find("1063355"), std::string::npos) << lines[8];
    EXPECT_NE(lines[8].find("08:08:00"), std::string::npos) << lines[8];

    // A fourth run without new records has no mail copy and sends nothing.
    run.TSChkDevice();
    EXPECT_EQ(Count(Log(), "Start mail the file!"), 3);
    px::waitFor(std::chrono::milliseconds(200));
    EXPECT_EQ(sink.Received(), 1);
}
