// Helpers for the dataset reader tests: files in a scratch folder, a dataset object made by the
// reader library, and its outputs as plain values that compare whole.
#pragma once

#include "loamset/dataset.h"
#include "tests/support/child_process.h"

#include <cstdint>
#include <string>
#include <vector>

namespace loamset::testing {

using loamer::testing::ScratchDir;
using loamer::testing::TestDataPath;

// Owns one reference.
class DatasetRef {
public:
    explicit DatasetRef(bool recordIndex = true);
    ~DatasetRef();
    DatasetRef(const DatasetRef&) = delete;
    DatasetRef& operator=(const DatasetRef&) = delete;
    IKXDataset* operator->() const { return m_p; }
    IKXDataset* get() const { return m_p; }

private:
    IKXDataset* m_p = nullptr;
};

std::u16string Wide(const std::string& text);
// The lines, each ended by CR LF as the writer ends them.
std::string Lines(const std::vector<std::string>& lines);
// The first three lines every data record file begins with.
std::string Banner();
std::string WriteFile(const ScratchDir& dir, const std::string& name, const std::string& content);
// A file time by the C library's own calendar, for comparing.
std::uint64_t FileTimeOf(int year, int month, int day, int hour, int minute, int second);
std::uint64_t Join(const FILETIME& t);

struct Opened {
    HRESULT hr = S_OK;
    _KXHeader header{};
};
Opened OpenPath(IKXDataset* dataset, const std::string& path);

struct SeriesText {
    std::string name, channel, type, units;
    bool operator==(const SeriesText&) const = default;
};
std::vector<SeriesText> AllSeries(IKXDataset* dataset);

struct Result {
    int series;
    std::uint32_t err;
    double value;
    bool operator==(const Result& o) const;
};
struct RecordRead {
    HRESULT hr = S_OK;
    int count = 0;
    std::uint64_t time = 0;
    std::vector<Result> results;
    ULONG pos = 0;
    bool operator==(const RecordRead&) const = default;
};
// ReadRecord with room for every result; the value of a result without one (fatal severity) is
// not compared.
RecordRead Read(IKXDataset* dataset, int record);

} // namespace loamset::testing
