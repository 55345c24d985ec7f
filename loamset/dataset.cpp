// CTQ4Dataset: creation, reference counting, and the three operations of IKXDataset.
#include "loamset/dataset_object.h"

#include <atomic>
#include <cstring>
#include <new>

#include "loamset/platform.h"

namespace loamset {
namespace {

std::atomic<long> g_liveObjects{0};

constexpr char kDeviceName[] = "TQ4";
constexpr int kHeaderCaps = KXHEADERCAPS_DEVICEID | KXHEADERCAPS_DEVNAME | KXHEADERCAPS_ABSDATE |
                            KXHEADERCAPS_STARTED | KXHEADERCAPS_FIRSTREC | KXHEADERCAPS_LOCALE |
                            KXHEADERCAPS_SERIES | KXHEADERCAPS_RECSIZE;
static_assert(kHeaderCaps == 0x03092083);
constexpr int kSeriesCaps =
    KXSERIESCAPS_CHANNELNAME | KXSERIESCAPS_SENSORNAME | KXSERIESCAPS_SENSORTYPE | KXSERIESCAPS_UNITS;

FILETIME SplitFileTime(std::uint64_t t)
{
    FILETIME ft;
    ft.dwLowDateTime = static_cast<ULONG>(t & 0xFFFFFFFFu);
    ft.dwHighDateTime = static_cast<ULONG>(t >> 32);
    return ft;
}

} // namespace

HRESULT CreateDataset(REFIID riid, void** ppv, const DatasetOptions& options)
{
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    CTQ4Dataset* object;
    try {
        object = new CTQ4Dataset(options);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    const HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

long LiveDatasetObjects() { return g_liveObjects.load(); }

CTQ4Dataset::CTQ4Dataset(const DatasetOptions& options) : m_options(options), m_texts(std::make_unique<Texts>())
{
    ++g_liveObjects;
}

CTQ4Dataset::~CTQ4Dataset() { --g_liveObjects; }

HRESULT STDMETHODCALLTYPE CTQ4Dataset::QueryInterface(REFIID riid, void** ppvObject)
{
    if (ppvObject == nullptr)
        return E_POINTER;
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IKXDataset)) {
        *ppvObject = static_cast<IKXDataset*>(this);
        AddRef();
        return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CTQ4Dataset::AddRef() { return ++m_refs; }

ULONG STDMETHODCALLTYPE CTQ4Dataset::Release()
{
    const ULONG left = --m_refs;
    if (left == 0)
        delete this;
    return left;
}

void CTQ4Dataset::StartAfresh()
{
    m_reader.Close();
    m_index.Drop();
    // Strings handed out for the first file stay valid until the object goes.
    auto fresh = std::make_unique<Texts>();
    m_retired.push_back(std::move(m_texts));
    m_texts = std::move(fresh);
    m_nRecord = -1;
    m_head = HeaderState{};
    m_written = HeaderWritten{};
    m_headChanged = false;
    m_values = {};
    m_ftRecord = 0;
    m_ftFirstRecord = 0;
    m_nDateOrder = 0;
    m_bDateOrderKnown = false;
}

void CTQ4Dataset::Rewind()
{
    m_reader.Seek(0);
    m_nRecord = -1;
    m_written = HeaderWritten{};
    m_headChanged = true;
    if (m_options.recordIndex)
        m_index.Start(m_head, m_reader.FileSize(), m_nDateOrder, m_bDateOrderKnown);
    else
        m_index.Drop();
}

HRESULT STDMETHODCALLTYPE CTQ4Dataset::Open(const KXWCHAR* pszFileName, _KXHEADERCAPS* pnCaps,
                                            _KXHEADERCAPSEX* pnCapsEx, _KXHeader* pDataset)
{
    if (pnCaps == nullptr || pnCapsEx == nullptr || pDataset == nullptr || pszFileName == nullptr)
        return E_POINTER;
    try {
        if (m_reader.IsOpen() || m_texts->banner != nullptr || m_texts->series.Count() != 0)
            StartAfresh();
        FileHandle file = kNoFile;
        if (const HRESULT opened = OpenDataFile(pszFileName, file); FAILED(opened))
            return opened;
        m_reader.Attach(file);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }

    Rewind();
    m_index.Drop(); // the first pass builds no index
    HRESULT hr;
    while ((hr = ReadNextRecord()) == S_OK) {
    }
    if (hr != DATASET_E_ENDOFFILE)
        return hr;

    *pnCaps = static_cast<_KXHEADERCAPS>(kHeaderCaps);
    *pnCapsEx = KXHEADERCAPSEX_NONE;
    std::memset(pDataset, 0, sizeof *pDataset);
    pDataset->nCaps = static_cast<_KXHEADERCAPS>(kHeaderCaps);
    pDataset->nCapsEx = KXHEADERCAPSEX_NONE;
    pDataset->nRecCaps = KXRECORDCAPS_NONE;
    pDataset->nSerCaps = static_cast<_KXSERIESCAPS>(kSeriesCaps);
    pDataset->nDeviceID = KXDEVID_TQ4;
    pDataset->pszDevName = kDeviceName;
    pDataset->nLocale = static_cast<_KXDATEORDER>(m_nDateOrder);
    pDataset->dStarted = SplitFileTime(m_ftFirstRecord);
    pDataset->dFirstRec = SplitFileTime(m_ftFirstRecord);
    pDataset->nRecords = m_nRecord + 1;
    pDataset->nSeries = m_texts->series.Count();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CTQ4Dataset::EnumSeries(_KXSERIESCAPS* pnSeriesCaps, int* pnSeries, _KXSeries* pSeries)
{
    if (!m_reader.IsOpen())
        return DATASET_E_NOTOPEN;
    if (pnSeriesCaps != nullptr)
        *pnSeriesCaps = static_cast<_KXSERIESCAPS>(kSeriesCaps);
    const SeriesList& series = m_texts->series;
    const int count = series.Count();
    if (pSeries != nullptr) {
        if (pnSeries == nullptr)
            return E_POINTER;
        if (*pnSeries < count)
            return E_OUTOFMEMORY;
        for (int i = 0; i < count; ++i) {
            const SeriesNode& node = series.Node(i);
            _KXSeries& out = pSeries[i];
            out.pszChannel = node.channel;
            out.pszSensorName = node.name;
            out.pszSensorType = node.type != nullptr ? node.type : kEmptyText;
            out.pszUnits = node.units;
        }
    }
    if (pnSeries != nullptr)
        *pnSeries = count;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CTQ4Dataset::ReadRecord(int nRecord, int* pnResults, FILETIME* pdRecord,
                                                  _KXResult* aResults, FILETIME* adTimestamps, ULONG* pdwPos)
{
    if (nRecord < 0)
        return E_INVALIDARG;
    if ((aResults != nullptr || adTimestamps != nullptr) && pnResults == nullptr)
        return E_POINTER;
    if (!m_reader.IsOpen())
        return DATASET_E_NOTOPEN;
    if (m_nRecord > nRecord && !(m_options.recordIndex && StepBackThroughIndex(nRecord)))
        Rewind();
    while (m_nRecord < nRecord) {
        const HRESULT hr = ReadNextRecord();
        if (FAILED(hr))
            return hr;
    }
    const int count = m_head.nColumns;
    if ((aResults != nullptr || adTimestamps != nullptr) && *pnResults < count)
        return E_POINTER;
    if (pnResults != nullptr)
        *pnResults = count;
    const FILETIME time = SplitFileTime(m_ftRecord);
    if (pdRecord != nullptr)
        *pdRecord = time;
    for (int k = 0; adTimestamps != nullptr && k < count; ++k)
        adTimestamps[k] = time;
    for (int k = 0; aResults != nullptr && k < count; ++k) {
        const EntryValue& entry = m_values[Ix(k)];
        aResults[k].iSeries = entry.iSeries;
        aResults[k].u.v.err = static_cast<_KXRESERROR>(entry.nErr);
        aResults[k].u.v.val.d = entry.dValue;
    }
    if (pdwPos != nullptr)
        *pdwPos = static_cast<ULONG>(m_reader.Tell());
    return S_OK;
}

bool CTQ4Dataset::ReplayLine(int record, const HeaderState& before)
{
    const HeaderSnapshot& snapshot = m_index.Header(record);
    m_head = before;
    MergeWritten(m_head, snapshot.state, snapshot.written);
    m_written = snapshot.written;
    const IndexedRecord& where = m_index.Record(record);
    m_reader.Seek(where.lineStart);
    m_nRecord = record - 1;
    return ReadNextRecordUnguarded() == S_OK && m_reader.Tell() == where.lineEnd;
}

// Reaches record `target` as a re-read from the file's start would: its header state from the
// index (the parts the re-read had not written stay as they are now), the results its line leaves
// unchanged from the lines that last wrote them (or as they are now, when no line since the
// rewind did), then its own line.
bool CTQ4Dataset::StepBackThroughIndex(int target)
{
    if (!m_index.Reaches(target, m_head, m_reader.FileSize(), m_nDateOrder, m_bDateOrderKnown))
        return false;
    m_index.StopBuilding();
    const HeaderState headBefore = m_head;
    const HeaderWritten writtenBefore = m_written;
    const std::array<EntryValue, kResultColumns> valuesBefore = m_values;
    const std::uint64_t ftRecordBefore = m_ftRecord;
    const std::uint64_t ftFirstBefore = m_ftFirstRecord;
    const std::uint64_t positionBefore = m_reader.Tell();
    const int recordBefore = m_nRecord;

    // What a line gives the columns it reads does not depend on what stood before it.
    if (m_replayedIndex != m_index.Generation())
        m_replayed = -1;
    auto resultsOf = [&](int record) -> const std::array<EntryValue, kResultColumns>* {
        if (m_replayed != record) {
            m_replayed = -1;
            if (!ReplayLine(record, headBefore))
                return nullptr;
            m_replayed = record;
            m_replayedIndex = m_index.Generation();
            m_replayedValues = m_values;
        }
        return &m_replayedValues;
    };

    bool ok = true;
    std::array<EntryValue, kResultColumns> start = valuesBefore;
    try {
        for (int k = 0; ok && k < kResultColumns; ++k) {
            bool errorOnly = false;
            if (!(m_index.ValueSource(target, k, errorOnly) == target && !errorOnly)) {
                // The value before the target's line: from the last line that read it, then
                // through the lines after it that only changed its error code.
                std::vector<int> errorLines;
                EntryValue value = valuesBefore[Ix(k)];
                for (int at = target - 1; at >= 0;) {
                    const int source = m_index.ValueSource(at, k, errorOnly);
                    if (source == kNoSource)
                        break;
                    if (!errorOnly) {
                        const auto* results = resultsOf(source);
                        ok = results != nullptr;
                        if (ok)
                            value = (*results)[Ix(k)];
                        break;
                    }
                    errorLines.push_back(source);
                    at = source - 1;
                }
                for (auto line = errorLines.rbegin(); ok && line != errorLines.rend(); ++line) {
                    m_values[Ix(k)] = value;
                    ok = ReplayLine(*line, headBefore);
                    value.dValue = m_values[Ix(k)].dValue;
                    value.nErr = m_values[Ix(k)].nErr;
                }
                start[Ix(k)].dValue = value.dValue;
                start[Ix(k)].nErr = value.nErr;
            }
            if (ok && target > 0 && m_index.SeriesSource(target, k) != target) {
                const int source = m_index.SeriesSource(target - 1, k);
                if (source != kNoSource) {
                    const auto* results = resultsOf(source);
                    ok = results != nullptr;
                    if (ok)
                        start[Ix(k)].iSeries = (*results)[Ix(k)].iSeries;
                }
            }
        }
        if (ok) {
            m_values = start;
            ok = ReplayLine(target, headBefore);
        }
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    if (!ok) {
        m_index.Drop();
        m_head = headBefore;
        m_written = writtenBefore;
        m_values = valuesBefore;
        m_ftRecord = ftRecordBefore;
        m_ftFirstRecord = ftFirstBefore;
        m_nRecord = recordBefore;
        m_reader.Seek(positionBefore);
        return false;
    }
    if (target != 0)
        m_ftFirstRecord = m_index.FirstRecordTime();
    m_headChanged = true;
    return true;
}

} // namespace loamset
