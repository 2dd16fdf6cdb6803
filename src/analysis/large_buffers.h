#pragma once
// How the C library hands back large blocks: a setting of the whole process, so a program's
// main() chooses it, never a library.

namespace framesifter {

// glibc raises its threshold for serving allocations from fresh mappings after each large
// free, up to 32 MiB; below it, what a thread frees stays in that thread's arena. A batch
// run's frame buffers are freed after each frame, so they must go back to the system then,
// or eight threads keep eight frames' worth of memory. Fixes the threshold at 4 MiB, the size
// of the buffers a reader keeps. Call once, before any thread starts; elsewhere than glibc it
// does nothing.
void ReturnLargeBuffersToTheSystem();

}  // namespace framesifter
