// What a dataset object keeps about the data set being read: the header state that header lines
// build (device, depths, column map, result columns) and the results of the current record.
#pragma once

#include <array>
#include <cstdint>

namespace loamset {

constexpr int kDepthSlots = 6;    // sensor depths of a data set
constexpr int kNoDepth = 6;       // the depth slot of a result column without a depth
constexpr int kResultColumns = 14; // result columns of a title line
constexpr int kColumnSlots = 28;  // cells of a line that are looked at; later cells are ignored

extern const char kEmptyText[]; // the empty string handed out for no text

struct ColumnSlot {
    // After a Sensor Depth line the column's depth slot, after a title line the result column it
    // feeds; -1 for none.
    int nSlot = -1;
    bool bError = false; // an Error column of the title line
    bool operator==(const ColumnSlot&) const = default;
};

struct EntryHead {
    int nDepthSlot = kNoDepth;
    const char* pszKind = kEmptyText;
    const char* pszUnits = kEmptyText;
    bool operator==(const EntryHead&) const = default;
};

struct HeaderState {
    const char* device = nullptr; // none until a Device or Root Depth cell names one
    int nDepths = 0;
    std::array<const char*, kDepthSlots> depths{kEmptyText, kEmptyText, kEmptyText,
                                                kEmptyText, kEmptyText, kEmptyText};
    int nColumns = 0;
    int plotColumn = -1;
    std::array<ColumnSlot, kColumnSlots> columns{};
    std::array<EntryHead, kResultColumns> entries{};
    bool operator==(const HeaderState&) const = default;
};

// Which parts of the header state were written since the stream was last rewound.
struct HeaderWritten {
    bool device = false;
    bool nDepths = false;
    std::array<bool, kDepthSlots> depths{};
    bool nColumns = false;
    bool plotColumn = false;
    std::array<bool, kColumnSlots> colSlot{};
    std::array<bool, kColumnSlots> colError{};
    std::array<bool, kResultColumns> entDepth{};
    std::array<bool, kResultColumns> entKind{};
    std::array<bool, kResultColumns> entUnits{};
    bool operator==(const HeaderWritten&) const = default;
};

// The parts of the header state written since the rewind come from `written`, the others stay.
void MergeWritten(HeaderState& state, const HeaderState& snapshot, const HeaderWritten& written);

// The result of one result column for the current record.
struct EntryValue {
    double dValue = 0;
    std::uint32_t nErr = 0;
    int iSeries = 0;
};

} // namespace loamset
