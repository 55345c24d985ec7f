#include "loamset/dataset_keywords.h"

#include "loamset/dataset_pools.h"

namespace loamset {
namespace {

struct Keyword {
    std::string_view text;
    LineKind kind;
};

constexpr Keyword kKeywords[] = {
    {"Versions", LINE_VERSIONS},
    {"Table", LINE_TABLE},
    {"Units", LINE_UNITS},
    {"Soil", LINE_SOIL},
    {"A0", LINE_A0},
    {"A1", LINE_A1},
    {"B0", LINE_B0},
    {"B1", LINE_B1},
    {"Soil Parameter", LINE_SOIL_PARAMETER},
    {"Field Capacity", LINE_FIELD_CAPACITY},
    {"Device", LINE_DEVICE},
    {"Root Depth", LINE_ROOT_DEPTH},
    {"Sensor Depth", LINE_SENSOR_DEPTH},
    {"Time", LINE_TITLE},
};

// Reading lines begin with a digit: only cells whose first letter starts some keyword are searched.
constexpr bool MayStartKeyword(char c)
{
    switch (LowerAscii(c)) {
    case 'v': case 't': case 'u': case 's': case 'a': case 'b': case 'f': case 'd': case 'r':
        return true;
    default:
        return false;
    }
}

} // namespace

LineKind KindOfFirstCell(std::string_view cell)
{
    if (cell.empty() || !MayStartKeyword(cell.front()))
        return LINE_DATA;
    for (const Keyword& keyword : kKeywords)
        if (StartsWithNoCase(cell, keyword.text))
            return keyword.kind;
    return LINE_DATA;
}

int ContinuedKind(int previous, int current)
{
    if (previous == LINE_TABLE && current == LINE_TABLE)
        return LINE_TABLE_MORE;
    if (previous == LINE_UNITS && current == LINE_UNITS)
        return LINE_UNITS_MORE;
    if (previous == LINE_TITLE && current == LINE_TITLE)
        return LINE_UNITS_ROW;
    return current;
}

} // namespace loamset
