#include "tools/loamset-dump/dump_output.h"

#include <charconv>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "tools/common/civil_time.h"

namespace loamset_dump {
namespace {

std::optional<std::string> Text(const char* text) {
    if (text == nullptr) return std::nullopt;
    return std::string(text);
}

std::string Number(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string Hex(std::uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(value));
    return buffer;
}

// The codes of a result's error, by their number.
const char* CodeName(std::uint32_t code) {
    static constexpr const char* kNames[] = {
        "none",        "empty",        "outside limits", "above limit", "below limit", "outside range",
        "over range",  "under range",  "overrun",        "noisy",       "unknown",     "below table",
        "above table", "corrupt",      "math error",     nullptr,       "no sensor",   "no table",
        "too dry",     "system error", "not a number",   "overflow",    "underflow"};
    return code < std::size(kNames) ? kNames[code] : nullptr;
}

bool IsFatal(std::uint32_t error) {
    return (error & KXRESERROR_SEVMASK) == KXRESERROR_SEVFATAL;
}

// "noisy", "empty", "unknown, fatal", "code 0x0017, error": the code's name, then the severity
// unless it is the usual one of the code.
std::string ErrorText(std::uint32_t error) {
    const std::uint32_t code = error & KXRESERROR_CODEMASK;
    const std::uint32_t severity = error & KXRESERROR_SEVMASK;
    const std::uint32_t display = (error & KXRESERROR_DISPMASK) >> 16;
    const char* name = CodeName(code);
    std::string text = name != nullptr ? std::string(name) : "code " + Hex(code).replace(2, 4, "");
    // KXRESERROR_EMPTY carries its fatal severity in its own value.
    const bool usual = severity == KXRESERROR_SEVINFO || (severity == KXRESERROR_SEVFATAL && code == 1);
    if (!usual) {
        text += severity == KXRESERROR_SEVWARN    ? ", warning"
                : severity == KXRESERROR_SEVERROR ? ", error"
                                                  : ", fatal";
    }
    if (display != 0) text += ", display " + std::to_string(display);
    return text;
}

const char* DateOrderText(int order) {
    switch (order) {
        case KXDATEORDER_DAYMONTH: return "day, month, year";
        case KXDATEORDER_MONTHDAY: return "month, day, year";
        case KXDATEORDER_YEARFIRST | KXDATEORDER_MONTHDAY: return "year, month, day";
        default: return "unknown";
    }
}

std::string Quoted(const std::optional<std::string>& text) {
    return text ? '"' + *text + '"' : "(none)";
}

std::string CsvCell(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos &&
        (text.empty() || (text.front() != ' ' && text.back() != ' '))) {
        return text;
    }
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + '"';
}

void WriteText(std::ostream& out, const Dump& dump) {
    const DumpHeader& h = dump.header;
    out << "File: " << dump.file << '\n'
        << "Device: " << (h.deviceName ? *h.deviceName : std::string("(none)")) << " (" << h.deviceId << ")\n"
        << "Capabilities: " << Hex(h.caps) << ", extended " << Hex(h.capsEx) << ", series "
        << Hex(h.seriesCaps) << '\n'
        << "Date order: " << h.dateOrder << " (" << DateOrderText(h.dateOrder) << ")\n"
        << "Started: " << FileTimeText(h.started) << '\n'
        << "First record: " << FileTimeText(h.firstRecord) << '\n'
        << "Records: " << h.records << '\n'
        << "Series: " << h.series << "\n\nSeries\n";
    for (std::size_t i = 0; i < dump.series.size(); ++i) {
        const DumpSeries& s = dump.series[i];
        out << "  " << i << ": channel " << Quoted(s.channel) << ", sensor " << Quoted(s.sensor) << ", type "
            << Quoted(s.type) << ", units " << Quoted(s.units) << '\n';
    }
    out << "\nRecords\n";
    for (const DumpRecord& r : dump.records) {
        out << "  " << r.index << "  " << FileTimeText(r.time);
        for (const DumpResult& result : r.results) out << "  " << result.series << '=' << ResultText(result);
        out << '\n';
    }
}

void WriteCsv(std::ostream& out, const Dump& dump) {
    out << "record,time,position,series,channel,sensor,type,units,value,error\n";
    for (const DumpRecord& r : dump.records) {
        for (const DumpResult& result : r.results) {
            const bool known =
                result.series >= 0 && static_cast<std::size_t>(result.series) < dump.series.size();
            const DumpSeries s = known ? dump.series[static_cast<std::size_t>(result.series)] : DumpSeries{};
            out << r.index << ',' << FileTimeText(r.time) << ',' << r.position << ',' << result.series << ','
                << CsvCell(s.channel.value_or("")) << ',' << CsvCell(s.sensor.value_or("")) << ','
                << CsvCell(s.type.value_or("")) << ',' << CsvCell(s.units.value_or("")) << ','
                << (IsFatal(result.error) ? std::string() : Number(result.value)) << ',' << Hex(result.error)
                << '\n';
        }
    }
}

nlohmann::json Json(const std::optional<std::string>& text) {
    return text ? nlohmann::json(*text) : nlohmann::json();
}

nlohmann::json JsonTime(std::uint64_t ticks) {
    return ticks == 0 ? nlohmann::json() : nlohmann::json(FileTimeText(ticks, 'T'));
}

void WriteJson(std::ostream& out, const Dump& dump) {
    const DumpHeader& h = dump.header;
    nlohmann::json header = {
        {"caps", h.caps},
        {"capsEx", h.capsEx},
        {"recordCaps", h.recordCaps},
        {"seriesCaps", h.seriesCaps},
        {"deviceId", h.deviceId},
        {"deviceName", Json(h.deviceName)},
        {"firmware", {{"major", h.firmwareMajor}, {"minor", h.firmwareMinor}}},
        {"serialNumber", h.serialNumber},
        {"networkAddress", h.networkAddress},
        {"networkName", Json(h.networkName)},
        {"dateOrder", h.dateOrder},
        {"setName", Json(h.setName)},
        {"programName", Json(h.programName)},
        {"comment", Json(h.comment)},
        {"armed", JsonTime(h.armed)},
        {"started", JsonTime(h.started)},
        {"created", JsonTime(h.created)},
        {"retrieved", JsonTime(h.retrieved)},
        {"firstRecord", JsonTime(h.firstRecord)},
        {"lastRecord", JsonTime(h.lastRecord)},
        {"firstNumber", h.firstNumber},
        {"records", h.records},
        {"sequenceNumber", h.sequenceNumber},
        {"autoWrapEnabled", h.autoWrapEnabled},
        {"autoWrapped", h.autoWrapped},
        {"reportInterval", h.reportInterval},
        {"reportRecords", h.reportRecords},
        {"series", h.series},
        {"recordTypes", h.recordTypes},
        {"seriesPerRecord", h.seriesPerRecord},
        {"size", h.size},
    };
    nlohmann::json series = nlohmann::json::array();
    for (const DumpSeries& s : dump.series) {
        series.push_back({{"channel", Json(s.channel)},
                          {"sensor", Json(s.sensor)},
                          {"type", Json(s.type)},
                          {"units", Json(s.units)}});
    }
    nlohmann::json records = nlohmann::json::array();
    for (const DumpRecord& r : dump.records) {
        nlohmann::json results = nlohmann::json::array();
        for (const DumpResult& result : r.results) {
            results.push_back(
                {{"series", result.series},
                 {"value", IsFatal(result.error) ? nlohmann::json() : nlohmann::json(result.value)},
                 {"error", result.error}});
        }
        records.push_back({{"record", r.index},
                           {"time", JsonTime(r.time)},
                           {"position", r.position},
                           {"results", results}});
    }
    const nlohmann::json document = {
        {"file", dump.file}, {"header", header}, {"series", series}, {"records", records}};
    // The file's texts are its own bytes, not necessarily UTF-8.
    out << document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
}

}  // namespace

DumpHeader CopyHeader(const _KXHeader& header) {
    DumpHeader h;
    h.caps = static_cast<std::uint32_t>(header.nCaps);
    h.capsEx = static_cast<std::uint32_t>(header.nCapsEx);
    h.recordCaps = static_cast<std::uint32_t>(header.nRecCaps);
    h.seriesCaps = static_cast<std::uint32_t>(header.nSerCaps);
    h.deviceId = header.nDeviceID;
    h.deviceName = Text(header.pszDevName);
    h.firmwareMajor = header.firmware.nMajor;
    h.firmwareMinor = header.firmware.nMinor;
    h.serialNumber = header.nSerNo;
    h.networkAddress = header.nNetAddr;
    h.networkName = Text(header.pszNetName);
    h.dateOrder = header.nLocale;
    h.setName = Text(header.pszSetName);
    h.programName = Text(header.pszProgName);
    h.comment = Text(header.pszComment);
    h.armed = FileTimeTicks(header.dArmed);
    h.started = FileTimeTicks(header.dStarted);
    h.created = FileTimeTicks(header.dCreated);
    h.retrieved = FileTimeTicks(header.dRetrievd);
    h.firstRecord = FileTimeTicks(header.dFirstRec);
    h.lastRecord = FileTimeTicks(header.dLastRec);
    h.firstNumber = header.nNumFirst;
    h.records = header.nRecords;
    h.sequenceNumber = header.nSeqNo;
    h.autoWrapEnabled = header.bEnAutWrp != 0;
    h.autoWrapped = header.bAutWrapd != 0;
    h.reportInterval = header.dRptIntvl;
    h.reportRecords = header.nRptRecs;
    h.series = header.nSeries;
    h.recordTypes = header.nRecTypes;
    h.seriesPerRecord = header.nRecSers;
    h.size = header.dwSize;
    return h;
}

DumpSeries CopySeries(const _KXSeries& series) {
    return {Text(series.pszChannel), Text(series.pszSensorName), Text(series.pszSensorType),
            Text(series.pszUnits)};
}

std::uint64_t FileTimeTicks(const FILETIME& time) {
    return static_cast<std::uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

std::string FileTimeText(std::uint64_t ticks, char separator) {
    if (ticks == 0) return {};
    constexpr std::uint64_t kTicksPerSecond = 10000000;
    const std::uint64_t fraction = ticks % kTicksPerSecond;
    const loamer_tools::CivilTime t = loamer_tools::CivilTimeFromSeconds(static_cast<std::int64_t>(ticks / kTicksPerSecond));
    char text[48];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld%c%02lld:%02lld:%02lld", static_cast<long long>(t.year),
                  static_cast<long long>(t.month), static_cast<long long>(t.day), separator,
                  static_cast<long long>(t.hour), static_cast<long long>(t.minute), static_cast<long long>(t.second));
    std::string out(text);
    if (fraction != 0) {
        std::snprintf(text, sizeof text, ".%07llu", static_cast<unsigned long long>(fraction));
        out += text;
    }
    return out;
}

std::string ResultText(const DumpResult& result) {
    if (IsFatal(result.error)) return '[' + ErrorText(result.error) + ']';
    std::string text = Number(result.value);
    if (result.error != KXRESERROR_NONE) text += '[' + ErrorText(result.error) + ']';
    return text;
}

void WriteDump(std::ostream& out, const Dump& dump, Format format) {
    switch (format) {
        case Format::Text: WriteText(out, dump); break;
        case Format::Csv: WriteCsv(out, dump); break;
        case Format::Json: WriteJson(out, dump); break;
    }
}

}  // namespace loamset_dump
