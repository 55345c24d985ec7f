// Any bytes as a data record file: Open, EnumSeries and a walk of ReadRecord calls keep to the
// memory rules, and an object that steps back through its record index reads exactly what one that
// re-reads from the file's start reads.  Every cell of the bytes also reads alike through the fast
// number and date paths and through the C library.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "loamset/dataset.h"
#include "loamset/dataset_values.h"

namespace {

struct Read {
    HRESULT hr = S_OK;
    int count = 0;
    FILETIME time{};
    ULONG pos = 0;
    _KXResult results[14];
};

Read ReadOne(IKXDataset* dataset, int record)
{
    Read read;
    std::memset(read.results, 0, sizeof read.results);
    FILETIME stamps[14];
    read.count = 14;
    read.hr = dataset->ReadRecord(record, &read.count, &read.time, read.results, stamps, &read.pos);
    return read;
}

bool Same(const Read& a, const Read& b)
{
    if (a.hr != b.hr || a.count != b.count || a.time.dwLowDateTime != b.time.dwLowDateTime ||
        a.time.dwHighDateTime != b.time.dwHighDateTime || a.pos != b.pos)
        return false;
    for (int k = 0; a.hr == S_OK && k < a.count; ++k)
        if (a.results[k].iSeries != b.results[k].iSeries || a.results[k].u.v.err != b.results[k].u.v.err ||
            std::memcmp(&a.results[k].u.v.val.d, &b.results[k].u.v.val.d, sizeof(double)) != 0)
            return false;
    return true;
}

bool SameSeries(IKXDataset* a, IKXDataset* b)
{
    int na = 0, nb = 0;
    if (a->EnumSeries(nullptr, &na, nullptr) != b->EnumSeries(nullptr, &nb, nullptr) || na != nb)
        return false;
    std::string sa, sb;
    for (IKXDataset* d : {a, b}) {
        int n = na;
        _KXSeries* series = new _KXSeries[static_cast<std::size_t>(n) + 1];
        if (d->EnumSeries(nullptr, &n, series) == S_OK)
            for (int i = 0; i < n; ++i)
                for (const char* text : {series[i].pszSensorName, series[i].pszChannel, series[i].pszSensorType,
                                         series[i].pszUnits})
                    (d == a ? sa : sb).append(text).push_back('\0');
        delete[] series;
    }
    return sa == sb;
}

void CheckCell(std::string_view cell)
{
    double fast = 0, library = 0;
    const bool found = loamset::ReadNumberCell(cell, fast);
    if (found != loamset::ReadNumberCellByLibrary(cell, library))
        __builtin_trap();
    if (found && fast == fast && std::memcmp(&fast, &library, sizeof fast) != 0)
        __builtin_trap();
    loamset::DateScan a, b;
    loamset::ScanDateCell(cell, a);
    loamset::ScanDateCellByLibrary(cell, b);
    if (a.yearFirst != b.yearFirst || a.twoDigitFirst != b.twoDigitFirst ||
        (a.yearFirst && std::memcmp(a.yearForm, b.yearForm, sizeof a.yearForm) != 0) ||
        (a.twoDigitFirst && std::memcmp(a.twoDigitForm, b.twoDigitForm, sizeof a.twoDigitForm) != 0))
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const int fd = memfd_create("loamset_open", 0);
    if (fd < 0 || ftruncate(fd, 0) != 0 ||
        (size != 0 && pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)))
        return 0;
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    std::u16string name(path.begin(), path.end());

    IKXDataset* indexed = nullptr;
    IKXDataset* literal = nullptr;
    loamset::DatasetOptions reReading;
    reReading.recordIndex = false;
    if (loamset::CreateDataset(IID_IKXDataset, reinterpret_cast<void**>(&indexed)) != S_OK ||
        loamset::CreateDataset(IID_IKXDataset, reinterpret_cast<void**>(&literal), reReading) != S_OK)
        __builtin_trap();

    _KXHEADERCAPS caps[2];
    _KXHEADERCAPSEX capsEx[2];
    _KXHeader header[2];
    std::memset(header, 0, sizeof header);
    const HRESULT opened = indexed->Open(name.c_str(), &caps[0], &capsEx[0], &header[0]);
    if (opened != literal->Open(name.c_str(), &caps[1], &capsEx[1], &header[1]) ||
        std::memcmp(&header[0], &header[1], sizeof header[0]) != 0)
        __builtin_trap();
    if (!SameSeries(indexed, literal))
        __builtin_trap();

    // A walk through the records led by the bytes themselves, mostly backwards.
    const int records = opened == S_OK ? header[0].nRecords : 8;
    int at = records > 0 ? records - 1 : 0;
    std::uint32_t step = 2166136261u;
    for (std::size_t i = 0; i < size; ++i)
        step = (step ^ data[i]) * 16777619u;
    for (int i = 0; i < 48 && records > 0; ++i) {
        step = step * 1103515245u + 12345u;
        switch ((step >> 16) % 8) {
        case 0: at = static_cast<int>((step >> 8) % static_cast<std::uint32_t>(records + 2)); break;
        case 1: ++at; break;
        case 2: at = records; break;
        default: --at; break;
        }
        if (at < 0)
            at = records - 1;
        if (!Same(ReadOne(indexed, at), ReadOne(literal, at)))
            __builtin_trap();
    }
    if (!SameSeries(indexed, literal))
        __builtin_trap();
    indexed->Release();
    literal->Release();

    // The bytes as cells, the way the reader cuts them.
    const char* text = reinterpret_cast<const char*>(data);
    std::size_t begin = 0;
    for (std::size_t i = 0; i <= size; ++i) {
        if (i == size || text[i] == ',' || text[i] == '\n' || text[i] == '\r') {
            std::string_view cell(text + begin, std::min<std::size_t>(i - begin, 254));
            while (!cell.empty() && cell.back() == ' ')
                cell.remove_suffix(1);
            while (!cell.empty() && cell.front() == ' ')
                cell.remove_prefix(1);
            CheckCell(cell);
            begin = i + 1;
        }
    }
    return 0;
}
