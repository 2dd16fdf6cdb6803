#include "analysis_results.h"
#include "reason.h"

#include <new>

namespace framesifter {

bool CreateAnalysisResults(AnalysisResults& results, int columns, std::string& error) {
    std::string reason;
    if (AllocIntPlane(kTableBins, columns, results.profileTable, reason)) {
        try {
            results.exactBins.assign(std::size_t(columns) * kExactBins, 0.0f);
            return true;
        } catch (const std::bad_alloc&) {
            results.profileTable.release();
        }
    }
    // The table's own words: the plane's shape means nothing to the user.
    error = Reason(ReasonKind::NoMemoryTable, {columns});

    return false;
}

bool CreateAnalysisResults(AnalysisResults& results, std::string& error) {
    return CreateAnalysisResults(results, kMaxFiles, error);
}

}  // namespace framesifter
