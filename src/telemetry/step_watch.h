// Work that may block on a system service without end (WMI on a machine
// whose service is broken), run where a stalled step cannot stall the
// caller.
#pragma once
#include <functional>

namespace tov {

// What the work calls each time it has come through a blocking call.
using StepDone = std::function<void()>;

// Runs `work` on a thread of its own and waits while it advances: at most
// `stepTimeoutMs` for each StepDone call, and for the end after the last
// one. True when the work ended in time (an exception out of it counts as
// its end). False when one wait ran out; the thread is then left to finish
// or not on its own, so everything it touches must be owned by it.
bool RunWithStepTimeout(std::function<void(const StepDone&)> work, unsigned stepTimeoutMs);

}  // namespace tov
