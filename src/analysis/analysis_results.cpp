#include "analysis_results.h"

namespace framesifter {

bool CreateAnalysisResults(AnalysisResults& results, std::string& error) {
    if (AllocIntPlane(kTableBins, kMaxFiles, results.profileTable)) return true;
    error = "not enough memory for the table of " + std::to_string(kMaxFiles) + " frames";
    return false;
}

}  // namespace framesifter
