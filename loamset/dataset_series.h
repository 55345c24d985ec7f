// The series of a data set: one per combination of plot, quantity kind, depth, device and units,
// numbered in order of first appearance.
#pragma once

#include "loamset/dataset_pools.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace loamset {

struct SeriesNode {
    const char* name;    // plot and kind joined by a full stop, a copy owned by the arena
    const char* channel; // depth text (pooled or constant)
    const char* type;    // device text (pooled or constant); null when the data set named none
    const char* units;   // units text (pooled or constant)
};

class SeriesList {
public:
    explicit SeriesList(TextArena& arena) : m_arena(&arena) {}

    // FindOrAddSeries: the index of the series whose name, channel, type and units equal these
    // (ignoring case; a null text counts as empty), or a new series.  Throws std::bad_alloc.
    int FindOrAdd(const char* plot, const char* kind, const char* channel, const char* type, const char* units);

    int Count() const { return static_cast<int>(m_nodes.size()); }
    const SeriesNode& Node(int index) const { return m_nodes[static_cast<std::size_t>(index)]; }
    void Clear();

private:
    struct Texts {
        const char* plot;
        const char* kind;
        const char* channel;
        const char* type;
        const char* units;
        bool operator==(const Texts&) const = default;
    };
    struct TextsHash {
        std::size_t operator()(const Texts& t) const;
    };

    TextArena* m_arena;
    std::vector<SeriesNode> m_nodes;
    // Key: name, channel, type and units lower-cased, each followed by a NUL.
    std::unordered_map<std::string, int> m_byKey;
    // Pooled texts are unique ignoring case, so the same pointers always find the same series.
    std::unordered_map<Texts, int, TextsHash> m_byPointers;
    Texts m_lastTexts{};
    int m_lastIndex = -1;
};

} // namespace loamset
