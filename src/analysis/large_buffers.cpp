#include "large_buffers.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace framesifter {

void ReturnLargeBuffersToTheSystem() {
#if defined(__GLIBC__)
    // A refusal leaves glibc's own sliding threshold: the program runs, with a larger peak.
    (void)mallopt(M_MMAP_THRESHOLD, 4 << 20);
#endif
}

}  // namespace framesifter
