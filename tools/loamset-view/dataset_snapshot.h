// The viewer's copy of a data record file as the dataset component reads it: plain C++, no Qt, so
// that loading, the CSV export and the chart's point lists are tested without a window.
//
// The viewer is a client of the component like any other program: it creates the object by its
// ProgID through the component runtime (or from a module file given on the command line) and reads
// with Open, EnumSeries and ReadRecord only.
//
// Times are the meter's wall-clock times, without a time zone: they are kept as FILETIME ticks
// (100 ns since 1601-01-01) and shown exactly as the file holds them, whatever the computer's zone.
#ifndef LOAMSET_VIEW_DATASET_SNAPSHOT_H
#define LOAMSET_VIEW_DATASET_SNAPSHOT_H

#include <atomic>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace loamset_view {

// One series as EnumSeries reports it, the strings copied out of the object.
struct SeriesInfo {
    std::string channel;     // sensor depth text, "" when none
    std::string sensorName;  // "<plot>.<quantity>", e.g. "1.VWC"
    std::string sensorType;  // the data set's device text, e.g. "VP4"
    std::string units;       // "" for counters such as Sample

    std::string Plot() const;      // the text before the first '.', "" when none
    std::string Quantity() const;  // the text after the first '.', the whole name when none
    // "VP4 1.VWC 0100" (type, sensor name, channel; empty parts left out): unique within a file
    // as far as the file's own titles are.
    std::string DisplayName() const;
};

// One result of a record: the series it belongs to, its _KXRESERROR value and its number.
struct ResultValue {
    std::int32_t series = 0;
    std::uint32_t error = 0;
    double value = 0.0;
};

struct RecordEntry {
    std::int64_t ticks = 0;          // the record's time
    std::uint32_t firstResult = 0;   // index into DatasetSnapshot::results
    std::uint32_t resultCount = 0;
};

enum class Severity { None, Information, Warning, Error, Fatal };

// The severity of a _KXRESERROR value; None for 0.
Severity SeverityOf(std::uint32_t error);
// A result has a number unless its severity is fatal.
bool HasValue(std::uint32_t error);
// The chart leaves a gap for a result of severity Error or Fatal: its number is not a reading.
bool IsGap(std::uint32_t error);
// Words for a result's code ("unknown", "above the table", ...); "" for 0.
std::string ErrorText(std::uint32_t error);

struct DatasetSnapshot {
    std::string file;                 // as given by the user (UTF-8)
    int dateOrder = 0;                // _KXHeader::nLocale
    std::int64_t firstRecordTicks = 0;
    std::vector<SeriesInfo> series;
    std::vector<RecordEntry> records;
    std::vector<ResultValue> results;  // every record's results, record after record

    // The result of `series` in record `record`, or null when the record has none for it.
    const ResultValue* Find(std::size_t record, std::int32_t series) const;
};

// Where the component is found: by ProgID through the classes root (the default), or from the
// module file at `modulePath` when it is not empty.
struct ComponentSource {
    std::string modulePath;
};

// Called from the loading thread after Open, every few hundred records and once at the end;
// `total` is the record count Open reported, 0 when Open failed partway (see LoadDataset).
// Open itself reads the file through once and cannot be interrupted; after it, loading stops
// within a few hundred records once `cancel` is true.
using LoadProgress = std::function<void(std::int64_t done, std::int64_t total)>;

struct LoadOutcome {
    std::int32_t result = 0;  // HRESULT: 0 loaded; the component's or the runtime's failure
    std::string step;         // "create", "open", "series" or "record N" where it failed; "" when loaded
    std::string detail;       // the runtime's explanation when it gave one
    bool cancelled = false;
    bool ok() const { return result >= 0 && !cancelled; }
};

// Creates the object, opens `file` (UTF-8 path), copies series and every record into `out`, and
// releases the object. Runs in any one thread; never throws (memory exhaustion is E_OUTOFMEMORY).
//
// `out` is replaced whatever happens, and then keeps everything that was read:
// - a file that is damaged partway (Open answers DATASET_E_FORMAT after good records): the
//   records before the bad line are read all the same, and the outcome reports DATASET_E_FORMAT
//   with step "record N", N being how many were kept (step "open" when none could be read);
// - a failure while reading records (step "record N") keeps the N records before it;
// - a cancelled load keeps what was read, with `cancelled` set.
// A file name that is no UTF-8 fails at step "open" with 0x80070459 (no Unicode mapping).
LoadOutcome LoadDataset(const std::string& file, const ComponentSource& source, DatasetSnapshot& out,
                        const LoadProgress& progress = {}, const std::atomic<bool>* cancel = nullptr);

// A sentence for the user saying why `file` could not be shown, from the outcome's result code:
// "... is not a data record file that Loamer wrote, or it is damaged (0x80041002)." and so on,
// with the runtime's detail before the code when there is one. It says so when the first N
// records are shown nonetheless (step "record N"). 'Loading "<file>" was stopped.' for a cancelled
// load, "" for a successful one.
std::string DescribeFailure(const std::string& file, const LoadOutcome& outcome);

// "2024-06-18T09:02:14": ISO 8601 without a zone, as the meter's clock kept it.
std::string IsoTime(std::int64_t ticks);

// The CSV export: a title row "time,series,units,value,error", then one row per record and series
// that has a result: ISO time, DisplayName(), units, the number (empty when the result has none),
// and the error as "0x%08X" (empty when 0). Fields are quoted when they hold a comma, a quote or a
// line end. LF line ends. False when the stream failed.
bool WriteCsv(const DatasetSnapshot& data, std::ostream& out);

// Chart points: x is the time in milliseconds since 1970-01-01 of the meter's wall clock taken as
// UTC, y the value.
struct ChartPoint {
    double x = 0.0;
    double y = 0.0;
};

// The series' readings in record order, split into runs at every result that IsGap(): the chart
// draws each run as one line, so an error reading is a gap, never a zero. A value that is no
// finite number (the file may spell "nan" or "inf") is a gap too: it has no place on an axis. Results of severity
// Information or Warning are points of their run. Records without a result of the series (other
// data sets) are passed over without a gap; no run is empty.
using SeriesRunList = std::vector<std::vector<ChartPoint>>;
SeriesRunList SeriesRuns(const DatasetSnapshot& data, std::int32_t series);

// SeriesRuns of every series, in one pass over the results: element s holds the runs of series s.
// This is what a window showing many series wants; SeriesRuns alone scans every record per call.
std::vector<SeriesRunList> AllSeriesRuns(const DatasetSnapshot& data);

// At most 4 * buckets points of `run` between x0 and x1 that keep its shape: per bucket the
// first, lowest, highest and last points in x order. Runs that are short enough (at most
// 4 * buckets points) come back whole; of longer ones, points outside [x0, x1] are left out.
// Buckets below 1 count as 1.
std::vector<ChartPoint> Decimate(const std::vector<ChartPoint>& run, double x0, double x1, int buckets);

// Decimate of the runs joined end to end (each after the one before it in x), without copying
// them into one run first.
std::vector<ChartPoint> DecimateRuns(const std::vector<const std::vector<ChartPoint>*>& runs, double x0, double x1,
                                     int buckets);

// The chart's x of a record time: milliseconds since 1970-01-01 of the meter's wall clock.
double TicksToChartX(std::int64_t ticks);

}  // namespace loamset_view

#endif  // LOAMSET_VIEW_DATASET_SNAPSHOT_H
