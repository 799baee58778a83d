#include "support/removed_on_interrupt.hpp"

namespace tavrin {

// Windows cannot remove a file another thread holds open, and Ctrl+C ends the process from a
// thread of its own: an interrupted run there may leave its part file, as README says.
RemovedOnInterrupt::RemovedOnInterrupt(const std::string&) {}

RemovedOnInterrupt::~RemovedOnInterrupt() = default;

}  // namespace tavrin
