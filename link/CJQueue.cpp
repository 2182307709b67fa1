#include "CJQueue.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace serlo {

CJQueue::CJQueue(int capacity)
{
    Create(capacity);
}

void CJQueue::Create(int capacity)
{
    std::lock_guard guard(lock_);
    buffer_.reset();
    capacity_ = write_ = read_ = count_ = 0;
    if (capacity <= 0) return;
    buffer_.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(capacity)]);
    if (buffer_) capacity_ = capacity;
}

int CJQueue::Push(const std::uint8_t* data, int length)
{
    std::lock_guard guard(lock_);
    int copied = 0;
    while (copied < length && count_ < capacity_) {
        const int run = std::min({length - copied, capacity_ - count_, capacity_ - write_});
        std::memcpy(buffer_.get() + write_, data + copied, static_cast<std::size_t>(run));
        write_ = (write_ + run) % capacity_;
        count_ += run;
        copied += run;
    }
    return copied;
}

std::uint8_t CJQueue::TakeByte()
{
    std::uint8_t byte = 0;
    Take(&byte, 1);
    return byte;
}

int CJQueue::Take(std::uint8_t* data, int length)
{
    std::lock_guard guard(lock_);
    int taken = 0;
    while (taken < length && count_ > 0) {
        const int run = std::min({length - taken, count_, capacity_ - read_});
        std::memcpy(data + taken, buffer_.get() + read_, static_cast<std::size_t>(run));
        read_ = (read_ + run) % capacity_;
        count_ -= run;
        taken += run;
    }
    return taken;
}

void CJQueue::Clear()
{
    std::lock_guard guard(lock_);
    write_ = read_ = count_ = 0;
}

int CJQueue::Count() const
{
    std::lock_guard guard(lock_);
    return count_;
}

int CJQueue::Capacity() const
{
    std::lock_guard guard(lock_);
    return capacity_;
}

int CJQueue::Free() const
{
    std::lock_guard guard(lock_);
    return capacity_ - count_;
}

} // namespace serlo
