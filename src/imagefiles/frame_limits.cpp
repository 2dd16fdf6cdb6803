#include "frame_limits.h"
#include "reason.h"

namespace framesifter {

std::string TooLargeReason(long long width, long long height) {
    return Reason(ReasonKind::TooLarge, {width, height, kMaxFrameSide, kMaxFrameSide});
}

}  // namespace framesifter
