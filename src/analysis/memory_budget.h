#pragma once
// The memory a batch run may hold for decoding frames, shared by its worker threads: a
// frame's reader reserves what it will allocate before it allocates it, and waits while
// other frames hold the rest. So the run's peak stays bounded whatever the number of
// threads, and a frame that alone needs more than the whole budget is refused.

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>

namespace framesifter {

class MemoryBudget {
public:
    explicit MemoryBudget(std::size_t capacity) : capacity_(capacity) {}
    std::size_t capacity() const { return capacity_; }
    // Waits until `bytes` more fit; false at once when they never can (bytes > capacity).
    bool acquire(std::size_t bytes);
    void release(std::size_t bytes);

private:
    const std::size_t capacity_;
    std::size_t used_ = 0;
    std::mutex mutex_;
    std::condition_variable freed_;
};

// What one frame's reader holds of a budget; without a budget every request is granted.
class BudgetHold {
public:
    BudgetHold() = default;
    explicit BudgetHold(MemoryBudget* budget) : budget_(budget) {}
    ~BudgetHold() { reset(); }
    BudgetHold(const BudgetHold&) = delete;
    BudgetHold& operator=(const BudgetHold&) = delete;

    void setBudget(MemoryBudget* budget) {
        reset();
        budget_ = budget;
    }
    // Makes the hold `bytes` in all. What is held is given back before waiting for the
    // larger amount, so two readers can never wait for each other. Returns false with a
    // reason naming the sizes when `bytes` exceeds the whole budget; `what` (a reason naming
    // what is read) begins it, "the frame" when empty.
    bool holdTotal(std::size_t bytes, std::string& error, const std::string& what = {});
    // Makes `bytes` a part of the hold that every later holdTotal adds to, until reset: a
    // frame's file expanded in memory stays while the frame is decoded.
    bool holdBase(std::size_t bytes, std::string& error, const std::string& what = {});
    void reset();
    std::size_t held() const { return held_; }
    MemoryBudget* budget() const { return budget_; }

private:
    MemoryBudget* budget_ = nullptr;
    std::size_t held_ = 0;
    std::size_t base_ = 0;
};

}  // namespace framesifter
