// The record-reading step of CTQ4Dataset: the file's lines read cell by cell up to and including
// the next reading line, with the header lines on the way building the data set's state.
#include "loamset/dataset_keywords.h"
#include "loamset/dataset_object.h"
#include "loamset/dataset_values.h"

#include <new>

namespace loamset {
namespace {

constexpr char kVwc[] = "VWC";
constexpr char kDef[] = "Def";
constexpr char kMilliVolt[] = "mV";
constexpr char kPercent[] = "%";
constexpr char kMillimetre[] = "mm";
constexpr char kVp4[] = "VP4";
constexpr char kVp4Special[] = "VP4-S";
constexpr char kVp4Direct[] = "VP4-D";
constexpr char kVp4SpecialDirect[] = "VP4-SD";

bool Contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

// A cell lower-cased in ASCII (cells hold at most 254 characters).
class LowerCell {
public:
    explicit LowerCell(std::string_view text)
    {
        m_size = text.size() < sizeof m_text ? text.size() : sizeof m_text;
        for (std::size_t i = 0; i < m_size; ++i)
            m_text[i] = LowerAscii(text[i]);
    }
    std::string_view View() const { return {m_text, m_size}; }

private:
    char m_text[kMaxCellChars + 1];
    std::size_t m_size;
};

std::uint16_t Bit(int k) { return static_cast<std::uint16_t>(1u << k); }

} // namespace

const EntryHead& CTQ4Dataset::Entry(int k, bool depth, bool kind, bool units)
{
    if (depth)
        Used(m_written.entDepth[Ix(k)]);
    if (kind)
        Used(m_written.entKind[Ix(k)]);
    if (units)
        Used(m_written.entUnits[Ix(k)]);
    return m_head.entries[Ix(k)];
}

void CTQ4Dataset::SetDevice(const char* device)
{
    m_head.device = device;
    m_written.device = true;
    m_headChanged = true;
}

void CTQ4Dataset::SetDepthCount(int n)
{
    m_head.nDepths = n;
    m_written.nDepths = true;
    m_headChanged = true;
}

void CTQ4Dataset::SetDepthText(int slot, const char* text)
{
    m_head.depths[Ix(slot)] = text;
    m_written.depths[Ix(slot)] = true;
    m_headChanged = true;
}

void CTQ4Dataset::SetColumnCount(int n)
{
    m_head.nColumns = n;
    m_written.nColumns = true;
    m_headChanged = true;
}

void CTQ4Dataset::SetPlotColumn(int column)
{
    m_head.plotColumn = column;
    m_written.plotColumn = true;
    m_headChanged = true;
}

void CTQ4Dataset::SetSlot(int column, int slot)
{
    m_head.columns[Ix(column)].nSlot = slot;
    m_written.colSlot[Ix(column)] = true;
    m_headChanged = true;
}

void CTQ4Dataset::SetErrorColumn(int column, bool error)
{
    m_head.columns[Ix(column)].bError = error;
    m_written.colError[Ix(column)] = true;
    m_headChanged = true;
}

void CTQ4Dataset::SetEntryDepth(int k, int slot)
{
    m_head.entries[Ix(k)].nDepthSlot = slot;
    m_written.entDepth[Ix(k)] = true;
    m_headChanged = true;
}

void CTQ4Dataset::SetEntryKind(int k, const char* kind)
{
    m_head.entries[Ix(k)].pszKind = kind;
    m_written.entKind[Ix(k)] = true;
    m_headChanged = true;
}

void CTQ4Dataset::SetEntryUnits(int k, const char* units)
{
    m_head.entries[Ix(k)].pszUnits = units;
    m_written.entUnits[Ix(k)] = true;
    m_headChanged = true;
}

void CTQ4Dataset::ClearSlots()
{
    for (int c = 0; c < kColumnSlots; ++c)
        SetSlot(c, -1);
}

HRESULT CTQ4Dataset::ReadNextRecord()
{
    HRESULT hr;
    try {
        hr = ReadNextRecordUnguarded();
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    }
    if (hr == S_OK && m_index.Building() && m_nRecord == m_index.Size()) {
        m_index.Append(IndexedRecord{m_lineStart, m_reader.Tell(), 0, 0}, m_head, m_written, m_headChanged,
                       m_lineEffects, m_ftRecord);
    } else {
        m_index.StopBuilding();
    }
    if (hr == S_OK)
        m_headChanged = false;
    return hr;
}

HRESULT CTQ4Dataset::ReadNextRecordUnguarded()
{
    // Line state of this call only.
    int kind = LINE_IGNORED;
    int previous = LINE_IGNORED;
    int column = 0;
    const char* plot = nullptr;
    bool lastTitleWasError = false;
    std::uint16_t valueSet = 0;
    std::uint16_t errorTouched = 0;
    std::uint64_t lineStart = 0;
    Cell cell;
    for (;;) {
        switch (m_reader.Next(cell)) {
        case CellStatus::Ok:
            break;
        case CellStatus::EndOfFile:
            return DATASET_E_ENDOFFILE;
        case CellStatus::TooLong:
            return E_OUTOFMEMORY;
        }
        const std::string_view text = cell.text;
        if (column == 0) {
            lineStart = cell.start;
            // An ignored line leaves the previous kind as it was; an empty first cell repeats the
            // kind of the line before, and with it its action.
            if (kind != LINE_IGNORED)
                previous = kind;
            if (!text.empty()) {
                kind = KindOfFirstCell(text);
                if (kind != LINE_DATA && m_texts->banner == nullptr)
                    return DATASET_E_FORMAT;
            }
            kind = ContinuedKind(previous, kind);
            if (BreaksBlockRule(kind, previous))
                return DATASET_E_FORMAT;
            switch (kind) {
            case LINE_DATA:
                if (m_texts->banner == nullptr) {
                    m_texts->banner = m_texts->arena.Copy(text);
                    kind = LINE_IGNORED;
                } else if (HRESULT hr = ReadDateCell(text, kind); FAILED(hr)) {
                    return hr;
                }
                break;
            case LINE_TABLE:
                ClearSlots();
                break;
            case LINE_DEVICE:
                SetDevice(nullptr);
                SetColumnCount(0);
                SetDepthCount(0);
                ClearSlots();
                break;
            case LINE_TITLE:
                SetColumnCount(0);
                SetPlotColumn(-1);
                for (int k = 0; k < kResultColumns; ++k) {
                    SetEntryKind(k, kEmptyText);
                    SetEntryUnits(k, kEmptyText);
                }
                break;
            default:
                break;
            }
        } else if (column < kColumnSlots) {
            switch (kind) {
            case LINE_DEVICE:
                DeviceCell(text);
                break;
            case LINE_ROOT_DEPTH:
                if (!text.empty() && Device() == nullptr)
                    SetDevice(m_texts->depths.Intern(text));
                break;
            case LINE_SENSOR_DEPTH:
                SensorDepthCell(column, text);
                break;
            case LINE_TITLE:
                TitleCell(column, text, lastTitleWasError);
                break;
            case LINE_UNITS_ROW:
                UnitsRowCell(column, text);
                break;
            case LINE_READING:
                ReadingCell(column, text, plot, valueSet, errorTouched);
                break;
            default:
                break;
            }
        }
        if (!cell.endOfLine) {
            if (column < kColumnSlots)
                ++column;
            continue;
        }
        if (kind == LINE_TITLE) {
            // Title lines end with a comma: the empty cell behind the last title feeds nothing.
            if (column < kColumnSlots)
                SetSlot(column, -1);
        } else if (kind == LINE_READING) {
            FinishReading(plot);
            const int columns = m_head.nColumns;
            m_lineStart = lineStart;
            m_lineEffects.valueSet = valueSet;
            m_lineEffects.errorOnly = static_cast<std::uint16_t>(errorTouched & ~valueSet);
            m_lineEffects.series = static_cast<std::uint16_t>((1u << columns) - 1u);
            ++m_nRecord;
            return S_OK;
        }
        column = 0;
    }
}

HRESULT CTQ4Dataset::ReadDateCell(std::string_view cell, int& kind)
{
    DateScan scan;
    ScanDateCell(cell, scan);
    if (!m_bDateOrderKnown) {
        if (scan.yearFirst) {
            m_nDateOrder = 3;
            m_bDateOrderKnown = true;
        } else if (!scan.twoDigitFirst) {
            kind = LINE_IGNORED;
            return S_OK;
        } else if (scan.twoDigitForm[0] > 12) {
            m_nDateOrder = 0;
            m_bDateOrderKnown = true;
        } else if (scan.twoDigitForm[1] > 12) {
            m_nDateOrder = 1;
            m_bDateOrderKnown = true;
        }
    }
    unsigned year, month, day;
    const unsigned* time;
    if (m_nDateOrder == 3) {
        if (!scan.yearFirst) {
            kind = LINE_IGNORED;
            return S_OK;
        }
        year = scan.yearForm[0];
        month = scan.yearForm[1];
        day = scan.yearForm[2];
        time = scan.yearForm + 3;
    } else {
        if (!scan.twoDigitFirst) {
            kind = LINE_IGNORED;
            return S_OK;
        }
        // Unsettled dates are read day first.
        day = scan.twoDigitForm[m_nDateOrder == 1 ? 1 : 0];
        month = scan.twoDigitForm[m_nDateOrder == 1 ? 0 : 1];
        year = scan.twoDigitForm[2];
        time = scan.twoDigitForm + 3;
    }
    std::uint64_t fileTime = 0;
    if (!FileTimeFromFields(year, month, day, time[0], time[1], time[2], fileTime))
        return DATASET_E_FORMAT;
    m_ftRecord = fileTime;
    if (m_nRecord == -1)
        m_ftFirstRecord = fileTime;
    kind = LINE_READING;
    return S_OK;
}

void CTQ4Dataset::DeviceCell(std::string_view cell)
{
    if (cell.empty() || Device() != nullptr)
        return;
    if (StartsWithNoCase(cell, "VP4")) {
        const LowerCell rest(cell.substr(3));
        const bool special = Contains(rest.View(), "special");
        const bool direct = Contains(rest.View(), "direct");
        SetDevice(special ? (direct ? kVp4SpecialDirect : kVp4Special) : (direct ? kVp4Direct : kVp4));
        return;
    }
    SetDevice(m_texts->devices.Intern(cell));
}

void CTQ4Dataset::SensorDepthCell(int column, std::string_view cell)
{
    if (cell.empty())
        return;
    int slot = SlotOf(column);
    if (slot == -1 && DepthCount() < kDepthSlots) {
        slot = DepthCount();
        SetSlot(column, slot);
        SetDepthCount(slot + 1);
    }
    // A seventh depth is dropped.  After a Device line a column holds no slot of a title line.
    if (slot >= 0 && slot < kDepthSlots)
        SetDepthText(slot, m_texts->depths.Intern(cell));
}

const char* CTQ4Dataset::UnitsOfText(std::string_view text)
{
    if (Contains(text, "%"))
        return kPercent;
    if (Contains(text, "mm"))
        return kMillimetre;
    return m_texts->titles.Intern(text);
}

void CTQ4Dataset::TitleCell(int column, std::string_view cell, bool& lastTitleWasError)
{
    // The rules in their order: the first that applies decides.
    if (PlotColumn() == -1 && StartsWithNoCase(cell, "Plot")) {
        SetPlotColumn(column);
        return;
    }
    const int k = ColumnCount();
    if (k > 0 && StartsWithNoCase(cell, "Error") && !lastTitleWasError) {
        SetSlot(column, k - 1);
        SetErrorColumn(column, true);
        lastTitleWasError = true;
        return;
    }
    if (cell.empty()) {
        // An empty title feeds no result, whatever a depth line gave its column.
        SetSlot(column, -1);
        return;
    }
    if (k == kResultColumns) {
        SetSlot(column, -1);
        return;
    }
    // The depth given to this column by the Sensor Depth line, else the depth of the column before.
    // A slot beyond the six depths (only a title line read twice leaves one) names no depth.
    const int slot = SlotOf(column);
    const int depth = slot >= 0 ? slot : (k > 0 ? Entry(k - 1, true, false, false).nDepthSlot : kNoDepth);
    SetEntryDepth(k, depth);
    SetSlot(column, k);
    SetErrorColumn(column, false);
    lastTitleWasError = false;

    const char* units = UnitsOfText(cell);
    const LowerCell lower(cell);
    const std::string_view l = lower.View();
    const char* kind;
    if (Contains(l, "%") || Contains(l, "-3"))
        kind = kVwc;
    else if (Contains(l, "mm") || Contains(l, "def"))
        kind = kDef;
    else if (Contains(l, "mv"))
        kind = kMilliVolt;
    else
        kind = units;
    if (StartsWithNoCase(cell, "Sample") || StartsWithNoCase(cell, "Device"))
        units = kEmptyText;
    SetEntryKind(k, kind);
    SetEntryUnits(k, units);
    SetColumnCount(k + 1);
}

void CTQ4Dataset::UnitsRowCell(int column, std::string_view cell)
{
    const int k = SlotOf(column);
    if (k < 0 || IsErrorColumn(column) || k >= ColumnCount())
        return;
    SetEntryUnits(k, UnitsOfText(cell));
}

void CTQ4Dataset::ReadingCell(int column, std::string_view cell, const char*& plot, std::uint16_t& valueSet,
                              std::uint16_t& errorTouched)
{
    if (column == PlotColumn()) {
        plot = m_texts->plots.Intern(cell);
        return;
    }
    const int k = SlotOf(column);
    if (k < 0 || k >= ColumnCount())
        return;
    EntryValue& entry = m_values[Ix(k)];
    if (!IsErrorColumn(column)) {
        // Without a number the value has no meaning; it is 0 so that every read gives the same.
        double value = 0;
        if (ReadNumberCell(cell, value)) {
            entry.dValue = value;
            entry.nErr = KXRESERROR_NONE;
        } else {
            entry.dValue = 0;
            entry.nErr = KXRESERROR_EMPTY;
        }
        valueSet |= Bit(k);
        return;
    }
    if (cell.empty())
        return;
    const std::uint32_t code = ErrorCodeOfCell(cell);
    entry.nErr = entry.nErr == KXRESERROR_EMPTY ? (code | KXRESERROR_SEVFATAL) : code;
    errorTouched |= Bit(k);
}

void CTQ4Dataset::FinishReading(const char* plot)
{
    const int columns = ColumnCount();
    for (int k = 0; k < columns; ++k) {
        const EntryHead& entry = Entry(k, true, true, true);
        const char* channel =
            (entry.nDepthSlot >= 0 && entry.nDepthSlot < kDepthSlots) ? DepthText(entry.nDepthSlot) : kEmptyText;
        m_values[Ix(k)].iSeries = m_texts->series.FindOrAdd(plot, entry.pszKind, channel, Device(), entry.pszUnits);
    }
}

} // namespace loamset
