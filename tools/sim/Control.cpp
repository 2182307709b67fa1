#include "Control.h"

#include "Escape.h"
#include "Sim.h"

#include <sstream>
#include <vector>

namespace sim {

namespace {

ControlResult ok()
{
    return {};
}
ControlResult fail(std::string text)
{
    return {ControlStatus::Error, std::move(text)};
}

bool onOff(const std::vector<std::string>& args, bool& value)
{
    if (args.size() != 1 || (args[0] != "on" && args[0] != "off")) return false;
    value = args[0] == "on";
    return true;
}

bool number(const std::string& text, int64_t max, int64_t& value)
{
    return parseNumber(text, 0, max, value);
}

} // namespace

// One branch per control command, each parsing its own arguments: the list reads as the
// command reference in README.md.
// NOLINTNEXTLINE(readability-function-size)
ControlResult runControl(const std::string& line, Sim& sim)
{
    const size_t start = line.find_first_not_of(" \t");
    const size_t end = line.find_first_of(" \t", start);
    const std::string cmd = line.substr(start, end - start);
    // TEXT arguments keep their inner and trailing blanks: everything after one separator.
    const std::string rest = end == std::string::npos ? "" : line.substr(end + 1);
    std::vector<std::string> args;
    {
        std::istringstream in(rest);
        for (std::string a; in >> a;)
            args.push_back(a);
    }
    Faults& f = sim.faults();
    int64_t a = 0, b = 0;

    if (cmd == "quit") return {ControlStatus::Quit, {}};
    if (cmd == "id") {
        if (args.size() != 2 || !number(args[0], 255, a) || !number(args[1], 255, b))
            return fail("usage: id OLD NEW");
        Unit* unit = sim.bus().find(int(a));
        if (!unit) return fail("no unit " + args[0]);
        unit->setId(int(b));
        return ok();
    }
    if (cmd == "silent") {
        if (!onOff(args, f.silent)) return fail("usage: silent on|off");
        f.silentAfter = -1;
        return ok();
    }
    if (cmd == "silent-after") {
        if (args.size() != 1 || !number(args[0], 1'000'000'000, a))
            return fail("usage: silent-after N");
        f.silent = a == 0;
        f.silentAfter = a == 0 ? -1 : a;
        return ok();
    }
    if (cmd == "skip") {
        if (args.size() != 1 || !number(args[0], 1'000'000'000, a)) return fail("usage: skip N");
        f.skip = a;
        return ok();
    }
    if (cmd == "grow-after") {
        if (args.size() != 2 || !number(args[0], 1'000'000, a) || !number(args[1], 1'000'000, b) ||
            a == 0)
            return fail("usage: grow-after K N");
        f.growAfter = a;
        f.growOnce = uint64_t(b);
        return ok();
    }
    if (cmd == "grow") {
        if (args.size() != 1 || !number(args[0], 1'000'000, a)) return fail("usage: grow N");
        f.grow = uint64_t(a);
        return ok();
    }
    if (cmd == "xm-corrupt" || cmd == "xm-drop-ack") {
        if (!args.empty()) return fail("usage: " + cmd);
        (cmd == "xm-corrupt" ? f.xmodem.corruptNext : f.xmodem.dropNextAck) = true;
        return ok();
    }
    if (cmd == "xm-checksum")
        return onOff(args, f.xmodemChecksum) ? ok() : fail("usage: xm-checksum on|off");
    if (cmd == "xm-timeout") {
        if (args.size() != 1 || !number(args[0], 3'600'000, a) || a == 0)
            return fail("usage: xm-timeout MS");
        sim.setXmodemTimeoutMs(a);
        return ok();
    }
    if (cmd == "badsum") return onOff(args, f.badsum) ? ok() : fail("usage: badsum on|off");
    if (cmd == "udp-silent")
        return onOff(args, f.udpSilent) ? ok() : fail("usage: udp-silent on|off");
    if (cmd == "noise" || cmd == "reply-once" || cmd == "raw") {
        auto bytes = unescapeText(rest);
        if (!bytes) return fail("bad escape in text");
        if (cmd == "noise") {
            f.noise = *bytes;
            return ok();
        }
        if (bytes->empty()) return fail("usage: " + cmd + " TEXT");
        if (cmd == "reply-once") {
            f.replyOnce.push_back(*bytes);
            return ok();
        }
        if (!sim.sendRaw(*bytes)) return fail("no connection");
        return {ControlStatus::Deferred, {}};
    }
    if (cmd == "refuse") {
        if (args.size() == 1 && args[0] == "off") {
            f.refusals.clear();
            return ok();
        }
        if (args.size() != 2 || args[1].size() != 2 || !number(args[1], 99, a))
            return fail("usage: refuse CMD CODE | refuse off");
        for (auto& r : f.refusals) {
            if (r.first == args[0]) {
                r.second = args[1];
                return ok();
            }
        }
        f.refusals.emplace_back(args[0], args[1]);
        return ok();
    }
    if (cmd == "drop-at-record") {
        if (args.size() == 1 && args[0] == "off") {
            f.dropAtRecord.reset();
            return ok();
        }
        if (args.size() != 1 || !number(args[0], 0xFFFF, a))
            return fail("usage: drop-at-record K | drop-at-record off");
        f.dropAtRecord = unsigned(a);
        return ok();
    }
    if (cmd == "hangup") {
        if (!args.empty()) return fail("usage: hangup");
        std::string error;
        return sim.hangup(error) ? ok() : fail(error);
    }
    if (cmd == "add" || cmd == "erase") {
        const bool add = cmd == "add";
        if (args.size() != (add ? 2u : 1u) || !number(args[0], 255, a) ||
            (add && !number(args[1], int64_t(Unit::kMaxRecords), b)))
            return fail(add ? "usage: add ID N" : "usage: erase ID");
        Unit* unit = sim.bus().find(int(a));
        if (!unit) return fail("no unit " + args[0]);
        if (!add) {
            unit->eraseRecords();
            return ok();
        }
        return unit->addGenerated(uint64_t(b)) ? ok() : fail("too many records");
    }
    if (cmd == "clock") {
        // Sets a unit's clock as an "S" frame would, so tests can see a clock change.
        if (args.size() != 2 || !number(args[0], 255, a))
            return fail("usage: clock ID YYYYMMDDhhmmss");
        Unit* unit = sim.bus().find(int(a));
        if (!unit) return fail("no unit " + args[0]);
        return unit->setClock(args[1] + "0").text == "A" ? ok() : fail("not a date and time");
    }
    if (cmd == "delay") {
        if (args.size() != 1 || !number(args[0], 3'600'000, a)) return fail("usage: delay MS");
        sim.setDelayMs(a);
        return ok();
    }
    if (cmd == "baud") {
        if (args.size() != 1 || !number(args[0], 100'000'000, a)) return fail("usage: baud N");
        sim.setBaud(a);
        return ok();
    }
    return fail("unknown command " + cmd);
}

} // namespace sim
