#pragma once
// Everything the frame analysis produces and the selector shows and acts on.
// Allocated once, when the selector is created; nothing in it is released before exit.

#include "planes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

constexpr int kProfileBins = 400;
constexpr int kTableBins = 256;    // rows of ProfileTable
constexpr int kMaxFiles = 4000;    // columns of ProfileTable

struct SelectorState {
    int FftSize = 256;
    int BandLow = 25;
    int BandHigh = 50;
    double GraphScale = 0.1;

    IntPlane ProfileTable;   // [bin][file], 256 x 4000
    IntPlane FrameWindow;    // [x][y], N x N
    RealPlane SpecRe, SpecIm, ShiftTemp;
    std::unique_ptr<double[]> LineRe, LineIm;          // N each
    std::unique_ptr<std::int32_t[]> BitReverseTable;   // N
    std::unique_ptr<double[]> sintbl;                  // N + N/4
    bool TablesBuilt = false;

    double Profile[kProfileBins] = {};
    double ProfileAvg[kProfileBins] = {};
    double ProfileMax[kProfileBins] = {};
    double ProfileMin[kProfileBins] = {};
    double ProfileTotal = 0;
    double TotalMax = 0;
    double TotalMin = 0;

    // The files whose columns of ProfileTable hold results of a run that went to its end,
    // in list order. Empty when no run has completed since the state was created, or
    // when the last run stopped at a failing frame.
    std::vector<std::string> AnalysedFiles;
};

// Allocates every array zero-filled and sets the fixed initial values.
// Returns 0, or 1 when an array cannot be allocated (the state must then not be used).
int CreateSelectorState(SelectorState& state);

// Builds the FFT tables for state.FftSize (idempotent).
void BuildFftTables(SelectorState& state);
