#include "Mailer.h"
#include "FileAppend.h"

#include "SettingsStore.h"
#include "VbText.h"
#include "Wait.h"

#include <QAbstractEventDispatcher>
#include <QProcess>

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace px {

namespace {

constexpr long kNoSession = 32019;
constexpr long kBadHeader = 32014; // a header value that would break the message
constexpr long kAttachmentMissing = 32011;

bool HasLineBreak(const std::string& s)
{
    return s.find_first_of("\r\n") != std::string::npos;
}

// Body lines are broken every 76 characters; header words must not be broken at all.
std::string Base64(const std::string& data, bool wrapLines = true)
{
    static const char* kChars = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4 + data.size() / 57 * 2);
    std::size_t lineLength = 0;
    for (std::size_t i = 0; i < data.size(); i += 3) {
        const unsigned a = static_cast<unsigned char>(data[i]);
        const unsigned b = i + 1 < data.size() ? static_cast<unsigned char>(data[i + 1]) : 0;
        const unsigned c = i + 2 < data.size() ? static_cast<unsigned char>(data[i + 2]) : 0;
        const unsigned v = (a << 16) | (b << 8) | c;
        out += kChars[(v >> 18) & 63];
        out += kChars[(v >> 12) & 63];
        out += i + 1 < data.size() ? kChars[(v >> 6) & 63] : '=';
        out += i + 2 < data.size() ? kChars[v & 63] : '=';
        if (wrapLines && (lineLength += 4) == 76) {
            out += "\r\n";
            lineLength = 0;
        }
    }
    return out;
}

// A header value outside ASCII travels as encoded words of at most 75 characters (45 bytes of
// text each, never splitting a UTF-8 sequence), on folded lines.
std::string HeaderValue(const std::string& value)
{
    bool ascii = true;
    for (unsigned char c : value)
        if (c >= 0x80) ascii = false;
    if (ascii) return value;
    std::string out;
    std::size_t start = 0;
    while (start < value.size()) {
        std::size_t end = std::min(value.size(), start + 45);
        while (end < value.size() && end > start + 1 &&
               (static_cast<unsigned char>(value[end]) & 0xC0) == 0x80)
            --end;
        if (!out.empty()) out += "\r\n ";
        out += "=?UTF-8?B?" + Base64(value.substr(start, end - start), false) + "?=";
        start = end;
    }
    return out;
}

// Day and month names are fixed English: the process locale must not leak into the header.
std::string DateHeader()
{
    static const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const long offset = local.tm_gmtoff / 60;
    const long absOffset = offset < 0 ? -offset : offset;
    char buffer[64];
    // Every field is bounded: the buffer always holds the whole date.
    (void)std::snprintf(buffer, sizeof buffer, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                        kDays[local.tm_wday % 7], local.tm_mday, kMonths[local.tm_mon % 12],
                        local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec,
                        offset < 0 ? '-' : '+', absOffset / 60, absOffset % 60);
    return buffer;
}

std::string FileName(const std::string& path)
{
    return std::filesystem::path(path).filename().string();
}

// The bare address for the envelope: "Name <a@b>" gives "a@b".
std::string EnvelopeAddress(const std::string& address)
{
    const auto open = address.find('<');
    const auto close = address.rfind('>');
    if (open != std::string::npos && close != std::string::npos && close > open)
        return Trim(address.substr(open + 1, close - open - 1));
    return Trim(address);
}

// The envelope's "<a@b>". Appended rather than concatenated from a temporary: GCC 12 at -O3
// misreads `"<" + std::string&&` as an overlapping copy and warns.
std::string AngleAddress(const std::string& address)
{
    std::string angled = "<";
    angled += EnvelopeAddress(address);
    angled += '>';
    return angled;
}

struct CurlList {
    curl_slist* list = nullptr;
    ~CurlList() { curl_slist_free_all(list); }
    void Add(const std::string& s) { list = curl_slist_append(list, s.c_str()); }
};

} // namespace

MailSettings MailSettings::Load(const SettingsStore& store)
{
    MailSettings m;
    m.smtpUrl = Trim(store.Get("Mail", "SmtpUrl", ""));
    m.from = Trim(store.Get("Mail", "From", ""));
    m.user = store.Get("Mail", "User", "");
    m.password = store.Get("Mail", "Password", "");
    const double connect = Val(store.Get("Mail", "ConnectTimeout", "30"));
    const double total = Val(store.Get("Mail", "Timeout", "300"));
    m.connectTimeoutS = connect > 0 ? static_cast<long>(connect) : 30;
    m.timeoutS = total > 0 ? static_cast<long>(total) : 300;
    return m;
}

Mailer::Mailer()
{
    curl_global_init(CURL_GLOBAL_DEFAULT);
}

Mailer::~Mailer()
{
    MapiSignOff();
}

void Mailer::Fail(long number, const std::string& text)
{
    lastErrorNumber_ = number;
    lastError_ = text;
}

bool Mailer::SignOn()
{
    if (!settings.smtpUrl.empty()) {
        curl_ = curl_easy_init();
        if (curl_) sessionId_ = 1;
    } else if (::access(settings.sendmail.c_str(), X_OK) == 0) {
        sessionId_ = 1;
    }
    return sessionId_ != 0;
}

void Mailer::MapiSignOff()
{
    if (curl_) curl_easy_cleanup(static_cast<CURL*>(curl_));
    curl_ = nullptr;
    sessionId_ = 0;
}

std::string Mailer::BuildMessage(const std::string& from, const std::string& to,
                                 const std::string& subject, const std::string& note,
                                 const std::vector<std::string>& attachments, std::string* error)
{
    const std::string boundary = "=_px740_" + std::to_string(std::time(nullptr)) + "_boundary";
    std::ostringstream m;
    if (!from.empty()) m << "From: " << from << "\r\n";
    m << "To: " << to << "\r\n"
      << "Subject: " << HeaderValue(subject) << "\r\n"
      << "Date: " << DateHeader() << "\r\n"
      << "MIME-Version: 1.0\r\n"
      << "Content-Type: multipart/mixed; boundary=\"" << boundary << "\"\r\n\r\n"
      << "--" << boundary << "\r\n"
      << "Content-Type: text/plain; charset=UTF-8\r\n"
      << "Content-Transfer-Encoding: base64\r\n\r\n"
      << Base64(note) << "\r\n";
    for (const auto& path : attachments) {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            if (error) *error = "cannot read " + path;
            return {};
        }
        std::stringstream data;
        data << in.rdbuf();
        m << "--" << boundary << "\r\n"
          << "Content-Type: application/octet-stream; name=\"" << FileName(path) << "\"\r\n"
          << "Content-Disposition: attachment; filename=\"" << FileName(path) << "\"\r\n"
          << "Content-Transfer-Encoding: base64\r\n\r\n"
          << Base64(data.str()) << "\r\n";
    }
    m << "--" << boundary << "--\r\n";
    return m.str();
}

bool Mailer::SendMail(const std::string& recipAddress, const std::string& recipDisplayName,
                      const std::string& subject, const std::string& noteText,
                      const std::vector<std::string>& attachments)
{
    lastError_.clear();
    lastErrorNumber_ = 0;
    // A line break in a header would let a value add headers of its own: refused, not sent.
    if (HasLineBreak(recipAddress) || HasLineBreak(recipDisplayName) || HasLineBreak(subject) ||
        Trim(recipAddress).empty()) {
        Fail(kBadHeader, "Invalid recipient or subject");
        return false;
    }
    // The sender comes from the settings file: it goes into the header and the envelope alike.
    if (HasLineBreak(settings.from)) {
        Fail(kBadHeader, "Invalid sender (Mail/From)");
        return false;
    }
    // Attachment names go into part headers too.
    for (const auto& path : attachments)
        if (HasLineBreak(FileName(path))) {
            Fail(kBadHeader, "Invalid attachment name");
            return false;
        }
    // The recipient box keeps whatever blanks were typed around the address.
    const std::string to = Trim(recipAddress);
    if (sessionId_ == 0) SignOn();
    if (sessionId_ == 0) {
        Fail(kNoSession, "Can't open MAPI Session!");
        return false;
    }
    for (const auto& path : attachments)
        if (!FileExists(path)) {
            Fail(kAttachmentMissing, "Attachment not found: " + path);
            return false;
        }
    return curl_ ? SendSmtp(to, subject, noteText, attachments)
                 : SendSendmail(to, subject, noteText, attachments);
}

bool Mailer::SendSmtp(const std::string& to, const std::string& subject, const std::string& note,
                      const std::vector<std::string>& attachments)
{
    CURL* curl = static_cast<CURL*>(curl_);
    curl_easy_reset(curl);
    const std::string from = settings.from.empty() ? to : settings.from;
    CurlList recipients, headers;
    recipients.Add(AngleAddress(to));
    headers.Add("To: " + to);
    headers.Add("From: " + from);
    headers.Add("Subject: " + HeaderValue(subject));
    headers.Add("Date: " + DateHeader());

    curl_mime* mime = curl_mime_init(curl);
    curl_mimepart* text = curl_mime_addpart(mime);
    curl_mime_data(text, note.data(), note.size());
    curl_mime_type(text, "text/plain; charset=UTF-8");
    curl_mime_encoder(text, "base64"); // the note may be UTF-8: never 8-bit in a 7-bit part
    for (const auto& path : attachments) {
        curl_mimepart* part = curl_mime_addpart(mime);
        curl_mime_filedata(part, path.c_str());
        curl_mime_type(part, "application/octet-stream");
        curl_mime_encoder(part, "base64");
    }
    char errorText[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_URL, settings.smtpUrl.c_str());
    const std::string envelopeFrom = AngleAddress(from);
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, envelopeFrom.c_str());
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, recipients.list);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.list);
    curl_easy_setopt(curl, CURLOPT_MIMEPOST, mime);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, settings.connectTimeoutS);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, settings.timeoutS);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    if (!settings.user.empty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, settings.user.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, settings.password.c_str());
    }
    // The transfer blocks its own thread only; this thread keeps the program responsive.
    std::atomic<bool> done{false};
    CURLcode result = CURLE_OK;
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    std::thread worker([&] {
        result = curl_easy_perform(curl);
        done = true;
        if (dispatcher) dispatcher->wakeUp();
    });
    // curl's own time-outs bound the transfer; this wait only has to outlast them.
    waitUntil([&] { return done.load(); },
              Millis((settings.timeoutS + settings.connectTimeoutS + 5) * 1000));
    worker.join();
    curl_mime_free(mime);
    curl_easy_setopt(curl, CURLOPT_MIMEPOST, nullptr);
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, nullptr);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
    if (result != CURLE_OK) {
        Fail(static_cast<long>(result), errorText[0] ? errorText : curl_easy_strerror(result));
        return false;
    }
    return true;
}

bool Mailer::SendSendmail(const std::string& to, const std::string& subject,
                          const std::string& note, const std::vector<std::string>& attachments)
{
    std::string error;
    const std::string message = BuildMessage(settings.from, to, subject, note, attachments, &error);
    if (message.empty()) {
        Fail(kAttachmentMissing, error);
        return false;
    }
    QProcess sendmail;
    sendmail.start(QString::fromStdString(settings.sendmail), {"-t", "-oi"});
    if (!sendmail.waitForStarted(5000)) {
        Fail(kNoSession, "Can't open MAPI Session!");
        return false;
    }
    sendmail.write(message.data(), static_cast<qint64>(message.size()));
    sendmail.closeWriteChannel();
    const bool finished = waitUntil([&] { return sendmail.state() == QProcess::NotRunning; },
                                    Millis(settings.timeoutS * 1000));
    if (!finished) {
        sendmail.kill();
        sendmail.waitForFinished(1000);
        Fail(CURLE_OPERATION_TIMEDOUT, "sendmail did not finish in time");
        return false;
    }
    if (sendmail.exitStatus() != QProcess::NormalExit || sendmail.exitCode() != 0) {
        Fail(sendmail.exitCode(),
             "sendmail failed: " + sendmail.readAllStandardError().trimmed().toStdString());
        return false;
    }
    return true;
}

} // namespace px
