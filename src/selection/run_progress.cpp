#include "run_progress.h"

#include <QMetaObject>
#include <QTimer>

namespace framesifter {

RunProgress::RunProgress(int interval, QObject* parent)
    : QObject(parent), timer_(new QTimer(this)) {
    timer_->setInterval(interval);
    connect(timer_, &QTimer::timeout, this, &RunProgress::update);
}

// Each step of a run lands here: a store, never a signal, so that steps cost the run nothing.
void RunProgress::setPosition(int percent) { percent_.store(percent, std::memory_order_relaxed); }

void RunProgress::setCount(int done, int total) {
    done_.store(done, std::memory_order_relaxed);
    total_.store(total, std::memory_order_relaxed);
}

void RunProgress::wake() {
    if (woken_.exchange(true)) return;
    // Delivered on this object's thread; dropped if the object is gone by then.
    QMetaObject::invokeMethod(
        this,
        [this] {
            woken_ = false;
            emit update();
        },
        Qt::QueuedConnection);
}

void RunProgress::start(int total) {
    percent_ = 0;
    done_ = 0;
    total_ = total;
    timer_->start();
}

void RunProgress::stop() { timer_->stop(); }

}  // namespace framesifter
