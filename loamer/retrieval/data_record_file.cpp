#include "loamer/retrieval/data_record_file.h"

#include <cstdarg>
#include <cstdio>

#include "loamer/retrieval/lookup_tables.h"

namespace loamer {

namespace {

// Appends printf-formatted text. The length comes from the formatter, so a zero byte that a %c
// copies from the meter's record stays in the chunk as sent.
__attribute__((format(printf, 2, 3))) void AppendF(std::string& out, const char* format, ...) {
    char small[512];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (n >= 0 && static_cast<std::size_t>(n) < sizeof small) {
        out.append(small, static_cast<std::size_t>(n));
    } else if (n >= 0) {
        std::string big(static_cast<std::size_t>(n) + 1, '\0');
        std::vsnprintf(big.data(), big.size(), format, again);
        out.append(big.data(), static_cast<std::size_t>(n));
    }
    va_end(again);
}

const char* At(const RecordBody& body, std::size_t offset) { return body.bytes + offset; }

bool SlotPresent(const MeterTablesImage& image, std::size_t slot) {
    return image.bytes[TablePartOffset(1, slot)] == kTableRead.replyLetter;
}

// What follows each item of the depth and soil rows, so that each depth stands above the first
// of its value columns (every quantity at a depth takes a value and an Error column).
std::string ItemSeparator(const DataSetLayout& layout) {
    if (layout.n == 1) return "";
    std::string sep = ",";
    if (layout.n1 > 1 || layout.n2 >= 1) sep += ",";
    if (layout.n2 == layout.n1) sep += ",,";
    return sep;
}

}  // namespace

std::string ComposeBanner(const std::string& programVersion, const MeterVersion& meterVersion) {
    std::string out;
    AppendF(out, "Norvane Devices. TQ4 Data Record\r\nVersions:,PC Software:,%s,TQ4 Firmware:,%s\r\n\r\n",
            programVersion.c_str(), meterVersion);
    return out;
}

std::string ComposeTablesHead(const TablesStatus& status, const MeterTablesImage& image) {
    std::string out = "\r\nTable >>,";
    for (std::size_t slot = 0; slot < table_reply::kSlots; ++slot) {
        if (SlotPresent(image, slot)) AppendF(out, "%s,,,", status.names[slot]);
    }
    out += "\r\n,";
    for (std::size_t slot = 0; slot < table_reply::kSlots; ++slot) {
        if (SlotPresent(image, slot)) AppendF(out, "%s,,,", status.statusWords[slot]);
    }
    out += "\r\nUnits  >>,";
    for (std::size_t slot = 0; slot < table_reply::kSlots; ++slot) {
        if (SlotPresent(image, slot)) out += "mV,Sq.Rt.E,,";
    }
    out += "\r\n";
    return out;
}

std::string ComposeTablesPoints(const TablesStatus& status, const MeterTablesImage& image) {
    std::string out;
    for (std::size_t row = 0; row < table_reply::kMaxPoints; ++row) {
        out += row == 0 ? " ," : ",";
        for (std::size_t slot = 0; slot < table_reply::kSlots; ++slot) {
            if (image.bytes[TablePartOffset(1, slot) + table_reply::kSlotId] == '0') {
                out += ",,,";
            } else if (SlotPresent(image, slot)) {
                // Row r shows the table's r-th point, so every point of a full table is written.
                AppendF(out, "%s,,", status.points[slot][row]);
            }
        }
        out += "\r\n";
    }
    return out;
}

std::string ComposeProfileBlock(const ProfileHeader& header, const DataSetLayout& layout) {
    using namespace profile_header;
    const RecordBody& b = header.body;
    std::string a0[kGroupCount];
    std::string a1[kGroupCount];
    const char* capacity[kGroupCount];
    for (std::size_t k = 0; k < kGroupCount; ++k) {
        const std::size_t group = kGroups + kGroupWidth * k;
        a0[k] = DecodeCoefficient(At(b, group + kGroupA0.offset));
        a1[k] = DecodeCoefficient(At(b, group + kGroupA1.offset));
        capacity[k] = At(b, group + kGroupFieldCapacity.offset);
    }
    std::string out;
    AppendF(out,
            "\r\nSoil   >>,Organic,Mineral,Soil 1,Soil 2,Soil 3,Soil 4,Soil 5\r\nA0     >>,%s,%s,%s,%s,%s,%s,%s\r\n"
            "A1     >>,%s,%s,%s,%s,%s,%s,%s\r\nField Capacity,%5.5s,%5.5s,%5.5s,%5.5s,%5.5s,%5.5s,%5.5s\r\n\r\n"
            "Device >>,%s\r\nRoot Depth >>,,,,%4.4s",
            a0[0].c_str(), a0[1].c_str(), a0[2].c_str(), a0[3].c_str(), a0[4].c_str(), a0[5].c_str(),
            a0[6].c_str(), a1[0].c_str(), a1[1].c_str(), a1[2].c_str(), a1[3].c_str(), a1[4].c_str(),
            a1[5].c_str(), a1[6].c_str(), capacity[0], capacity[1], capacity[2], capacity[3], capacity[4],
            capacity[5], capacity[6], DeviceName(b.bytes[kDevice]), At(b, kRootDepth.offset));

    const std::string sep = ItemSeparator(layout);
    const char* shift = layout.n2 > layout.n1 ? ",," : "";
    const auto depths = static_cast<std::size_t>(layout.n);
    AppendF(out, "\r\nSensor Depth >>,,,,%s", shift);
    for (std::size_t i = 0; i < depths; ++i) AppendF(out, "%4.4s%s", At(b, kDepths + kDepthWidth * i), sep.c_str());
    AppendF(out, "\r\nSoil   >>,,,,%s", shift);
    for (std::size_t i = 0; i < depths; ++i) AppendF(out, "%s%s", ProfileSoilName(b.bytes[kSoils + i]), sep.c_str());

    out += "\r\nTime,Sample,Plot,Device,";
    for (int i = 0; i < layout.n; ++i) {
        if (i < layout.n1) AppendF(out, "%s,Error,", UnitsName(b.bytes[kFirstQuantity]));
        if (i < layout.n2) AppendF(out, "%s,Error,", UnitsName(b.bytes[kSecondQuantity]));
    }
    out += "\r\n";
    return out;
}

std::string ComposeSensorBlock(const SensorHeader& header) {
    using namespace sensor_header;
    const RecordBody& b = header.body;
    const char device = b.bytes[kDevice];
    const char soil = b.bytes[kSoil];
    std::string out;
    AppendF(out, "\r\nDevice >>,%s\r\nRoot Depth >>,,,,%4.4s\r\nSensor Depth >>,,,,%4.4s", DeviceName(device),
            At(b, kRootDepth.offset), At(b, kSensorDepth.offset));
    if (device == 'A' && soil < 'N') {
        AppendF(out,
                "\r\nSoil   >>,,,,%s\r\nB0     >>,,,,%s\r\nB1     >>,,,,%s\r\nSoil Parameter,,,,%3.3s\r\n"
                "Field Capacity,,,,%5.5s",
                SensorSoilName(soil), DecodeCoefficient(At(b, kB0.offset)).c_str(),
                DecodeCoefficient(At(b, kB1.offset)).c_str(), At(b, kSoilParameter.offset),
                At(b, kFieldCapacity.offset));
    } else if (device == 'A') {
        AppendF(out, "\r\nSoil   >>,,,,%s\r\nSoil Parameter,,,,%3.3s\r\nField Capacity,,,,%5.5s", SensorSoilName(soil),
                At(b, kSoilParameter.offset), At(b, kFieldCapacity.offset));
    } else if (device == '9') {
        AppendF(out, "\r\nSoil Parameter,,,,%3.3s", At(b, kSoilParameter.offset));
    }
    out += "\r\nEC Compensation,,,,";
    switch (b.bytes[kEcCompensation]) {
    case '1': AppendF(out, "20\r\nPercent,,,,%s", DecodeCoefficient(At(b, kPercent.offset)).c_str()); break;
    case '2': AppendF(out, "25\r\nPercent,,,,%s", DecodeCoefficient(At(b, kPercent.offset)).c_str()); break;
    default: out += "None"; break;
    }
    const auto channels = static_cast<std::size_t>(header.channels);
    out += "\r\nTime,Sample,Plot,Device,";
    for (std::size_t i = 0; i < channels; ++i) AppendF(out, "%s,Error,", ChannelLabel(b.bytes[kChannels.offset + i]));
    out += "\r\n,,,,";
    for (std::size_t i = 0; i < channels; ++i) {
        AppendF(out, "%s,,", ChannelUnits(b.bytes[kChannels.offset + i], b.bytes[kVwcUnits], b.bytes[kEcUnits]));
    }
    out += "\r\n";
    return out;
}

std::string ComposeReadingLine(const Reading& reading, char order) {
    using namespace reading_record;
    const RecordBody& b = reading.body;
    const char* year = At(b, kYear.offset);
    const char* month = At(b, kMonth.offset);
    const char* day = At(b, kDay.offset);
    std::string out;
    switch (order) {
    case '0': AppendF(out, "\r\n%2.2s/%2.2s/%4.4s", month, day, year); break;
    case '2': AppendF(out, "\r\n%4.4s/%2.2s/%2.2s", year, month, day); break;
    default: AppendF(out, "%2.2s/%2.2s/%4.4s", day, month, year); break;
    }
    AppendF(out, "  %2.2s:%2.2s:%2.2s,%4.4s,%c,%3.3s,", At(b, kHour.offset), At(b, kMinute.offset),
            At(b, kSecond.offset), At(b, kSample.offset), b.bytes[kPlot], At(b, kDevice.offset));
    for (const std::size_t slot : reading.columns) {
        const std::size_t at = kSlotsStart + kSlotWidth * slot;
        const char flag = b.bytes[at + kValueWidth];
        if (flag == ' ') {
            AppendF(out, "%7.7s, ,", At(b, at));
        } else {
            AppendF(out, "       ,%c,", flag);
        }
    }
    out += "\r\n";
    return out;
}

}  // namespace loamer
