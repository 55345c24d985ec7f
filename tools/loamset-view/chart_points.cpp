// The chart's point lists: runs of readings between error readings, and their decimation to what a
// chart of some hundred pixels can show.
#include <algorithm>
#include <array>
#include <cmath>

#include "tools/loamset-view/dataset_snapshot.h"

namespace loamset_view {

SeriesRunList SeriesRuns(const DatasetSnapshot& data, std::int32_t series) {
    SeriesRunList runs;
    std::vector<ChartPoint> run;
    for (std::size_t r = 0; r < data.records.size(); ++r) {
        const ResultValue* result = data.Find(r, series);
        if (result == nullptr) continue;
        if (IsGap(result->error) || !std::isfinite(result->value)) {
            if (!run.empty()) runs.push_back(std::move(run));
            run.clear();
            continue;
        }
        run.push_back({TicksToChartX(data.records[r].ticks), result->value});
    }
    if (!run.empty()) runs.push_back(std::move(run));
    return runs;
}

std::vector<SeriesRunList> AllSeriesRuns(const DatasetSnapshot& data) {
    std::vector<SeriesRunList> all(data.series.size());
    std::vector<std::vector<ChartPoint>> open(data.series.size());  // each series' run in progress
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
            if (IsGap(result.error) || !std::isfinite(result.value)) {
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
    return DecimateRuns({&run}, x0, x1, buckets);
}

std::vector<ChartPoint> DecimateRuns(const std::vector<const std::vector<ChartPoint>*>& runs, double x0, double x1,
                                     int buckets) {
    buckets = std::max(buckets, 1);
    const auto count = static_cast<std::size_t>(buckets);
    std::size_t total = 0;
    for (const auto* run : runs) total += run->size();
    std::vector<ChartPoint> kept;
    if (total <= 4 * count) {
        kept.reserve(total);
        for (const auto* run : runs) kept.insert(kept.end(), run->begin(), run->end());
        return kept;
    }

    // Per bucket the places (run, index) of its first, lowest, highest and last points.
    struct Place {
        std::size_t run = 0;
        std::size_t index = 0;
        bool operator<(const Place& other) const {
            return run != other.run ? run < other.run : index < other.index;
        }
        bool operator==(const Place& other) const { return run == other.run && index == other.index; }
    };
    struct Pick {
        bool used = false;
        double low = 0.0;
        double high = 0.0;
        std::array<Place, 4> places{};
    };
    std::vector<Pick> picks(count);
    const double width = x1 - x0;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        const std::vector<ChartPoint>& run = *runs[r];
        for (std::size_t i = 0; i < run.size(); ++i) {
            const ChartPoint& p = run[i];
            if (!(p.x >= x0 && p.x <= x1) || std::isnan(p.y)) continue;
            std::size_t b = 0;
            if (width > 0) b = std::min(count - 1, static_cast<std::size_t>((p.x - x0) / width * buckets));
            Pick& pick = picks[b];
            const Place here{r, i};
            if (!pick.used) {
                pick = {true, p.y, p.y, {here, here, here, here}};
                continue;
            }
            if (p.y < pick.low) {
                pick.low = p.y;
                pick.places[1] = here;
            }
            if (p.y > pick.high) {
                pick.high = p.y;
                pick.places[2] = here;
            }
            pick.places[3] = here;
        }
    }
    kept.reserve(4 * count);
    for (Pick& pick : picks) {
        if (!pick.used) continue;
        std::sort(pick.places.begin(), pick.places.end());
        for (std::size_t k = 0; k < pick.places.size(); ++k) {
            const Place& place = pick.places[k];
            if (k == 0 || !(place == pick.places[k - 1])) kept.push_back((*runs[place.run])[place.index]);
        }
    }
    return kept;
}

}  // namespace loamset_view
