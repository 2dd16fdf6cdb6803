#include "memory_budget.h"
#include "reason.h"

namespace framesifter {

bool MemoryBudget::acquire(std::size_t bytes) {
    if (bytes > capacity_) return false;
    std::unique_lock<std::mutex> lock(mutex_);
    freed_.wait(lock, [&] { return capacity_ - used_ >= bytes; });
    used_ += bytes;
    return true;
}

void MemoryBudget::release(std::size_t bytes) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        used_ -= bytes;
    }
    freed_.notify_all();
}

bool BudgetHold::holdTotal(std::size_t bytes, std::string& error, const std::string& what) {
    if (!budget_) return true;
    bytes += base_;
    if (bytes <= held_) return true;
    const std::size_t mib = 1024 * 1024;
    if (bytes > budget_->capacity()) {
        error =
            Reason(ReasonKind::NeedsMemory, {what.empty() ? Reason(ReasonKind::TheFrame) : what,
                                             (bytes + mib - 1) / mib, budget_->capacity() / mib});
        return false;
    }
    // The base stays: only what is held is given back before waiting.
    if (held_ > 0) budget_->release(held_);
    held_ = 0;
    budget_->acquire(bytes);
    held_ = bytes;
    return true;
}

bool BudgetHold::holdBase(std::size_t bytes, std::string& error, const std::string& what) {
    base_ = 0;
    if (!holdTotal(bytes, error, what)) return false;
    base_ = bytes;
    return true;
}

void BudgetHold::reset() {
    if (budget_ && held_ > 0) budget_->release(held_);
    held_ = 0;
    base_ = 0;
}

}  // namespace framesifter
