// The data record file the benchmarks read: data sets as a retrieval writes them, of any size.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace loamer::bench {

// Data sets as a retrieval writes them: profiles of two depths and single sensors with a units
// row, readings of four plots, now and then a value with an error letter and no number.
inline void MakeFile(const std::string& path, long bytes)
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

}  // namespace loamer::bench
