// The tests compare scores with the seeing each demo frame was given, so they need the
// generator itself; the test program links only the engine libraries.
#include "../../src/cli/demo_frames.cpp"
