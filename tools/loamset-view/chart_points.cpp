// The chart's point lists: runs of readings between error readings, and their decimation to what a
// chart of some hundred pixels can show.
#include <algorithm>
#include <array>
#include <cmath>

#include "tools/loamset-view/dataset_snapshot.h"

namespace loamset_view {

std::vector<std::vector<ChartPoint>> SeriesRuns(const DatasetSnapshot& data, std::int32_t series) {
    std::vector<std::vector<ChartPoint>> runs;
    std::vector<ChartPoint> run;
    for (std::size_t r = 0; r < data.records.size(); ++r) {
        const ResultValue* result = data.Find(r, series);
        if (result == nullptr) continue;
        if (IsGap(result->error)) {
            if (!run.empty()) runs.push_back(std::move(run));
            run.clear();
            continue;
        }
        run.push_back({TicksToChartX(data.records[r].ticks), result->value});
    }
    if (!run.empty()) runs.push_back(std::move(run));
    return runs;
}

std::vector<std::vector<std::vector<ChartPoint>>> AllSeriesRuns(const DatasetSnapshot& data) {
    std::vector<std::vector<std::vector<ChartPoint>>> all(data.series.size());
    std::vector<std::vector<ChartPoint>> open(data.series.size());
    const auto close = [&](std::size_t s) {
        if (open[s].empty()) return;
        all[s].push_back(std::move(open[s]));
        open[s].clear();
    };
    std::vector<bool> seen(data.series.size());
    for (const RecordEntry& record : data.records) {
        const double x = TicksToChartX(record.ticks);
        // A record gives each series at most one point, as Find takes its first result.
        std::fill(seen.begin(), seen.end(), false);
        for (std::uint32_t k = 0; k < record.resultCount; ++k) {
            const ResultValue& result = data.results[record.firstResult + k];
            if (result.series < 0 || static_cast<std::size_t>(result.series) >= open.size()) continue;
            const auto s = static_cast<std::size_t>(result.series);
            if (seen[s]) continue;
            seen[s] = true;
            if (IsGap(result.error)) {
                close(s);
            } else {
                open[s].push_back({x, result.value});
            }
        }
    }
    for (std::size_t s = 0; s < open.size(); ++s) close(s);
    return all;
}

std::vector<ChartPoint> Decimate(const std::vector<ChartPoint>& run, double x0, double x1, int buckets) {
    buckets = std::max(buckets, 1);
    const auto count = static_cast<std::size_t>(buckets);
    if (run.size() <= 4 * count) return run;

    // Per bucket the indices of its first, lowest, highest and last points; npos when empty.
    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::vector<std::array<std::size_t, 4>> picks(count, {kNone, kNone, kNone, kNone});
    const double width = x1 - x0;
    for (std::size_t i = 0; i < run.size(); ++i) {
        const ChartPoint& p = run[i];
        if (!(p.x >= x0 && p.x <= x1) || std::isnan(p.y)) continue;
        std::size_t b = 0;
        if (width > 0) b = std::min(count - 1, static_cast<std::size_t>((p.x - x0) / width * buckets));
        std::array<std::size_t, 4>& pick = picks[b];
        if (pick[0] == kNone) pick = {i, i, i, i};
        if (p.y < run[pick[1]].y) pick[1] = i;
        if (p.y > run[pick[2]].y) pick[2] = i;
        pick[3] = i;
    }
    std::vector<ChartPoint> kept;
    kept.reserve(4 * count);
    for (std::array<std::size_t, 4>& pick : picks) {
        if (pick[0] == kNone) continue;
        std::sort(pick.begin(), pick.end());
        for (std::size_t k = 0; k < pick.size(); ++k) {
            if (k == 0 || pick[k] != pick[k - 1]) kept.push_back(run[pick[k]]);
        }
    }
    return kept;
}

}  // namespace loamset_view
