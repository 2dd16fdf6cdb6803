#pragma once
// How far work on another thread has got, for a window to show. The work reports every step;
// the window hears of them at a bounded rate however many there are, and of the work's end
// or question at once.

#include "progress.h"

#include <QObject>

#include <atomic>

class QTimer;

namespace framesifter {

class RunProgress : public QObject, public ProgressSink {
    Q_OBJECT
public:
    // `interval`: ms between looks while the work goes on.
    explicit RunProgress(int interval, QObject* parent = nullptr);

    // From any thread.
    void setPosition(int percent) override;
    void setCount(int done, int total) override;
    // The work has ended or waits for an answer: one `update` soon, however many wakes come
    // before it is delivered.
    void wake();

    int percent() const { return percent_.load(std::memory_order_relaxed); }
    int done() const { return done_.load(std::memory_order_relaxed); }
    int total() const { return total_.load(std::memory_order_relaxed); }

    // On this object's thread: nothing done of `total`, and a look every interval until stop().
    void start(int total);
    void stop();

signals:
    // Time to look: every interval while started, and after wake().
    void update();

private:
    QTimer* timer_;
    std::atomic<int> percent_{0};
    std::atomic<int> done_{0};
    std::atomic<int> total_{0};
    std::atomic<bool> woken_{false};
};

}  // namespace framesifter
