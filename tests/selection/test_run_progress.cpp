#include "run_progress.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

using namespace framesifter;

namespace {

// The event loop that delivers the updates, as the window's thread has it.
class RunProgressTest : public ::testing::Test {
protected:
    int argc_ = 1;
    char name_[16] = "run_progress";
    char* argv_[2] = {name_, nullptr};
    QCoreApplication app_{argc_, argv_};

    // Runs the loop until `until` holds or `limit` ms have passed; the ms taken.
    template <class Until>
    qint64 Loop(Until until, int limit) {
        QElapsedTimer clock;
        clock.start();
        while (!until() && clock.elapsed() < limit)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return clock.elapsed();
    }
};

// However many steps a run reports, the window looks once per interval, and once more for
// the end: never once per step.
TEST_F(RunProgressTest, UpdatesFollowTheClockNotTheSteps) {
    const int kInterval = 20;
    for (int steps : {10, 100000, 3000000}) {
        RunProgress progress(kInterval);
        int updates = 0;
        QObject::connect(&progress, &RunProgress::update, [&] { ++updates; });
        progress.start(steps);
        std::atomic<bool> ended{false};
        QElapsedTimer clock;
        clock.start();
        std::thread work([&] {
            for (int k = 0; k < steps; ++k) {
                progress.setPosition(int(double(k) / steps * 100));
                progress.setCount(k + 1, steps);
            }
            ended = true;
            progress.wake();
        });
        Loop([&] { return ended.load(); }, 60000);
        work.join();
        const int before = updates;
        Loop([&] { return updates > before; }, 5000);
        const qint64 elapsed = clock.elapsed();
        progress.stop();
        EXPECT_LE(updates, elapsed / kInterval + 2) << steps << " steps in " << elapsed << " ms";
        EXPECT_EQ(progress.done(), steps);
        EXPECT_EQ(progress.total(), steps);
        EXPECT_EQ(progress.percent(), int(double(steps - 1) / steps * 100));
    }
}

// The end (or a question) is heard at once, not at the next look, which may be far off.
TEST_F(RunProgressTest, WakeIsHeardBeforeTheNextLook) {
    RunProgress progress(3600 * 1000);
    int updates = 0;
    QObject::connect(&progress, &RunProgress::update, [&] { ++updates; });
    progress.start(5);
    std::thread work([&] {
        progress.setCount(5, 5);
        progress.wake();
        progress.wake();  // a second wake before the first is heard adds nothing
    });
    work.join();
    Loop([&] { return updates > 0; }, 5000);
    Loop([] { return false; }, 50);
    EXPECT_EQ(updates, 1);
    EXPECT_EQ(progress.done(), 5);
    // Started again: nothing done yet.
    progress.start(7);
    EXPECT_EQ(progress.done(), 0);
    EXPECT_EQ(progress.total(), 7);
}

}  // namespace
