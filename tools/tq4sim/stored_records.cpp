#include "tools/tq4sim/stored_records.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace tq4sim {

namespace {

constexpr std::size_t kReadingStartSize = 27;
constexpr std::size_t kSlotSize = 8;
constexpr std::size_t kValueSize = 7;
constexpr std::string_view kLineEnd = "\r\n";

// Appends `text` cut or padded with blanks to `width`.
void Put(std::string* body, std::string_view text, std::size_t width) {
    text = text.substr(0, width);
    body->append(text);
    body->append(width - text.size(), ' ');
}

std::string Digits(unsigned value, int width) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*u", width, value);
    return text;
}

}  // namespace

std::size_t SlotCount(char kind) {
    switch (kind) {
    case '2': return 1;
    case '3': return 4;
    case '4': return 6;
    case '5': return 2;
    case '6': return 8;
    case '7': return 12;
    case 'E': return 5;
    default: return 0;
    }
}

std::size_t ReadingSize(char kind) { return kReadingStartSize + kSlotSize * SlotCount(kind) + kLineEnd.size(); }

std::string RecordNumberText(unsigned number) { return Digits(number, 5); }

std::string ProfileHeaderBody(std::string_view number, const ProfileHeader& header) {
    std::string body;
    Put(&body, number, 5);
    body += header.device;
    body += header.depthCount;
    body += header.firstQuantity;
    body += header.secondQuantity;
    body += ' ';
    Put(&body, header.rootDepth, 4);
    Put(&body, header.soils, kProfileDepths);
    for (const std::string& depth : header.sensorDepths) Put(&body, depth, 4);
    for (const CalibrationGroup& group : header.groups) {
        body += ' ';
        Put(&body, group.a0, 3);
        Put(&body, group.a1, 3);
        Put(&body, group.fieldCapacity, 5);
    }
    body += kLineEnd;
    return body;
}

std::string SensorHeaderBody(std::string_view number, const SensorHeader& header) {
    std::string body;
    Put(&body, number, 5);
    body += header.device;
    Put(&body, header.channels, 5);
    body += header.vwcUnits;
    body += header.ecUnits;
    Put(&body, header.rootDepth, 4);
    Put(&body, header.sensorDepth, 4);
    body += header.soil;
    Put(&body, header.b0, 3);
    Put(&body, header.b1, 3);
    Put(&body, header.fieldCapacity, 5);
    Put(&body, header.soilParameter, 3);
    body += header.ecCompensation;
    Put(&body, header.percent, 3);
    body += kLineEnd;
    return body;
}

std::string ReadingBody(std::string_view number, const Reading& reading) {
    std::string body;
    Put(&body, number, 5);
    Put(&body, reading.sample, 4);
    body += reading.plot;
    Put(&body, reading.device, 3);
    const CivilTime& t = reading.time;
    body += Digits(static_cast<unsigned>(std::clamp(t.year, 0, 9999)), 4);
    for (int field : {t.month, t.day, t.hour, t.minute, t.second}) {
        body += Digits(static_cast<unsigned>(std::clamp(field, 0, 99)), 2);
    }
    const std::size_t slots = SlotCount(reading.kind);
    for (std::size_t i = 0; i < slots; ++i) {
        ReadingSlot slot = i < reading.slots.size() ? reading.slots[i] : ReadingSlot{};
        Put(&body, slot.value, kValueSize);
        body += slot.flag;
    }
    body += kLineEnd;
    return body;
}

std::size_t CountReadings(const std::vector<StoredRecord>& records) {
    return static_cast<std::size_t>(
        std::count_if(records.begin(), records.end(), [](const StoredRecord& r) { return IsReadingKind(r.kind); }));
}

namespace {

// A number printed as the meter prints it, right-aligned in 7 characters, from an integer
// count of its last decimal place (no floating point, so no locale can change the point).
std::string Value(long scaled, int decimals) {
    long unit = 1;
    for (int i = 0; i < decimals; ++i) unit *= 10;
    const bool negative = scaled < 0;
    const long magnitude = negative ? -scaled : scaled;
    std::string text = (negative ? "-" : "") + std::to_string(magnitude / unit);
    if (decimals > 0) text += "." + Digits(static_cast<unsigned>(magnitude % unit), decimals);
    return std::string(kValueSize - std::min(kValueSize, text.size()), ' ') + text;
}

// A small deterministic spread, -50 to 50, so that generated files are alike on every run.
long Spread(std::uint32_t* seed) {
    *seed = *seed * 1664525u + 1013904223u;
    return static_cast<long>((*seed >> 16) % 101) - 50;
}

constexpr unsigned kSetSize = 100;

ProfileHeader OneQuantityProfile() {
    ProfileHeader h;
    h.device = '6';  // an access-tube probe
    h.depthCount = '4';
    h.firstQuantity = '2';  // m3.m-3
    h.rootDepth = "0400";
    h.soils = "MMM1  ";
    h.sensorDepths = {"0100", "0200", "0300", "0400", "0000", "0000"};
    h.groups[0] = {"1.3", "7.7", "055.0"};
    h.groups[1] = {"1.6", "8.4", "032.0"};
    h.groups[2] = {"1.5", "8.1", "040.5"};
    return h;
}

ProfileHeader TwoQuantityProfile() {
    ProfileHeader h;
    h.device = '2';
    h.depthCount = '6';
    h.firstQuantity = '1';   // mV
    h.secondQuantity = '7';  // degC
    h.rootDepth = "0600";
    h.soils = "OMMMMM";
    h.sensorDepths = {"0100", "0200", "0300", "0400", "0600", "1000"};
    h.groups[0] = {"1.3", "7.7", "055.0"};
    h.groups[1] = {"1.6", "8.4", "032.0"};
    return h;
}

SensorHeader ClaySensor() {
    SensorHeader h;
    h.channels = "WBT  ";
    h.vwcUnits = '2';  // m3.m-3
    h.ecUnits = '4';   // mS.m-1
    h.rootDepth = "0300";
    h.sensorDepth = "0150";
    h.soil = '3';  // clay
    h.b0 = "1.8";
    h.b1 = "9.1";
    h.fieldCapacity = "042.0";
    h.soilParameter = "3.2";
    h.ecCompensation = '1';
    h.percent = "020";
    return h;
}

}  // namespace

void AppendGeneratedReadings(MeterState* state, unsigned count) {
    std::vector<StoredRecord>& records = state->records;
    const std::int64_t start = CivilToSeconds(CivilTime{2024, 5, 6, 8, 0, 0});
    std::uint32_t seed = 20240506u;
    unsigned made = 0;
    for (unsigned set = 0; made < count && records.size() < kLastRecordNumber; ++set) {
        const int form = static_cast<int>(set % 3);
        auto next = [&] { return RecordNumberText(static_cast<unsigned>(records.size() + 1)); };
        char kind = '3';
        if (form == 0) {
            records.push_back({kProfileKind, ProfileHeaderBody(next(), OneQuantityProfile())});
        } else if (form == 1) {
            records.push_back({kSensorKind, SensorHeaderBody(next(), ClaySensor())});
            kind = 'E';
        } else {
            records.push_back({kProfileKind, ProfileHeaderBody(next(), TwoQuantityProfile())});
            kind = '7';
        }
        for (unsigned sample = 1; sample <= kSetSize && made < count && records.size() < kLastRecordNumber;
             ++sample, ++made) {
            Reading r;
            r.kind = kind;
            r.sample = Digits(sample, 4);
            r.plot = set % 2 == 0 ? '1' : '2';
            r.device = "T" + Digits(1 + sample % 5, 2);
            r.time = SecondsToCivil(start + 60 * static_cast<std::int64_t>(made) + 600 * set);
            if (form == 0) {
                for (long depth = 0; depth < 4; ++depth) {
                    r.slots.push_back({Value(180 + 40 * depth + Spread(&seed), 3)});  // 0.13 to 0.35
                }
            } else if (form == 1) {
                r.slots.push_back({Value(260 + Spread(&seed), 3)});        // VWC
                r.slots.push_back({Value(450 + 2 * Spread(&seed), 1)});    // ECb, mS.m-1
                r.slots.push_back({Value(142 + Spread(&seed) / 5, 1)});    // degC
            } else {
                for (long depth = 0; depth < 6; ++depth) {
                    r.slots.push_back({Value(3500 + 800 * depth + 20 * Spread(&seed), 1)});  // mV
                    r.slots.push_back({Value(160 - 8 * depth + Spread(&seed) / 10, 1)});      // degC
                }
            }
            if (made % 37 == 36) r.slots[1] = {"*******", '1'};  // a sensor out of range now and then
            records.push_back({kind, ReadingBody(next(), r)});
        }
    }

    // The field is its exact 6 bytes: only a plain number can grow.
    const std::string& stored = state->readings;
    if (stored.empty() || stored.find_first_not_of("0123456789") != std::string::npos) return;
    const unsigned long total = std::stoul(stored) + made;
    state->readings = Digits(static_cast<unsigned>(std::min(total, 999999ul)), 6);
}

}  // namespace tq4sim
