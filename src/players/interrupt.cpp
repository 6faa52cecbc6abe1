#include "players/interrupt.hpp"

namespace corvanta {
namespace {

thread_local InterruptCheck t_check = nullptr;

}  // namespace

InterruptScope::InterruptScope(InterruptCheck check) noexcept : previous_(t_check) { t_check = check; }

InterruptScope::~InterruptScope() { t_check = previous_; }

bool interrupt_requested() { return t_check != nullptr && t_check(); }

}  // namespace corvanta
