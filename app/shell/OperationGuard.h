// One operation at a time on the link: a window handler that talks to a terminal takes the
// guard, and while it is held the other device controls are disabled and closing is refused.
// Frames of two operations would otherwise interleave on one link, since every wait pumps events.
#pragma once

#include "Core.h"

namespace px {

class OperationGuard {
public:
    explicit OperationGuard(Core& core) : core_(core)
    {
        if (core_.state().operationRunning) return;
        held_ = true;
        core_.state().operationRunning = true;
        core_.view().SetOperationRunning(true);
    }
    ~OperationGuard()
    {
        if (!held_) return;
        core_.state().operationRunning = false;
        core_.view().SetOperationRunning(false);
    }
    OperationGuard(const OperationGuard&) = delete;
    OperationGuard& operator=(const OperationGuard&) = delete;

    // False when another operation already holds the link: the caller does nothing.
    explicit operator bool() const { return held_; }

private:
    Core& core_;
    bool held_ = false;
};

} // namespace px
