#include "tests/loamset/dataset_fixture.h"

#include <cstring>
#include <ctime>
#include <fstream>
#include <gtest/gtest.h>

namespace loamset::testing {

DatasetRef::DatasetRef(bool recordIndex)
{
    DatasetOptions options;
    options.recordIndex = recordIndex;
    EXPECT_EQ(CreateDataset(IID_IKXDataset, reinterpret_cast<void**>(&m_p), options), S_OK);
}

DatasetRef::~DatasetRef()
{
    if (m_p != nullptr)
        m_p->Release();
}

std::u16string Wide(const std::string& text)
{
    std::u16string wide;
    for (char c : text)
        wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    return wide;
}

std::string Lines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

std::string Banner()
{
    return Lines({"Norvane Devices. TQ4 Data Record", "Versions:,PC Software:,1.0.0,TQ4 Firmware:,V2.13 ", ""});
}

std::string WriteFile(const ScratchDir& dir, const std::string& name, const std::string& content)
{
    const std::string path = dir / name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

std::uint64_t FileTimeOf(int year, int month, int day, int hour, int minute, int second)
{
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    const std::int64_t unixSeconds = timegm(&t);
    return static_cast<std::uint64_t>(unixSeconds + 11644473600LL) * 10000000u;
}

std::uint64_t Join(const FILETIME& t) { return (std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime; }

Opened OpenPath(IKXDataset* dataset, const std::string& path)
{
    Opened opened;
    std::memset(&opened.header, 0, sizeof opened.header);
    _KXHEADERCAPS caps{};
    _KXHEADERCAPSEX capsEx{};
    opened.hr = dataset->Open(Wide(path).c_str(), &caps, &capsEx, &opened.header);
    return opened;
}

std::vector<SeriesText> AllSeries(IKXDataset* dataset)
{
    int count = 0;
    EXPECT_EQ(dataset->EnumSeries(nullptr, &count, nullptr), S_OK);
    std::vector<_KXSeries> series(static_cast<std::size_t>(count));
    std::vector<SeriesText> texts;
    if (count == 0 || dataset->EnumSeries(nullptr, &count, series.data()) != S_OK)
        return texts;
    for (const _KXSeries& s : series)
        texts.push_back({s.pszSensorName, s.pszChannel, s.pszSensorType, s.pszUnits});
    return texts;
}

bool Result::operator==(const Result& o) const
{
    if (series != o.series || err != o.err)
        return false;
    if ((err & KXRESERROR_SEVMASK) == KXRESERROR_SEVFATAL)
        return true;
    return std::memcmp(&value, &o.value, sizeof value) == 0;
}

RecordRead Read(IKXDataset* dataset, int record)
{
    RecordRead read;
    _KXResult results[14];
    FILETIME stamps[14];
    FILETIME time{};
    read.count = 14;
    read.hr = dataset->ReadRecord(record, &read.count, &time, results, stamps, &read.pos);
    if (read.hr != S_OK)
        return read;
    read.time = Join(time);
    for (int k = 0; k < read.count; ++k) {
        read.results.push_back({results[k].iSeries, static_cast<std::uint32_t>(results[k].u.v.err),
                                results[k].u.v.val.d});
        EXPECT_EQ(Join(stamps[k]), read.time) << "result " << k;
    }
    return read;
}

} // namespace loamset::testing
