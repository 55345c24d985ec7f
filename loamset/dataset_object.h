// CTQ4Dataset: the dataset object that reads a data record file through IKXDataset.
#pragma once

#include "loamset/dataset.h"
#include "loamset/dataset_cells.h"
#include "loamset/dataset_index.h"
#include "loamset/dataset_pools.h"
#include "loamset/dataset_series.h"
#include "loamset/dataset_state.h"
#include "loamset/kxdataset.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace loamset {

class CTQ4Dataset final : public IKXDataset {
public:
    explicit CTQ4Dataset(const DatasetOptions& options);
    CTQ4Dataset(const CTQ4Dataset&) = delete;
    CTQ4Dataset& operator=(const CTQ4Dataset&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE Open(const KXWCHAR* pszFileName, _KXHEADERCAPS* pnCaps, _KXHEADERCAPSEX* pnCapsEx,
                                   _KXHeader* pDataset) override;
    HRESULT STDMETHODCALLTYPE EnumSeries(_KXSERIESCAPS* pnSeriesCaps, int* pnSeries, _KXSeries* pSeries) override;
    HRESULT STDMETHODCALLTYPE ReadRecord(int nRecord, int* pnResults, FILETIME* pdRecord, _KXResult* aResults,
                                         FILETIME* adTimestamps, ULONG* pdwPos) override;

private:
    ~CTQ4Dataset();

    // Texts of one opened file; a second Open keeps the old ones alive for strings handed out.
    struct Texts {
        TextArena arena;
        StringPool devices{arena};
        StringPool depths{arena};
        StringPool titles{arena};
        StringPool plots{arena};
        SeriesList series{arena};
        const char* banner = nullptr;
    };

    void StartAfresh();
    void Rewind();
    HRESULT ReadNextRecord();
    HRESULT ReadNextRecordUnguarded();
    bool StepBackThroughIndex(int target);
    bool ReplayLine(int record, const HeaderState& before);

    // First cell and further cells of a line, by kind.
    HRESULT ReadDateCell(std::string_view cell, int& kind);
    void DeviceCell(std::string_view cell);
    void SensorDepthCell(int column, std::string_view cell);
    void TitleCell(int column, std::string_view cell, bool& lastTitleWasError);
    void UnitsRowCell(int column, std::string_view cell);
    void ReadingCell(int column, std::string_view cell, const char*& plot, std::uint16_t& valueSet,
                     std::uint16_t& errorTouched);
    void FinishReading(const char* plot);
    const char* UnitsOfText(std::string_view text);

    // The header state, read and written through these so that a re-read notes what it used.
    void Used(bool written)
    {
        if (!written)
            m_index.NoteStartDependence(m_nRecord + 1);
    }
    const char* Device() { Used(m_written.device); return m_head.device; }
    int DepthCount() { Used(m_written.nDepths); return m_head.nDepths; }
    const char* DepthText(int slot) { Used(m_written.depths[Ix(slot)]); return m_head.depths[Ix(slot)]; }
    int ColumnCount() { Used(m_written.nColumns); return m_head.nColumns; }
    int PlotColumn() { Used(m_written.plotColumn); return m_head.plotColumn; }
    int SlotOf(int column) { Used(m_written.colSlot[Ix(column)]); return m_head.columns[Ix(column)].nSlot; }
    bool IsErrorColumn(int column) { Used(m_written.colError[Ix(column)]); return m_head.columns[Ix(column)].bError; }
    const EntryHead& Entry(int k, bool depth, bool kind, bool units);
    void SetDevice(const char* device);
    void SetDepthCount(int n);
    void SetDepthText(int slot, const char* text);
    void SetColumnCount(int n);
    void SetPlotColumn(int column);
    void SetSlot(int column, int slot);
    void SetErrorColumn(int column, bool error);
    void SetEntryDepth(int k, int slot);
    void SetEntryKind(int k, const char* kind);
    void SetEntryUnits(int k, const char* units);
    void ClearSlots();
    static std::size_t Ix(int i) { return static_cast<std::size_t>(i); }

    ULONG m_refs = 1;
    DatasetOptions m_options;
    CellReader m_reader;
    int m_nRecord = -1;
    std::unique_ptr<Texts> m_texts;
    std::vector<std::unique_ptr<Texts>> m_retired; // texts of files opened before, kept for their strings

    HeaderState m_head{};
    HeaderWritten m_written{};
    bool m_headChanged = false;
    std::array<EntryValue, kResultColumns> m_values{};
    std::uint64_t m_ftRecord = 0;
    std::uint64_t m_ftFirstRecord = 0;
    int m_nDateOrder = 0;
    bool m_bDateOrderKnown = false;

    // Where the last reading line lay and what it did, for the index.
    std::uint64_t m_lineStart = 0;
    LineEffects m_lineEffects{};
    RecordIndex m_index;
    // The results of the line last replayed for a step back, while the same index holds: a data
    // set's steps back all take the columns their lines leave unchanged from the same line.
    int m_replayed = -1;
    std::uint64_t m_replayedIndex = 0;
    std::array<EntryValue, kResultColumns> m_replayedValues{};
};

} // namespace loamset
