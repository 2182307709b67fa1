#include "Trace.h"

#include <algorithm>

// Warnings and above only: every trace line is a debug message, so all are off by default.
Q_LOGGING_CATEGORY(pxLink, "px.link", QtWarningMsg)
Q_LOGGING_CATEGORY(pxLinkBytes, "px.link.bytes", QtWarningMsg)
Q_LOGGING_CATEGORY(pxApp, "px.app", QtWarningMsg)

namespace px::trace {

namespace {

constexpr std::size_t kBytesPerLine = 32;

} // namespace

std::string Hex(const std::uint8_t* data, std::size_t size)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(size * 3);
    for (std::size_t i = 0; i < size; ++i) {
        if (i) out += ' ';
        out += kDigits[data[i] >> 4];
        out += kDigits[data[i] & 0x0F];
    }
    return out;
}

void Bytes(std::string_view where, const char* direction, const std::uint8_t* data,
           std::size_t size)
{
    if (!pxLinkBytes().isDebugEnabled() || size == 0) return;
    for (std::size_t at = 0; at < size; at += kBytesPerLine) {
        const std::size_t n = std::min(kBytesPerLine, size - at);
        const std::string line = std::string(where) + " " + direction + " " + std::to_string(size) +
                                 (at ? " +" + std::to_string(at) : "") + ": " + Hex(data + at, n);
        qCDebug(pxLinkBytes).noquote() << line.c_str();
    }
}

} // namespace px::trace
