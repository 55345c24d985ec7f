// Loading a data record file through the dataset component, as any client program would, and the
// words for a load that failed.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <new>

#include "comrt/comrt.h"
#include "loamset/kxdataset.h"
#include "tools/common/utf8_to_utf16.h"
#include "tools/loamset-view/dataset_snapshot.h"

namespace loamset_view {

namespace {

// A file name that is no UTF-8 cannot be handed to Open: ERROR_NO_UNICODE_TRANSLATION.
constexpr HRESULT kBadFileName = static_cast<HRESULT>(0x80070459u);
// How often loading reports progress and looks at `cancel`.
constexpr int kProgressEvery = 256;
// The results of the first records tell how many to reserve for the whole file.
constexpr int kSampleRecords = 1024;

// Releases the object on every way out.
class DatasetRef {
public:
    DatasetRef() = default;
    ~DatasetRef() {
        if (p_ != nullptr) p_->Release();
    }
    DatasetRef(const DatasetRef&) = delete;
    DatasetRef& operator=(const DatasetRef&) = delete;
    IKXDataset* get() const { return p_; }
    void** out() { return reinterpret_cast<void**>(&p_); }

private:
    IKXDataset* p_ = nullptr;
};

std::int64_t Ticks(const FILETIME& time) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime);
}

std::string Text(const char* text) {
    return text != nullptr ? std::string(text) : std::string();
}

class Loader {
public:
    Loader(DatasetSnapshot& out, const LoadProgress& progress, const std::atomic<bool>* cancel)
        : out_(out), progress_(progress), cancel_(cancel) {}

    LoadOutcome Run(const std::string& file, const ComponentSource& source);

private:
    bool Cancelled() const { return cancel_ != nullptr && cancel_->load(std::memory_order_relaxed); }
    void Report(std::int64_t done, std::int64_t total) const {
        if (progress_) progress_(done, total);
    }
    HRESULT ReadSeries(IKXDataset* dataset);
    // Reads records from 0 up to `total` (all of them until the first failure when `total` < 0).
    // S_OK when done; DATASET_E_ENDOFFILE when an open-ended read ran out; otherwise the failure.
    HRESULT ReadRecords(IKXDataset* dataset, int total, int& failedAt);
    bool BeforeTheDamage(IKXDataset* dataset, HRESULT endedWith) const;

    DatasetSnapshot& out_;
    const LoadProgress& progress_;
    const std::atomic<bool>* cancel_;
    bool cancelled_ = false;
};

HRESULT Loader::ReadSeries(IKXDataset* dataset) {
    int count = 0;
    if (const HRESULT hr = dataset->EnumSeries(nullptr, &count, nullptr); FAILED(hr)) return hr;
    std::vector<_KXSeries> series(static_cast<std::size_t>(std::max(count, 0)));
    if (count > 0) {
        if (const HRESULT hr = dataset->EnumSeries(nullptr, &count, series.data()); FAILED(hr)) return hr;
        series.resize(static_cast<std::size_t>(count));
    }
    out_.series.reserve(series.size());
    for (const _KXSeries& s : series) {
        out_.series.push_back(
            {Text(s.pszChannel), Text(s.pszSensorName), Text(s.pszSensorType), Text(s.pszUnits)});
    }
    return S_OK;
}

HRESULT Loader::ReadRecords(IKXDataset* dataset, int total, int& failedAt) {
    const bool openEnded = total < 0;
    const std::int64_t reported = openEnded ? 0 : total;
    if (!openEnded) out_.records.reserve(static_cast<std::size_t>(total));
    // A record has at most one result per series; the arrays grow should the object ask for more.
    std::size_t capacity = std::max<std::size_t>(out_.series.size(), 32);
    std::vector<_KXResult> results(capacity);
    std::vector<FILETIME> times(capacity);
    for (int index = 0; openEnded || index < total;) {
        if (index % kProgressEvery == 0 && index > 0) {
            Report(index, reported);
            if (Cancelled()) {
                cancelled_ = true;
                return S_OK;
            }
        }
        int n = static_cast<int>(capacity);
        FILETIME when{};
        const HRESULT hr = dataset->ReadRecord(index, &n, &when, results.data(), times.data(), nullptr);
        if (hr == E_POINTER && capacity < 4096) {
            capacity *= 2;
            results.resize(capacity);
            times.resize(capacity);
            continue;
        }
        if (FAILED(hr)) {
            failedAt = index;
            return hr;
        }
        const std::size_t first = out_.results.size();
        if (first + static_cast<std::size_t>(n) > std::numeric_limits<std::uint32_t>::max()) {
            failedAt = index;
            return E_OUTOFMEMORY;
        }
        for (int k = 0; k < n; ++k) {
            const _KXResult& r = results[static_cast<std::size_t>(k)];
            out_.results.push_back({r.iSeries, static_cast<std::uint32_t>(r.u.v.err), r.u.v.val.d});
        }
        out_.records.push_back(
            {Ticks(when), static_cast<std::uint32_t>(first), static_cast<std::uint32_t>(n)});
        ++index;
        if (index == kSampleRecords && !openEnded && total > index) {
            // Room for the rest at the rate of the first records, with a little to spare.
            const double perRecord = static_cast<double>(out_.results.size()) / index;
            out_.results.reserve(static_cast<std::size_t>(perRecord * total * 1.02) + 64);
        }
    }
    Report(static_cast<std::int64_t>(out_.records.size()), reported);
    return S_OK;
}

// Whether the records read after a DATASET_E_FORMAT from Open are those before the bad line. When
// Open stopped before the first record, the object still stands there and reads on past the bad
// line; a re-read from the start (going back) meets the bad line again and never the file's end.
bool Loader::BeforeTheDamage(IKXDataset* dataset, HRESULT endedWith) const {
    if (out_.records.empty()) return true;
    if (endedWith == DATASET_E_ENDOFFILE || out_.series.empty()) return false;
    if (out_.records.size() < 2) return true;
    int n = 0;
    return SUCCEEDED(dataset->ReadRecord(0, &n, nullptr, nullptr, nullptr, nullptr));
}

LoadOutcome Loader::Run(const std::string& file, const ComponentSource& source) {
    LoadOutcome outcome;
    out_ = DatasetSnapshot{};
    out_.file = file;
    std::u16string wideFile;
    if (!loamer_tools::Utf8ToUtf16(file, wideFile)) {
        outcome.result = kBadFileName;
        outcome.step = "open";
        outcome.detail = "the file name is not valid UTF-8";
        return outcome;
    }

    DatasetRef dataset;
    outcome.step = "create";
    const HRESULT created =
        source.modulePath.empty()
            ? ComrtCreateInstanceByProgID(KX_PROGID, nullptr, IID_IKXDataset, dataset.out())
            : ComrtCreateInstanceFromModule(source.modulePath.c_str(), CLSID_TQ4Dataset, nullptr, IID_IKXDataset,
                                            dataset.out());
    if (FAILED(created) || dataset.get() == nullptr) {
        outcome.result = FAILED(created) ? created : E_UNEXPECTED;
        outcome.detail = ComrtLastErrorDetail();
        return outcome;
    }
    if (Cancelled()) {
        outcome.cancelled = true;
        return outcome;
    }

    outcome.step = "open";
    _KXHEADERCAPS caps{};
    _KXHEADERCAPSEX capsEx{};
    _KXHeader header{};
    const HRESULT opened = dataset.get()->Open(wideFile.c_str(), &caps, &capsEx, &header);
    // Damage partway leaves the records before it readable: they are shown, with the failure.
    const bool damaged = opened == DATASET_E_FORMAT;
    if (FAILED(opened) && !damaged) {
        outcome.result = opened;
        return outcome;
    }
    if (!damaged) {
        out_.dateOrder = static_cast<int>(header.nLocale);
        out_.firstRecordTicks = Ticks(header.dFirstRec);
    }
    const int total = damaged ? -1 : std::max(header.nRecords, 0);
    Report(0, damaged ? 0 : total);
    if (Cancelled()) {
        outcome.cancelled = true;
        return outcome;
    }

    outcome.step = "series";
    if (const HRESULT hr = ReadSeries(dataset.get()); FAILED(hr)) {
        outcome.result = damaged ? opened : hr;
        if (damaged) outcome.step = "open";
        return outcome;
    }

    int failedAt = 0;
    const HRESULT read = ReadRecords(dataset.get(), total, failedAt);
    if (cancelled_) {
        outcome.cancelled = true;
        outcome.step = "record " + std::to_string(out_.records.size());
        return outcome;
    }
    if (damaged) {
        if (!BeforeTheDamage(dataset.get(), read)) {
            out_.records.clear();
            out_.results.clear();
        }
        if (!out_.records.empty()) out_.firstRecordTicks = out_.records.front().ticks;
        outcome.result = opened;
        outcome.step = out_.records.empty() ? "open" : "record " + std::to_string(out_.records.size());
        return outcome;
    }
    if (FAILED(read)) {
        outcome.result = read;
        outcome.step = "record " + std::to_string(failedAt);
        return outcome;
    }
    outcome.step.clear();
    return outcome;
}

std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

// Why, in words, without the file's name.
std::string Reason(HRESULT hr, const std::string& step) {
    const auto code = static_cast<std::uint32_t>(hr);
    switch (code) {
        case 0x80070002u: return "there is no such file";
        case 0x80070003u: return "there is no such folder";
        case 0x80070004u: return "too many files are open in this program";
        case 0x80070005u: return "access to it is denied";
        case 0x80070020u: return "another program holds it locked";
        case static_cast<std::uint32_t>(kBadFileName): return "its name is not valid UTF-8";
        default: break;
    }
    switch (hr) {
        case DATASET_E_FORMAT: return "it is not a data record file that Loamer wrote, or it is damaged";
        case DATASET_E_ENDOFFILE: return "the file ended before the records it held when opened (did it change meanwhile?)";
        case DATASET_E_NOTOPEN: return "the dataset component no longer had the file open";
        case E_OUTOFMEMORY: return "there is not enough memory, or a cell of the file is longer than 254 characters";
        case REGDB_E_CLASSNOTREG:
        case CO_E_CLASSSTRING:
            return "the dataset component is not registered (run comrt's regsvr on loamset.so)";
        case CO_E_DLLNOTFOUND: return "the dataset component's module file is missing";
        case CO_E_ERRORINDLL: return "the dataset component's module does not load";
        case CLASS_E_CLASSNOTAVAILABLE: return "the module given is not the dataset component";
        case E_NOINTERFACE: return "the component found is not the dataset component";
        case REGDB_E_READREGDB: return "the component runtime's classes root cannot be read";
        case E_FAIL:
            if (step == "open") return "it could not be opened";
            break;
        default: break;
    }
    if ((code & 0xFFFF0000u) == 0x80070000u && step == "open") {
        return "it could not be opened (system error " + std::to_string(code & 0xFFFFu) + ")";
    }
    return std::string("the dataset component failed: ") + ComrtResultText(hr);
}

}  // namespace

LoadOutcome LoadDataset(const std::string& file, const ComponentSource& source, DatasetSnapshot& out,
                        const LoadProgress& progress, const std::atomic<bool>* cancel) {
    Loader loader(out, progress, cancel);
    try {
        return loader.Run(file, source);
    } catch (const std::bad_alloc&) {
        LoadOutcome outcome;
        outcome.result = E_OUTOFMEMORY;
        outcome.step = "record " + std::to_string(out.records.size());
        return outcome;
    } catch (...) {
        // A progress callback that throws: nothing crosses this seam.
        LoadOutcome outcome;
        outcome.result = E_UNEXPECTED;
        outcome.step = "record " + std::to_string(out.records.size());
        return outcome;
    }
}

std::string DescribeFailure(const std::string& file, const LoadOutcome& outcome) {
    const std::string quoted = "\"" + file + "\"";
    if (outcome.cancelled) return "Loading " + quoted + " was stopped.";
    if (SUCCEEDED(outcome.result)) return "";
    std::string sentence;
    std::size_t kept = 0;
    if (outcome.step.rfind("record ", 0) == 0) kept = std::strtoul(outcome.step.c_str() + 7, nullptr, 10);
    if (kept > 0) {
        sentence = kept == 1 ? "Only the first record of " + quoted + " is shown: after it, "
                             : "Only the first " + std::to_string(kept) + " records of " + quoted +
                                   " are shown: after them, ";
    } else {
        sentence = "Cannot show " + quoted + ": ";
    }
    sentence += Reason(outcome.result, outcome.step);
    if (!outcome.detail.empty()) sentence += "; " + outcome.detail;
    sentence += " (" + Hex(outcome.result) + ").";
    return sentence;
}

}  // namespace loamset_view
