// The viewer core's share of "time to first chart" on a generated data record file, against the
// dataset component's Open alone on the same file, both through the module as the viewer loads it:
//   (a) create the object and Open the file
//   (b) LoadDataset, then AllSeriesRuns and Decimate(..., 1600 buckets) for every series with units
//   (c) with the window's parts built: LoadFile (the worker's load and runs) and the chart of every
//       series with units drawn once into a 1200x700 image, as `loamset-view --export-png` does
// Prints the wall-clock times, their ratios to (a) and the peak resident size. No limits.
//   bench_viewer [MEGABYTES]   (default 100; the file is made in a scratch folder and removed)
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/readings_file.h"
#include "comrt/comrt.h"
#include "loamset/kxdataset.h"
#include "tools/loamset-view/dataset_snapshot.h"
#ifdef LOAMSET_BENCH_CHART
#include <QApplication>

#include "tools/loamset-view/chart_export.h"
#include "tools/loamset-view/readings_chart.h"
#endif

namespace {

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// (a): what the component alone takes before anything can be drawn.
int OpenOnly(const std::string& path) {
    IKXDataset* dataset = nullptr;
    if (FAILED(ComrtCreateInstanceFromModule(LOAMSET_MODULE, CLSID_TQ4Dataset, nullptr, IID_IKXDataset,
                                             reinterpret_cast<void**>(&dataset)))) {
        std::fprintf(stderr, "cannot create the object from %s\n", LOAMSET_MODULE);
        std::exit(1);
    }
    const std::u16string name(path.begin(), path.end());
    _KXHEADERCAPS caps{};
    _KXHEADERCAPSEX capsEx{};
    _KXHeader header{};
    if (dataset->Open(name.c_str(), &caps, &capsEx, &header) != S_OK) {
        std::fprintf(stderr, "Open failed\n");
        std::exit(1);
    }
    dataset->Release();
    return header.nRecords;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace loamset_view;
    const long megabytes = argc > 1 ? std::atol(argv[1]) : 100;
    char folder[] = "/tmp/bench_viewer.XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string path = std::string(folder) + "/readings.csv";
    loamer::bench::MakeFile(path, megabytes * 1000 * 1000);

    auto start = std::chrono::steady_clock::now();
    const int opened = OpenOnly(path);
    const double open = Seconds(start);

    start = std::chrono::steady_clock::now();
    DatasetSnapshot data;
    const LoadOutcome outcome = LoadDataset(path, ComponentSource{LOAMSET_MODULE}, data);
    if (!outcome.ok()) {
        std::fprintf(stderr, "%s\n", DescribeFailure(path, outcome).c_str());
        return 1;
    }
    const double load = Seconds(start);
    std::int64_t first = data.records.empty() ? 0 : data.records.front().ticks;
    std::int64_t last = first;
    for (const RecordEntry& r : data.records) {
        first = std::min(first, r.ticks);
        last = std::max(last, r.ticks);
    }
    std::size_t charted = 0, runs = 0, points = 0;
    const auto allRuns = AllSeriesRuns(data);
    for (std::size_t s = 0; s < data.series.size(); ++s) {
        if (data.series[s].units.empty()) continue;
        ++charted;
        for (const auto& run : allRuns[s]) {
            ++runs;
            points += Decimate(run, TicksToChartX(first), TicksToChartX(last), 1600).size();
        }
    }
    const double chart = Seconds(start);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);

    std::printf("file of %ld MB: %d records (%zu loaded), %zu series, %zu results\n", megabytes, opened,
                data.records.size(), data.series.size(), data.results.size());
    std::printf("snapshot: %.1f MB (records %zu B, results %zu B each)\n",
                static_cast<double>(data.records.capacity() * sizeof(RecordEntry) +
                                    data.results.capacity() * sizeof(ResultValue)) / 1e6,
                sizeof(RecordEntry), sizeof(ResultValue));
    std::printf("charted %zu series with units: %zu runs, %zu points after decimation\n", charted, runs, points);
    std::printf("(a) Open alone                          %7.3f s\n", open);
    std::printf("(b) LoadDataset                         %7.3f s\n", load);
    std::printf("(b) LoadDataset + runs + Decimate     %7.3f s   (b)/(a) %.2f\n", chart, chart / open);
    std::printf("peak resident size after (b)            %7.1f MB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
#ifdef LOAMSET_BENCH_CHART
    data = DatasetSnapshot{};
    {
        PinTimeZoneToUtc();
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication application(argc, argv);
        start = std::chrono::steady_clock::now();
        LoadOutcome loaded;
        const std::shared_ptr<const LoadedFile> file = LoadFile(path, ComponentSource{LOAMSET_MODULE}, loaded);
        if (!file || !loaded.ok()) {
            std::fprintf(stderr, "%s\n", DescribeFailure(path, loaded).c_str());
            return 1;
        }
        const double load2 = Seconds(start);
        const QByteArray image =
            RenderChart(file, SeriesWithUnits(file->data), QSize(1200, 700), ImageFormat::Png);
        const double drawn = Seconds(start);
        getrusage(RUSAGE_SELF, &usage);
        std::printf("(c) LoadFile                            %7.3f s\n", load2);
        std::printf("(c) LoadFile + chart drawn (%lld B PNG) %7.3f s   (c)/(a) %.2f\n",
                    static_cast<long long>(image.size()), drawn, drawn / open);
        std::printf("peak resident size after (c)            %7.1f MB\n",
                    static_cast<double>(usage.ru_maxrss) / 1024.0);
    }
#endif
    std::remove(path.c_str());
    rmdir(folder);
    return 0;
}
