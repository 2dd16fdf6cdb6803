#include "selector_state.h"

#include "fft.h"

int CreateSelectorState(SelectorState& state) {
    const int n = state.FftSize = 256;
    double* lineIm = nullptr;
    double* lineRe = nullptr;
    double* sine = nullptr;
    std::int32_t* bitrev = nullptr;
    int failed = AllocIntPlane(kTableBins, kMaxFiles, state.ProfileTable);
    failed |= AllocIntPlane(n, n, state.FrameWindow);
    failed |= AllocRealPlane(n, n, state.SpecRe);
    failed |= AllocRealPlane(n, n, state.SpecIm);
    failed |= AllocRealPlane(n, n, state.ShiftTemp);
    failed |= AllocRealLine(n, lineIm);
    state.LineIm.reset(lineIm);
    failed |= AllocRealLine(n, lineRe);
    state.LineRe.reset(lineRe);
    failed |= AllocIndexTable(n, bitrev);
    state.BitReverseTable.reset(bitrev);
    failed |= AllocRealLine(int(n * 1.25), sine);
    state.sintbl.reset(sine);
    state.TablesBuilt = false;

    state.BandHigh = 50;
    state.BandLow = 25;
    state.GraphScale = 0.1;
    return failed ? 1 : 0;
}

void BuildFftTables(SelectorState& state) {
    BuildSineTable(state.FftSize, state.sintbl.get());
    BuildBitReverseTable(state.FftSize, state.BitReverseTable.get());
    state.TablesBuilt = true;
}
