// What loamset-dump prints: a data set read through IKXDataset, as text, CSV or JSON.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "loamset/kxdataset.h"

namespace loamset_dump {

// Copies of what the object handed out, so that nothing points into it once it is released.
struct DumpHeader {
    std::uint32_t caps = 0;
    std::uint32_t capsEx = 0;
    std::uint32_t recordCaps = 0;
    std::uint32_t seriesCaps = 0;
    int deviceId = 0;
    std::optional<std::string> deviceName;
    int firmwareMajor = 0;
    int firmwareMinor = 0;
    int serialNumber = 0;
    int networkAddress = 0;
    std::optional<std::string> networkName;
    int dateOrder = 0;
    std::optional<std::string> setName;
    std::optional<std::string> programName;
    std::optional<std::string> comment;
    std::uint64_t armed = 0;
    std::uint64_t started = 0;
    std::uint64_t created = 0;
    std::uint64_t retrieved = 0;
    std::uint64_t firstRecord = 0;
    std::uint64_t lastRecord = 0;
    int firstNumber = 0;
    int records = 0;
    int sequenceNumber = 0;
    bool autoWrapEnabled = false;
    bool autoWrapped = false;
    double reportInterval = 0;
    int reportRecords = 0;
    int series = 0;
    int recordTypes = 0;
    int seriesPerRecord = 0;
    std::uint32_t size = 0;
};

struct DumpSeries {
    std::optional<std::string> channel;
    std::optional<std::string> sensor;
    std::optional<std::string> type;
    std::optional<std::string> units;
};

struct DumpResult {
    int series = 0;
    std::uint32_t error = 0;
    double value = 0;  // meaningless when the error's severity is fatal
};

struct DumpRecord {
    int index = 0;
    std::uint64_t time = 0;
    std::uint32_t position = 0;  // the byte behind the record's line
    std::vector<DumpResult> results;
};

struct Dump {
    std::string file;
    DumpHeader header;
    std::vector<DumpSeries> series;
    std::vector<DumpRecord> records;
};

DumpHeader CopyHeader(const _KXHeader& header);
DumpSeries CopySeries(const _KXSeries& series);
std::uint64_t FileTimeTicks(const FILETIME& time);

// "2016-03-05 14:07:09" (with separator 'T' for JSON), fractions of a second when there are any;
// empty for 0, which means "not known".
std::string FileTimeText(std::uint64_t ticks, char separator = ' ');
// The value as it would be read back; "[empty]", "[error 0x...]" or a qualifier in brackets for
// the error part.
std::string ResultText(const DumpResult& result);

enum class Format { Text, Csv, Json };
void WriteDump(std::ostream& out, const Dump& dump, Format format);

}  // namespace loamset_dump
