#include "analysis_results.h"
#include "reason.h"

#include <algorithm>
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

void KeepResultColumns(AnalysisResults& results, const std::vector<int>& kept) {
    const int columns = results.profileTable.second();
    const int exactFrames = int(results.exactBins.size() / kExactBins);
    std::vector<int> newIndex(results.files.size(), -1);
    for (std::size_t k = 0; k < kept.size(); ++k) newIndex[std::size_t(kept[k])] = int(k);
    // Kept positions rise, so each row moves down or stays: one pass in place.
    for (std::size_t k = 0; k < kept.size(); ++k) {
        const int from = kept[k];
        const int to = int(k);
        if (from == to) continue;
        if (from < columns)
            for (int bin = 0; bin < results.profileTable.first(); ++bin)
                results.profileTable[bin][to] = results.profileTable[bin][from];
        if (from < exactFrames)
            std::copy_n(results.exactBins.begin() + std::ptrdiff_t(from) * kExactBins, kExactBins,
                        results.exactBins.begin() + std::ptrdiff_t(to) * kExactBins);
        results.files[k] = results.files[std::size_t(from)];
        if (std::size_t(from) < results.flags.size())
            results.flags[k] = results.flags[std::size_t(from)];
    }
    // What lies beyond the kept rows reads as no frame.
    for (int bin = 0; bin < results.profileTable.first(); ++bin)
        std::fill(results.profileTable[bin] + std::min(int(kept.size()), columns),
                  results.profileTable[bin] + columns, 0);
    if (int(kept.size()) < exactFrames)
        std::fill(results.exactBins.begin() + std::ptrdiff_t(kept.size()) * kExactBins,
                  results.exactBins.end(), 0.0f);
    results.files.resize(kept.size());
    if (results.flags.size() > kept.size()) results.flags.resize(kept.size());

    std::map<int, std::array<double, kTableBins>> exact;
    for (auto& [index, column] : results.exactColumns)
        if (index >= 0 && std::size_t(index) < newIndex.size() && newIndex[std::size_t(index)] >= 0)
            exact.emplace(newIndex[std::size_t(index)], column);
    results.exactColumns = std::move(exact);

    std::vector<LeftOutFrame> leftOut;
    for (LeftOutFrame& f : results.leftOut)
        if (f.index >= 0 && std::size_t(f.index) < newIndex.size() &&
            newIndex[std::size_t(f.index)] >= 0) {
            f.index = newIndex[std::size_t(f.index)];
            leftOut.push_back(std::move(f));
        }
    results.leftOut = std::move(leftOut);
}

}  // namespace framesifter
