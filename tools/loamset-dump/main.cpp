// loamset-dump FILE [--format text|csv|json] [--module PATH]: a client of the dataset component.
// It creates the object by ProgID through the classes root (after regsvr), or from the module file
// named by --module, opens FILE and prints its header, series and records.
#include <CLI/CLI.hpp>
#include <cctype>
#include <cstdio>
#include <iostream>
#include <map>
#include <string>

#include "comrt/comrt.h"
#include "loamset/kxdataset.h"
#include "tools/common/utf8_to_utf16.h"
#include "tools/loamset-dump/dump_output.h"

namespace {

using loamset_dump::Dump;
using loamset_dump::Format;
using loamer_tools::Utf8ToUtf16;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 64;

const char* DatasetResultText(HRESULT hr) {
    switch (hr) {
        case DATASET_E_FORMAT: return "the file is not in the expected form";
        case DATASET_E_NOTOPEN: return "no file is open";
        case DATASET_E_ENDOFFILE: return "the file ended before the record";
        default: return ComrtResultText(hr);
    }
}

void Fail(const std::string& what, HRESULT hr) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    std::cerr << "loamset-dump: " << what << ": " << code << " (" << DatasetResultText(hr) << ")\n";
}

// Reads everything while the object is alive; the copies outlive it. Prints its own message.
bool ReadDataset(IKXDataset* dataset, const std::u16string& file, Dump& dump) {
    _KXHEADERCAPS caps{};
    _KXHEADERCAPSEX capsEx{};
    _KXHeader header{};
    if (const HRESULT hr = dataset->Open(file.c_str(), &caps, &capsEx, &header); FAILED(hr)) {
        Fail(dump.file, hr);
        return false;
    }
    dump.header = loamset_dump::CopyHeader(header);

    int count = 0;
    if (const HRESULT hr = dataset->EnumSeries(nullptr, &count, nullptr); FAILED(hr)) {
        Fail(dump.file + ": series", hr);
        return false;
    }
    std::vector<_KXSeries> series(static_cast<std::size_t>(count));
    if (count > 0) {
        if (const HRESULT hr = dataset->EnumSeries(nullptr, &count, series.data()); FAILED(hr)) {
            Fail(dump.file + ": series", hr);
            return false;
        }
        series.resize(static_cast<std::size_t>(count));
    }
    for (const _KXSeries& s : series) dump.series.push_back(loamset_dump::CopySeries(s));

    // A record has at most one result per series; the arrays grow should the object ask for more.
    std::size_t capacity = std::max<std::size_t>(series.size(), 1);
    std::vector<_KXResult> results(capacity);
    std::vector<FILETIME> times(capacity);
    for (int index = 0; index < header.nRecords;) {
        int n = static_cast<int>(capacity);
        FILETIME when{};
        ULONG position = 0;
        const HRESULT hr = dataset->ReadRecord(index, &n, &when, results.data(), times.data(), &position);
        if (hr == E_POINTER && capacity < 4096) {
            capacity *= 2;
            results.resize(capacity);
            times.resize(capacity);
            continue;
        }
        if (FAILED(hr)) {
            Fail(dump.file + ": record " + std::to_string(index), hr);
            return false;
        }
        loamset_dump::DumpRecord record{index, loamset_dump::FileTimeTicks(when), position, {}};
        for (int k = 0; k < n; ++k) {
            const _KXResult& r = results[static_cast<std::size_t>(k)];
            record.results.push_back({r.iSeries, static_cast<std::uint32_t>(r.u.v.err), r.u.v.val.d});
        }
        dump.records.push_back(std::move(record));
        ++index;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app(
        "Prints a data record file's header, series and records as the dataset component\n"
        "reads them. The component is created by its ProgID " KX_PROGID
        "\n"
        "(register it first with regsvr), or from the module file given by --module.\n"
        "Exit status: 0 success, 1 failure, 64 usage error.",
        "loamset-dump");
    std::string file;
    std::string modulePath;
    std::string formatName = "text";
    const std::map<std::string, Format> formats{
        {"text", Format::Text}, {"csv", Format::Csv}, {"json", Format::Json}};
    app.add_option("FILE", file, "the data record file")->required();
    app.add_option("--format", formatName,
                   "text (the default); csv: one row per result, with its record\n"
                   "and series; json: everything")
        ->type_name("text|csv|json");
    app.add_option("--module", modulePath, "the component's module file, used without the\nclasses root")
        ->type_name("PATH");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return 0;
    } catch (const CLI::ParseError& error) {
        std::cerr << "loamset-dump: " << error.what() << "\nRun with --help for more information.\n";
        return kExitUsage;
    }

    std::string lowerFormat;
    for (char c : formatName) lowerFormat += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const auto chosen = formats.find(lowerFormat);
    if (chosen == formats.end()) {
        std::cerr << "loamset-dump: --format: " << formatName << " is none of text, csv, json\n";
        return kExitUsage;
    }
    const Format format = chosen->second;
    Dump dump;
    dump.file = file;
    std::u16string wideFile;
    if (!Utf8ToUtf16(file, wideFile)) {
        std::cerr << "loamset-dump: the file name is not valid UTF-8\n";
        return kExitFailure;
    }

    IKXDataset* dataset = nullptr;
    const HRESULT created =
        modulePath.empty()
            ? ComrtCreateInstanceByProgID(KX_PROGID, nullptr, IID_IKXDataset,
                                          reinterpret_cast<void**>(&dataset))
            : ComrtCreateInstanceFromModule(modulePath.c_str(), CLSID_TQ4Dataset, nullptr, IID_IKXDataset,
                                            reinterpret_cast<void**>(&dataset));
    if (FAILED(created)) {
        Fail(modulePath.empty() ? std::string("cannot create " KX_PROGID " (is it registered with regsvr?)")
                                : "cannot create the dataset object from " + modulePath,
             created);
        if (const std::string detail = ComrtLastErrorDetail(); !detail.empty()) {
            std::cerr << "loamset-dump: " << detail << '\n';
        }
        return kExitFailure;
    }
    const bool read = ReadDataset(dataset, wideFile, dump);
    dataset->Release();
    if (!read) return kExitFailure;

    loamset_dump::WriteDump(std::cout, dump, format);
    std::cout.flush();
    if (!std::cout) {
        std::cerr << "loamset-dump: the output could not be written\n";
        return kExitFailure;
    }
    return 0;
}
