#pragma once

namespace framesifter {

// Where a long run reports how far it has got. The selector window's progress bar and
// the command-line tool's bar both implement it.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    // 0..100, set before each item is started.
    virtual void setPosition(int percent) = 0;
    // `done` of `total` items are finished; for sinks that show a count.
    virtual void setCount(int /*done*/, int /*total*/) {}
};

}  // namespace framesifter
