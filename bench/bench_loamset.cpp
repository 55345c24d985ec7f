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
#include "loamset/dataset.h"

using loamer::bench::CpuSeconds;

namespace {

// Data sets as a retrieval writes them: profiles of two depths and single sensors with a units
// row, readings of four plots, now and then a value with an error letter and no number.
void MakeFile(const std::string& path, long bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        std::perror(path.c_str());
        std::exit(1);
    }
    std::fputs("Norvane Devices. TQ4 Data Record\r\nVersions:,PC Software:,1.0.0,TQ4 Firmware:,V2.13 \r\n\r\n"
               "\r\nTable >>,Sandy Loam,,,\r\n,Ready ,,,\r\nUnits  >>,mV,Sq.Rt.E,,\r\n ,0050,000.000,,\r\n",
               f);
    for (int row = 2; row <= 20; ++row)
        std::fputs(",0000,000.000,,\r\n", f);
    long written = std::ftell(f);
    unsigned sample = 0;
    unsigned second = 0;
    for (int set = 0; written < bytes; ++set) {
        const bool profile = set % 2 == 0;
        if (profile)
            written += std::fprintf(
                f, "\r\nSoil   >>,Organic,Mineral,Soil 1,Soil 2,Soil 3,Soil 4,Soil 5\r\nA0     >>,12.3,1.6,0.0,0.0,0.0,"
                   "0.0,0.0\r\nA1     >>,-1.3,8.4,0.0,0.0,0.0,0.0,0.0\r\nField Capacity,055.0,032.0,000.0,000.0,000.0,"
                   "000.0,000.0\r\n\r\nDevice >>,VP4 access (in soil access tube)\r\nRoot Depth >>,,,,0400\r\n"
                   "Sensor Depth >>,,,,0100,,,,0250,,,,\r\nSoil   >>,,,,Mineral,,,,Organic,,,,\r\nTime,Sample,Plot,"
                   "Device,mV,Error,m3.m-3,Error,mV,Error,m3.m-3,Error,\r\n");
        else
            written += std::fprintf(f, "\r\nDevice >>,FLX\r\nRoot Depth >>,,,,0250\r\nSensor Depth >>,,,,0%d00\r\n"
                                       "Soil Parameter,,,,3.5\r\nEC Compensation,,,,20\r\nPercent,,,,20.0\r\nTime,"
                                       "Sample,Plot,Device,VWC,Error,ECb,Error,Tmp,Error,\r\n,,,,m3.m-3,,mS.m-1,,degC,,"
                                       "\r\n",
                                    1 + set % 5);
        for (int r = 0; r < 5000 && written < bytes; ++r, ++sample, second += 37) {
            const unsigned day = 1 + (second / 86400) % 28, month = 1 + (second / 86400 / 28) % 12;
            const char plot = static_cast<char>('A' + r % 4);
            char line[160];
            int n = std::snprintf(line, sizeof line, "%02u/%02u/%04u  %02u:%02u:%02u,%04u,%c,T%02d,", day, month,
                                  2020 + (second / 86400 / 336) % 8, (second / 3600) % 24, (second / 60) % 60,
                                  second % 60, sample % 10000, plot, set % 100);
            const double v = 0.1 + (r % 997) / 1000.0;
            if (profile)
                n += std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n),
                                   "%7.1f, ,%7.3f, ,%s,%7.3f, ,\r\n", 400 + v * 200, v,
                                   r % 50 == 0 ? "       ,1" : "  503.1, ", v / 2);
            else
                n += std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), "%7.3f, ,%7.1f, ,%s,\r\n",
                                   v, v * 100, r % 40 == 0 ? "       ,C" : "   21.5, ");
            std::fwrite(line, 1, static_cast<std::size_t>(n), f);
            written += n;
        }
    }
    std::fclose(f);
}

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
