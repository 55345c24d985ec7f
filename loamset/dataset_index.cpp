#include "loamset/dataset_index.h"

#include <new>

namespace loamset {
namespace {

// Beyond this the index gives up and steps back re-read the file.
constexpr std::size_t kMemoryLimit = std::size_t{256} << 20;

template <class T>
void Release(std::vector<T>& v)
{
    std::vector<T>().swap(v);
}

} // namespace

void RecordIndex::Start(const HeaderState& start, std::uint64_t fileSize, int dateOrder, bool dateOrderKnown)
{
    Drop();
    m_start = start;
    m_fileSize = fileSize;
    m_dateOrder = dateOrder;
    m_dateOrderKnown = dateOrderKnown;
    m_building = true;
}

void RecordIndex::Drop()
{
    Release(m_records);
    Release(m_headers);
    Release(m_sources);
    m_building = false;
    m_dependsFrom = INT_MAX;
    m_lastEffects = LineEffects{};
    m_firstRecordTime = 0;
    ++m_generation;
}

void RecordIndex::Append(const IndexedRecord& where, const HeaderState& state, const HeaderWritten& written,
                         bool headerChanged, const LineEffects& effects, std::uint64_t recordTime)
{
    if (!m_building)
        return;
    const std::size_t bytes = (m_records.size() + 1) * sizeof(IndexedRecord) +
                              (m_headers.size() + 1) * sizeof(HeaderSnapshot) +
                              (m_sources.size() + 1) * sizeof(ResultSources);
    if (bytes > kMemoryLimit) {
        Drop();
        return;
    }
    try {
        IndexedRecord record = where;
        if (m_headers.empty() ||
            (headerChanged && !(m_headers.back().state == state && m_headers.back().written == written)))
            m_headers.push_back(HeaderSnapshot{state, written});
        record.header = static_cast<std::uint32_t>(m_headers.size() - 1);

        const int r = static_cast<int>(m_records.size());
        // A record whose line did the same as the line before has the same sources: the columns
        // both lines wrote are "this record", the others were written before either.
        if (m_sources.empty() || !(effects == m_lastEffects)) {
            ResultSources next{};
            const ResultSources* previous = m_sources.empty() ? nullptr : &m_sources.back();
            for (int k = 0; k < kResultColumns; ++k) {
                const auto bit = static_cast<std::uint16_t>(1u << k);
                if ((effects.valueSet & bit) != 0) {
                    next.value[k] = kThisRecord;
                } else if ((effects.errorOnly & bit) != 0) {
                    next.value[k] = kThisRecord;
                    next.errorOnly |= bit;
                } else if (previous != nullptr) {
                    next.value[k] = previous->value[k] == kThisRecord ? r - 1 : previous->value[k];
                    next.errorOnly |= static_cast<std::uint16_t>(previous->errorOnly & bit);
                } else {
                    next.value[k] = kNoSource;
                }
                if ((effects.series & bit) != 0)
                    next.series[k] = kThisRecord;
                else if (previous != nullptr)
                    next.series[k] = previous->series[k] == kThisRecord ? r - 1 : previous->series[k];
                else
                    next.series[k] = kNoSource;
            }
            m_sources.push_back(next);
            m_lastEffects = effects;
        }
        record.sources = static_cast<std::uint32_t>(m_sources.size() - 1);
        m_records.push_back(record);
        if (r == 0)
            m_firstRecordTime = recordTime;
    } catch (const std::bad_alloc&) {
        Drop();
    }
}

bool RecordIndex::Reaches(int target, const HeaderState& current, std::uint64_t fileSize, int dateOrder,
                          bool dateOrderKnown) const
{
    if (target < 0 || target >= Size() || fileSize != m_fileSize || dateOrder != m_dateOrder ||
        dateOrderKnown != m_dateOrderKnown)
        return false;
    return target < m_dependsFrom || current == m_start;
}

int RecordIndex::ValueSource(int r, int k, bool& errorOnly) const
{
    const ResultSources& s = m_sources[Record(r).sources];
    errorOnly = (s.errorOnly & (1u << k)) != 0;
    return s.value[k] == kThisRecord ? r : s.value[k];
}

int RecordIndex::SeriesSource(int r, int k) const
{
    const ResultSources& s = m_sources[Record(r).sources];
    return s.series[k] == kThisRecord ? r : s.series[k];
}

} // namespace loamset
