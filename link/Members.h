// The control's dispatch interface as data: every property and method with its DISPID, name,
// type and access. The C ABI checks calls against this table before the control sees them.
#pragma once

#include "serlo_ids.h"

#include <cstdint>
#include <string>
#include <vector>

namespace serlo {

enum class VType { Empty, I2, I4, Bool, Str };

// A dispatch value after conversion to the member's declared type.
struct Value {
    VType type = VType::Empty;
    std::int32_t i = 0; // I2, I4; Bool as 0 / -1
    std::string s;      // Str, bytes

    static Value I2(int v) { return {VType::I2, static_cast<std::int16_t>(v), {}}; }
    static Value I4(std::int32_t v) { return {VType::I4, v, {}}; }
    static Value Bool(bool v) { return {VType::Bool, v ? -1 : 0, {}}; }
    static Value Str(std::string v) { return {VType::Str, 0, std::move(v)}; }
    bool AsBool() const { return i != 0; }
};

struct Member {
    std::int32_t dispid;
    const char* name;
    bool isMethod;
    VType type;                // property type or method result (Empty for none)
    bool readOnly;             // properties only
    std::vector<VType> params; // methods only
};

// nullptr when the DISPID is not a member of the interface.
const Member* FindMember(std::int32_t dispid);
// DISPID of a property or method name (case-insensitive), -1 when unknown.
std::int32_t IdOfName(const char* name);

namespace dispid {
#define SERLO_DISPID_NAME(name, id) name = (id),
enum : std::int32_t { SERLO_MEMBERS(SERLO_DISPID_NAME) };
#undef SERLO_DISPID_NAME
} // namespace dispid

} // namespace serlo
