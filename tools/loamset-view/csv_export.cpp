// The CSV export of a snapshot: one row per result, numbers written the shortest way that reads
// back to the same value, whatever the process's locale.
#include <charconv>
#include <cstdio>
#include <ostream>

#include "tools/loamset-view/dataset_snapshot.h"

namespace loamset_view {

namespace {

void Field(std::ostream& out, const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        out << text;
        return;
    }
    out << '"';
    for (const char c : text) {
        if (c == '"') out << '"';
        out << c;
    }
    out << '"';
}

}  // namespace

bool WriteCsv(const DatasetSnapshot& data, std::ostream& out) {
    out << "time,series,units,value,error\n";
    // Names are made once per series, not once per row.
    std::vector<std::string> names;
    names.reserve(data.series.size());
    for (const SeriesInfo& s : data.series) names.push_back(s.DisplayName());
    static const std::string kNone;
    for (const RecordEntry& record : data.records) {
        const std::string time = IsoTime(record.ticks);
        for (std::uint32_t k = 0; k < record.resultCount && out; ++k) {
            const ResultValue& result = data.results[record.firstResult + k];
            const bool known = result.series >= 0 && static_cast<std::size_t>(result.series) < names.size();
            const auto index = static_cast<std::size_t>(result.series);
            out << time << ',';
            Field(out, known ? names[index] : kNone);
            out << ',';
            Field(out, known ? data.series[index].units : kNone);
            out << ',';
            if (HasValue(result.error)) {
                char number[32];
                const auto written = std::to_chars(number, number + sizeof number, result.value);
                out.write(number, written.ptr - number);
            }
            out << ',';
            if (result.error != 0) {
                char code[16];
                std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(result.error));
                out << code;
            }
            out << '\n';
        }
        if (!out) return false;
    }
    out.flush();
    return static_cast<bool>(out);
}

}  // namespace loamset_view
