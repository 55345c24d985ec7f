// Line kinds of a data record file: the keyword table searched with a line's first cell, the
// continuation kinds and the block rule.
#pragma once

#include <string_view>

namespace loamset {

// The high four bits name a block (16 tables, 32 soil, 64 device, 128 titles); bit 3 marks a kind
// that may only follow a line of its own block.
enum LineKind : int {
    LINE_IGNORED = 0,
    LINE_DATA = 1,
    LINE_VERSIONS = 3,
    LINE_TABLE = 16,
    LINE_UNITS = 24,
    LINE_TABLE_MORE = 25,
    LINE_UNITS_MORE = 26,
    LINE_SOIL = 32,
    LINE_A0 = 40,
    LINE_A1 = 41,
    LINE_B0 = 42,
    LINE_B1 = 43,
    LINE_SOIL_PARAMETER = 44,
    LINE_FIELD_CAPACITY = 45,
    LINE_DEVICE = 64,
    LINE_ROOT_DEPTH = 72,
    LINE_SENSOR_DEPTH = 73,
    LINE_TITLE = 128,
    LINE_UNITS_ROW = 136,
    LINE_READING = 137,
};

// The kind named by a non-empty first cell: the first keyword of the table that the cell begins
// with, ignoring case; LINE_DATA when none does.  "Soil" stands before "Soil Parameter", so a
// "Soil Parameter" line is a soil line.
LineKind KindOfFirstCell(std::string_view cell);

// A line of the same table, units or title kind right after another becomes its continuation.
int ContinuedKind(int previous, int current);

inline bool BreaksBlockRule(int kind, int previous) { return (kind & 8) != 0 && ((kind ^ previous) & 0xF0) != 0; }

} // namespace loamset
