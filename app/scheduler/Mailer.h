// Mailing the scheduled run's file: one message with recipient, subject, note and the mail copy
// attached, by SMTP through libcurl (settings section "Mail") or, without an SMTP URL, through
// the local sendmail. The transfer runs on a worker thread while the event loop keeps pumping,
// bounded by a connect and a total time-out, so a stalled server never freezes a run.
#pragma once

#include <string>
#include <vector>

namespace px {

class SettingsStore;

struct MailSettings {
    std::string smtpUrl; // smtp://host:port or smtps://...
    std::string from;
    std::string user;
    std::string password;
    long connectTimeoutS = 30;
    long timeoutS = 300;
    std::string sendmail = "/usr/sbin/sendmail";

    static MailSettings Load(const SettingsStore& store);
};

class Mailer {
public:
    Mailer();
    ~Mailer();
    Mailer(const Mailer&) = delete;
    Mailer& operator=(const Mailer&) = delete;

    MailSettings settings;

    // True when the message was handed over without any error; otherwise LastError() and
    // LastErrorNumber() tell why ("Can't open MAPI Session!", 32019, when no transport exists).
    bool SendMail(const std::string& recipAddress, const std::string& recipDisplayName,
                  const std::string& subject, const std::string& noteText,
                  const std::vector<std::string>& attachments);
    // Ends the session kept between runs (the SMTP connection).
    void MapiSignOff();
    // Non-zero while a session is open.
    long SessionID() const { return sessionId_; }

    const std::string& LastError() const { return lastError_; }
    long LastErrorNumber() const { return lastErrorNumber_; }

    // The whole message as sendmail receives it (also what tests compare against).
    static std::string BuildMessage(const std::string& from, const std::string& to,
                                    const std::string& subject, const std::string& note,
                                    const std::vector<std::string>& attachments,
                                    std::string* error);

private:
    bool SignOn();
    bool SendSmtp(const std::string& to, const std::string& subject, const std::string& note,
                  const std::vector<std::string>& attachments);
    bool SendSendmail(const std::string& to, const std::string& subject, const std::string& note,
                      const std::vector<std::string>& attachments);
    void Fail(long number, const std::string& text);

    void* curl_ = nullptr; // the session: a connection libcurl keeps between messages
    long sessionId_ = 0;
    std::string lastError_;
    long lastErrorNumber_ = 0;
};

} // namespace px
