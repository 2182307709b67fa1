#include "RunPart.h"

#include <utility>

namespace px {

RunPart::RunPart(std::function<void()> wakeWriter) : wakeWriter_(std::move(wakeWriter)) {}

void RunPart::Push(PartItem item)
{
    {
        const std::lock_guard lock(mutex_);
        if (item.kind == PartItem::Kind::Record) ++records_;
        items_.push_back(std::move(item));
        ++pushed_;
    }
    if (wakeWriter_) wakeWriter_();
}

void RunPart::Log(std::string line, bool silent)
{
    PartItem item;
    item.kind = silent ? PartItem::Kind::Silent : PartItem::Kind::Log;
    item.text = std::move(line);
    Push(std::move(item));
}

std::size_t RunPart::Pushed() const
{
    const std::lock_guard lock(mutex_);
    return pushed_;
}

bool RunPart::HandledUpTo(std::size_t upTo) const
{
    const std::lock_guard lock(mutex_);
    return handled_ >= upTo;
}

std::size_t RunPart::RecordBacklog() const
{
    const std::lock_guard lock(mutex_);
    return records_;
}

PartResult RunPart::Result() const
{
    const std::lock_guard lock(mutex_);
    return result_;
}

bool RunPart::Failed() const
{
    const std::lock_guard lock(mutex_);
    return result_.failed;
}

void RunPart::Acknowledge()
{
    const std::lock_guard lock(mutex_);
    acknowledged_ = true;
}

void RunPart::Finish()
{
    {
        const std::lock_guard lock(mutex_);
        finished_ = true;
    }
    if (wakeWriter_) wakeWriter_();
}

std::vector<PartItem> RunPart::Take(std::size_t max, bool& drop)
{
    const std::lock_guard lock(mutex_);
    drop = result_.failed && !acknowledged_;
    std::vector<PartItem> out;
    while (!items_.empty() && out.size() < max) {
        if (items_.front().kind == PartItem::Kind::Record) --records_;
        out.push_back(std::move(items_.front()));
        items_.pop_front();
    }
    taken_ = out.size();
    return out;
}

void RunPart::Handled(std::size_t count, const std::function<void(PartResult&)>& change)
{
    {
        const std::lock_guard lock(mutex_);
        const bool wasFailed = result_.failed;
        if (change) change(result_);
        // A failure found now drops what the poll sends until it has seen the failure.
        if (result_.failed && !wasFailed) acknowledged_ = false;
        handled_ += count;
        taken_ = 0;
    }
    if (wakePoll_) wakePoll_();
}

bool RunPart::Done() const
{
    const std::lock_guard lock(mutex_);
    return finished_ && items_.empty() && taken_ == 0;
}

bool RunPart::Started() const
{
    const std::lock_guard lock(mutex_);
    return started_;
}

void RunPart::SetStarted()
{
    const std::lock_guard lock(mutex_);
    started_ = true;
}

} // namespace px
