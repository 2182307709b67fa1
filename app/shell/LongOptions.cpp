#include "LongOptions.h"

#include "DateFormat.h"

#include <charconv>

namespace px {

namespace {

bool IsDate(const std::string& text)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
    int parts[3] = {};
    const std::size_t at[3][2] = {{0, 4}, {5, 2}, {8, 2}};
    for (int i = 0; i < 3; ++i) {
        const char* first = text.data() + at[i][0];
        const char* last = first + at[i][1];
        const auto [end, ec] = std::from_chars(first, last, parts[i]);
        if (ec != std::errc() || end != last || *first == '+' || *first == '-') return false;
    }
    return IsValidDate(parts[0], parts[1], parts[2]);
}

std::optional<int> MachineId(const std::string& text)
{
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < 1 ||
        value > 255)
        return std::nullopt;
    return value;
}

class Parser {
public:
    explicit Parser(const std::vector<std::string>& args) : args_(args) {}

    LongOptions Run()
    {
        for (i_ = 0; i_ < args_.size() && o_.error.empty(); ++i_)
            One(args_[i_]);
        if (o_.error.empty()) Check();
        if (help_ && o_.error.empty()) o_.command = LongOptions::Command::Help;
        return o_;
    }

private:
    void Fail(std::string why)
    {
        if (o_.error.empty()) o_.error = std::move(why);
    }

    // The value of "--name=value" or of the next argument.
    std::optional<std::string> Value(const std::string& name, const std::string& inline_)
    {
        if (!inline_.empty() || glued_) return inline_;
        if (i_ + 1 >= args_.size()) {
            Fail("option " + name + " needs a value");
            return std::nullopt;
        }
        return args_[++i_];
    }

    void SetCommand(LongOptions::Command c, const std::string& name)
    {
        if (o_.command != LongOptions::Command::None && o_.command != c)
            Fail(name + " cannot be combined with " + commandName_);
        else if (o_.command == c)
            Fail(name + " is given twice");
        o_.command = c;
        commandName_ = name;
    }

    void One(const std::string& arg)
    {
        if (arg.rfind("--", 0) != 0 || arg == "--") {
            Fail("unexpected argument '" + arg + "'");
            return;
        }
        const auto eq = arg.find('=');
        const std::string name = arg.substr(0, eq);
        glued_ = eq != std::string::npos;
        const std::string value = glued_ ? arg.substr(eq + 1) : std::string();
        const bool takesValue = name == "--terminal" || name == "--type" || name == "--out";
        const bool flag = name == "--help" || name == "--version" || name == "--archive-status" ||
                          name == "--export";
        if (!takesValue && !flag) {
            Fail("unknown option '" + name + "'");
            return;
        }
        if (glued_ && !takesValue) {
            Fail("option " + name + " takes no value after '='");
            return;
        }
        if (name == "--help") {
            help_ = true;
        } else if (name == "--version") {
            SetCommand(LongOptions::Command::Version, name);
        } else if (name == "--archive-status") {
            SetCommand(LongOptions::Command::ArchiveStatus, name);
        } else if (name == "--export") {
            SetCommand(LongOptions::Command::Export, name);
            if (i_ + 2 >= args_.size()) {
                Fail("--export needs two dates, FROM and TO (YYYY-MM-DD)");
                return;
            }
            o_.from = args_[++i_];
            o_.to = args_[++i_];
        } else {
            Valued(name, value);
        }
    }

    void Valued(const std::string& name, const std::string& inline_)
    {
        const auto value = Value(name, inline_);
        if (!value) return;
        if (seen_.find("|" + name + "|") != std::string::npos) Fail(name + " is given twice");
        seen_ += "|" + name + "|";
        if (name == "--terminal") {
            o_.terminal = MachineId(*value);
            if (!o_.terminal)
                Fail("--terminal needs a machine ID from 1 to 255, not '" + *value + "'");
        } else if (name == "--type") {
            if (value->empty()) Fail("--type needs the name of an output type");
            o_.type = *value;
        } else {
            if (value->empty()) Fail("--out needs a file name");
            o_.out = *value;
        }
    }

    void Check()
    {
        const bool exportOnly = o_.terminal || !o_.type.empty() || o_.out;
        if (exportOnly && o_.command != LongOptions::Command::Export) {
            Fail("--terminal, --type and --out belong to --export");
            return;
        }
        if (o_.command != LongOptions::Command::Export) return;
        if (!IsDate(o_.from))
            Fail("FROM '" + o_.from + "' is not a date written YYYY-MM-DD");
        else if (!IsDate(o_.to))
            Fail("TO '" + o_.to + "' is not a date written YYYY-MM-DD");
        else if (o_.from > o_.to)
            Fail("FROM " + o_.from + " is after TO " + o_.to);
    }

    const std::vector<std::string>& args_;
    std::size_t i_ = 0;
    bool glued_ = false;
    bool help_ = false;
    std::string commandName_;
    std::string seen_;
    LongOptions o_;
};

} // namespace

bool IsOptionLine(const std::vector<std::string>& args)
{
    return !args.empty() && args.front().rfind("--", 0) == 0;
}

LongOptions ParseLongOptions(const std::vector<std::string>& args)
{
    return Parser(args).Run();
}

std::string Usage(const std::string& exe, const std::string& title)
{
    return "Usage: " + exe +
           " [/TS:ONCE | /TS:INTERVAL | /TS:TIMETABLE] [/S] [/MONITOR]\n"
           "       " +
           exe +
           " --export FROM TO [--terminal ID] [--type NAME] [--out FILE]\n"
           "       " +
           exe +
           " --archive-status\n"
           "       " +
           exe +
           " --help | --version\n\n"
           "Manages time-attendance terminals: downloads their punch records, sets them up\n"
           "and runs unattended polls. With a display it opens its window.\n\n"
           "  /TS:ONCE       poll every terminal once, save and mail, then end\n"
           "  /TS:INTERVAL   run the scheduler by interval until stopped\n"
           "  /TS:TIMETABLE  run the scheduler by its time table until stopped\n"
           "  /S             with /TS: start minimised\n"
           "  /MONITOR       show the protocol monitor\n\n"
           "Every downloaded record is also kept in the punch archive (setting Archive/URL:\n"
           "empty for Records/punches.db, postgresql://user@host:port/dbname, or off).\n\n"
           "  --export FROM TO   write the archived punches dated FROM to TO (YYYY-MM-DD,\n"
           "                     inclusive) as the scheduled run writes them\n"
           "  --terminal ID      only the terminal with this machine ID (1-255)\n"
           "  --type NAME        this Format.ini output type instead of the one set\n"
           "  --out FILE         into FILE (replaced when complete) instead of standard output\n"
           "  --archive-status   punches per terminal, the newest punch, and how many\n"
           "                     records still wait in the journal\n\n"
           "A command line that begins with -- holds options only. Exit status: 0 all saved\n"
           "(or a clean stop, or the command done), 1 some terminal not saved (or the archive\n"
           "failed), 2 could not start (or a usage error).\n"
           "Files: $" +
           title + "_HOME (default ~/.local/share/" + title + "). See " + exe + "(1).\n";
}

} // namespace px
