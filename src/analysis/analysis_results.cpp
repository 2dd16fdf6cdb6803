#include "analysis_results.h"

namespace framesifter {

bool CreateAnalysisResults(AnalysisResults& results, int columns, std::string& error) {
    if (AllocIntPlane(kTableBins, columns, results.profileTable)) return true;
    error = "not enough memory for the table of " + std::to_string(columns) + " frames";
    return false;
}

bool CreateAnalysisResults(AnalysisResults& results, std::string& error) {
    return CreateAnalysisResults(results, kMaxFiles, error);
}

}  // namespace framesifter
