// The record index: where each record's line lies and the parser state it is read with, noted
// while the file is re-read from its start, so that a step back reads a few lines instead of the
// whole file again.  It holds no decoded values: a record's results are read from its own line,
// and a result that its line leaves unchanged is read from the line that last wrote it.
#pragma once

#include "loamset/dataset_state.h"

#include <climits>
#include <cstdint>
#include <vector>

namespace loamset {

struct IndexedRecord {
    std::uint64_t lineStart; // offset of the record's reading line
    std::uint64_t lineEnd;   // offset of the line after it
    std::uint32_t header;    // header snapshot the line is read with
    std::uint32_t sources;   // where the record's results come from
};

struct HeaderSnapshot {
    HeaderState state;
    HeaderWritten written;
};

// For each result column, the record whose line last wrote the value (and whether that line only
// changed the error code of what stood before it), and the record whose line last gave the series.
constexpr int kNoSource = -1;   // no line since the rewind: the value from before the rewind stays
constexpr int kThisRecord = -2; // the record's own line
struct ResultSources {
    std::int32_t value[kResultColumns];
    std::int32_t series[kResultColumns];
    std::uint16_t errorOnly; // bit k: the value's source line only changed its error code
};

// What a reading line did to the results: the columns whose value cell it read, those whose error
// it changed without reading their value, and those it gave a series.
struct LineEffects {
    std::uint16_t valueSet = 0;
    std::uint16_t errorOnly = 0;
    std::uint16_t series = 0;
    bool operator==(const LineEffects&) const = default;
};

class RecordIndex {
public:
    // Begins a new index at a rewind; `start` is the header state the re-read begins with.
    void Start(const HeaderState& start, std::uint64_t fileSize, int dateOrder, bool dateOrderKnown);
    void Drop();
    bool Building() const { return m_building; }
    void StopBuilding() { m_building = false; }

    // The next record, read by the re-read in progress.  Stops and drops the index when it would
    // grow beyond its memory limit.  Throws nothing.
    void Append(const IndexedRecord& where, const HeaderState& state, const HeaderWritten& written,
                bool headerChanged, const LineEffects& effects, std::uint64_t recordTime);

    // The re-read read a part of the header state that it had not written: from this record on the
    // index holds only for a re-read that starts from the same header state.
    void NoteStartDependence(int record)
    {
        if (m_building && record < m_dependsFrom)
            m_dependsFrom = record;
    }

    // Whether record `target` can be reached through the index from the object's present state.
    bool Reaches(int target, const HeaderState& current, std::uint64_t fileSize, int dateOrder,
                 bool dateOrderKnown) const;

    int Size() const { return static_cast<int>(m_records.size()); }
    const IndexedRecord& Record(int r) const { return m_records[static_cast<std::size_t>(r)]; }
    const HeaderSnapshot& Header(int r) const { return m_headers[Record(r).header]; }
    // The record whose line last wrote result column k's value up to record r, kNoSource for none;
    // errorOnly tells whether that line only changed the error code.
    int ValueSource(int r, int k, bool& errorOnly) const;
    int SeriesSource(int r, int k) const;
    std::uint64_t FirstRecordTime() const { return m_firstRecordTime; }
    // Changes whenever the index starts anew or is dropped.
    std::uint64_t Generation() const { return m_generation; }

private:
    std::vector<IndexedRecord> m_records;
    std::vector<HeaderSnapshot> m_headers;
    std::vector<ResultSources> m_sources;
    HeaderState m_start{};
    std::uint64_t m_fileSize = 0;
    int m_dateOrder = 0;
    bool m_dateOrderKnown = false;
    bool m_building = false;
    int m_dependsFrom = INT_MAX;
    LineEffects m_lastEffects{};
    std::uint64_t m_firstRecordTime = 0;
    std::uint64_t m_generation = 0;
};

} // namespace loamset
