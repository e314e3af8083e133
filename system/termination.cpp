#include <atomic>

#include "system/signals.h"

namespace slidesaver {
namespace {

std::atomic<bool> g_terminationRequested{false};

}  // namespace

bool TerminationRequested() { return g_terminationRequested.load(std::memory_order_relaxed); }
void RequestTermination() { g_terminationRequested.store(true, std::memory_order_relaxed); }
void ClearTerminationRequest() { g_terminationRequested.store(false, std::memory_order_relaxed); }

}  // namespace slidesaver
