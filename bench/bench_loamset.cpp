// What reading a data record file through the dataset component costs, against a byte scan of the
// same file with getc_unlocked measured in the same run (processor time, best of three):
//   Open                                     at most 5 times the scan
//   Open, then every record read forward     at most 10 times the scan
//   every record read backward after Open    at most 4 times reading them forward after Open
//   bench_loamset [MEGABYTES]   (default 100; the file is made in a scratch folder and removed)
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "bench/bench_support.h"
#include "bench/readings_file.h"
#include "loamset/dataset.h"

using loamer::bench::CpuSeconds;
using loamer::bench::MakeFile;

namespace {

double Best(const std::function<void()>& run)
{
    double best = 1e30;
    for (int i = 0; i < 3; ++i) {
        const double start = CpuSeconds();
        run();
        best = std::min(best, CpuSeconds() - start);
    }
    return best;
}

struct Dataset {
    IKXDataset* p = nullptr;
    int records = 0;
    Dataset(const std::u16string& name)
    {
        loamset::CreateDataset(IID_IKXDataset, reinterpret_cast<void**>(&p));
        _KXHEADERCAPS caps;
        _KXHEADERCAPSEX capsEx;
        _KXHeader header;
        if (p->Open(name.c_str(), &caps, &capsEx, &header) != S_OK) {
            std::fprintf(stderr, "Open failed\n");
            std::exit(1);
        }
        records = header.nRecords;
    }
    ~Dataset() { p->Release(); }
    Dataset(const Dataset&) = delete;
    Dataset& operator=(const Dataset&) = delete;
    double Read(int record)
    {
        _KXResult results[14];
        FILETIME stamps[14];
        FILETIME time;
        ULONG pos;
        int count = 14;
        if (p->ReadRecord(record, &count, &time, results, stamps, &pos) != S_OK) {
            std::fprintf(stderr, "ReadRecord(%d) failed\n", record);
            std::exit(1);
        }
        return results[count - 1].u.v.val.d;
    }
};

void Verdict(const char* what, double ratio, double limit)
{
    std::printf("%-52s %6.2f  (at most %.0f: %s)\n", what, ratio, limit, ratio <= limit ? "within" : "OVER");
}

} // namespace

int main(int argc, char** argv)
{
    const long megabytes = argc > 1 ? std::atol(argv[1]) : 100;
    char folder[] = "/tmp/bench_loamset.XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string path = std::string(folder) + "/readings.csv";
    MakeFile(path, megabytes * 1000 * 1000);
    const std::u16string name(path.begin(), path.end());

    long lines = 0;
    const double scan = Best([&] {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        lines = 0;
        for (int c; (c = getc_unlocked(f)) != EOF;)
            lines += c == '\n';
        std::fclose(f);
    });
    int records = 0;
    const double open = Best([&] { records = Dataset(name).records; });
    double sink = 0;
    const double openForward = Best([&] {
        Dataset d(name);
        for (int r = 0; r < d.records; ++r)
            sink += d.Read(r);
    });
    double forward = 1e30, backward = 1e30;
    for (int i = 0; i < 3; ++i) {
        Dataset a(name);
        double start = CpuSeconds();
        for (int r = 0; r < a.records; ++r)
            sink += a.Read(r);
        forward = std::min(forward, CpuSeconds() - start);
        Dataset b(name);
        start = CpuSeconds();
        for (int r = b.records - 1; r >= 0; --r)
            sink += b.Read(r);
        backward = std::min(backward, CpuSeconds() - start);
    }
    std::printf("file of %ld MB, %ld lines, %d records (checksum %.1f)\n", megabytes, lines, records, sink);
    std::printf("byte scan %.3f s, Open %.3f s, Open and forward %.3f s, forward %.3f s, backward %.3f s\n", scan,
                open, openForward, forward, backward);
    Verdict("Open / byte scan", open / scan, 5);
    Verdict("Open and every record forward / byte scan", openForward / scan, 10);
    Verdict("every record backward / every record forward", backward / forward, 4);
    std::remove(path.c_str());
    rmdir(folder);
    return 0;
}
