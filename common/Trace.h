// Support traces through Qt logging categories, all off by default and switched on without a
// rebuild through QT_LOGGING_RULES, for example "px.link.debug=true;px.link.bytes.debug=true":
//   px.link        opens, closes, settings pushed, reconnects
//   px.link.bytes  a hex dump of every byte written and received, both transports
//   px.app         the program's exchanges and the steps of a scheduled run
#pragma once

#include <QLoggingCategory>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

Q_DECLARE_LOGGING_CATEGORY(pxLink)
Q_DECLARE_LOGGING_CATEGORY(pxLinkBytes)
Q_DECLARE_LOGGING_CATEGORY(pxApp)

namespace px::trace {

// Two upper-case hex digits per byte, separated by spaces.
std::string Hex(const std::uint8_t* data, std::size_t size);

// Dumps bytes to px.link.bytes as "<where> <direction> <count>: <hex>", 32 bytes a line; does
// nothing (not even formatting) while the category is off.
void Bytes(std::string_view where, const char* direction, const std::uint8_t* data,
           std::size_t size);

} // namespace px::trace
