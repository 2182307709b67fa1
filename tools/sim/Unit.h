// One simulated terminal: its ID, record database, registers and clock, and how it answers
// the text of a frame addressed to it. No I/O here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

struct Challenge {
    unsigned hi = 0, lo = 0, c1 = 0, c2 = 0;
};

// What every unit on the line has in common (command-line options).
struct Profile {
    std::string model = "APX740";
    std::string version = "V1.7";
    std::string ext;
    std::optional<std::string> password;
    std::optional<Challenge> challenge;
};

struct Reply {
    std::string text;
    bool checksum = false;
};

class Unit {
public:
    static constexpr size_t kMaxRecords = 1'000'000;

    Unit(int id, std::vector<std::string> records);

    int id() const { return id_; }
    void setId(int id) { id_ = id; }
    size_t recordCount() const { return records_.size(); }
    // Appends further records of this unit's generated sequence; false when full.
    bool addGenerated(uint64_t count);
    void eraseRecords() { records_.clear(); }

    // nullopt: the unit stays silent.
    std::optional<Reply> execute(std::string_view text, const Profile& profile);
    // "YYYYMMDDhhmmssW", as an "S" frame carries it.
    Reply setClock(std::string_view digits);

private:
    Reply login(std::string_view password, const Profile& profile);
    std::string clockText() const;

    int id_;
    int seedId_; // the generated sequence keeps its card IDs when the unit's ID changes
    uint64_t generated_ = 0;
    std::vector<std::string> records_;
    std::string registers_[256];
    int64_t clockOffset_ = 0;
    bool challengeIssued_ = false;
};

} // namespace sim
