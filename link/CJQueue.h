// Receive ring buffer of a link: filled by the serial reader thread (or the socket handler) and
// emptied by the control's thread. Every operation holds the one lock, so a reader of the count
// never sees a half-finished push.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

namespace serlo {

class CJQueue {
public:
    explicit CJQueue(int capacity = 1024);

    // Frees the old storage and allocates a new one; the content is discarded. A capacity that
    // cannot be allocated (or is not positive) leaves a ring of capacity 0.
    void Create(int capacity);

    // Copies as much as fits; returns the count copied (the rest is dropped by the caller).
    int Push(const std::uint8_t* data, int length);
    // Next byte, or 0 when the ring is empty.
    std::uint8_t TakeByte();
    // Takes up to length bytes; returns the count taken.
    int Take(std::uint8_t* data, int length);
    void Clear();

    int Count() const;
    int Capacity() const;
    int Free() const;

private:
    mutable std::mutex lock_;
    std::unique_ptr<std::uint8_t[]> buffer_;
    int capacity_ = 0;
    int write_ = 0;
    int read_ = 0;
    int count_ = 0;
};

} // namespace serlo
