#pragma once

namespace framesifter {

// Where a long run reports how far it has got. The selector window's progress bar and
// the command-line tool's bar both implement it.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    // 0..100, set before each item is started.
    virtual void setPosition(int percent) = 0;
};

}  // namespace framesifter
