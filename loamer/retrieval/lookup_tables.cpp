#include "loamer/retrieval/lookup_tables.h"

#include <cstdio>
#include <cstring>

namespace loamer {

namespace {

struct Entry {
    char code;
    const char* text;
};

// The last entry's code is '\0': the text of every code not listed.
template <std::size_t N>
const char* Look(const Entry (&table)[N], char code) {
    for (std::size_t i = 0; i + 1 < N; ++i) {
        if (table[i].code == code) return table[i].text;
    }
    return table[N - 1].text;
}

constexpr Entry kDevices[] = {
    {'1', "KR5"}, {'2', "KR6"}, {'3', "TN4"}, {'4', "TN5/6"}, {'5', "VP4 direct"},
    {'6', "VP4 access (in soil access tube)"}, {'7', "VP4 special direct"},
    {'8', "VP4 special (in soil access tube)"}, {'9', "OB3"}, {'A', "FLX"}, {'B', "VP5"},
    {'C', "GX420"}, {'D', "GX630"}, {'E', "GX310"}, {'F', "KR6 Special"}, {'G', "KR7 Humeta"},
    {'H', "GX310T"}, {'I', "VP5 SDI12"}, {'\0', "Unknown Device"},
};

constexpr Entry kUnits[] = {
    {'1', "mV"}, {'2', "m3.m-3"}, {'3', "% Vol"}, {'4', "mS.m-1"}, {'5', "mS.cm-1"},
    {'6', "uS.cm-1"}, {'7', "degC"}, {'8', "mm Deficit"}, {'\0', ""},
};

constexpr Entry kProfileSoils[] = {
    {'1', "Soil 1"}, {'2', "Soil 2"}, {'3', "Soil 3"}, {'4', "Soil 4"}, {'5', "Soil 5"},
    {'M', "Mineral"}, {'O', "Organic"}, {'\0', ""},
};

constexpr Entry kSensorSoils[] = {
    {'1', "Organic"}, {'2', "Mineral"}, {'3', "Clay"}, {'4', "Sand"}, {'A', "Custom 1"},
    {'B', "Custom 2"}, {'C', "Custom 3"}, {'D', "Custom 4"}, {'E', "Custom 5"}, {'N', "Coir"},
    {'O', "Peat based"}, {'P', "Min wool v"}, {'Q', "Min wool h"}, {'R', "Glass wool h"},
    {'S', "Min g/h soil"}, {'T', "Pot soil"}, {'\0', ""},
};

constexpr Entry kChannels[] = {
    {'B', "ECb"}, {'D', "Def"}, {'E', "E'b"}, {'P', "ECp"}, {'T', "Tmp"}, {'W', "VWC"}, {'\0', ""},
};

}  // namespace

const char* DeviceName(char code) { return Look(kDevices, code); }
const char* UnitsName(char code) { return Look(kUnits, code); }
const char* ProfileSoilName(char code) { return Look(kProfileSoils, code); }
const char* SensorSoilName(char code) { return Look(kSensorSoils, code); }
const char* ChannelLabel(char code) { return Look(kChannels, code); }

const char* ChannelUnits(char channel, char vwcUnits, char ecUnits) {
    switch (channel) {
    case 'B':
    case 'P': return UnitsName(ecUnits);
    case 'W': return UnitsName(vwcUnits);
    case 'D': return "mm Deficit";
    case 'T': return "degC";
    default: return "";
    }
}

std::string DecodeCoefficient(const char* field3) {
    char text[4] = {};
    std::memcpy(text, field3, 3);
    float v = 0;
    int consumed = 0;
    if (std::sscanf(text, "%3f%n", &v, &consumed) == 1 && consumed == 3) {
        // The meter's coding, compared and computed on the single-precision value.
        if (v >= 100.0f) v = static_cast<float>(v / 10.0);
        if (v > 50.0f) v = static_cast<float>(v - 100.0);
        char out[64];
        std::snprintf(out, sizeof out, "%.1f", static_cast<double>(v));
        return out;
    }
    return std::string(field3, strnlen(field3, 3));
}

}  // namespace loamer
