// The C view of the interface header reaches the same object as the C++ view and reads the same.
#include "tests/loamset/c_client.h"
#include "tests/loamset/dataset_fixture.h"

#include <gtest/gtest.h>

namespace loamset::testing {
namespace {

std::string ReadAllFromCpp(IKXDataset* dataset, const std::u16string& path)
{
    _KXHEADERCAPS caps;
    _KXHEADERCAPSEX capsEx;
    _KXHeader header;
    EXPECT_EQ(dataset->Open(path.c_str(), &caps, &capsEx, &header), S_OK);
    char line[512];
    std::string out;
    std::snprintf(line, sizeof line, KX_CLIENT_HEADER, header.nRecords, header.nSeries,
                  static_cast<int>(header.nLocale), static_cast<unsigned>(header.nCaps), static_cast<int>(capsEx),
                  static_cast<unsigned>(header.dFirstRec.dwHighDateTime),
                  static_cast<unsigned>(header.dFirstRec.dwLowDateTime), header.pszDevName);
    out += line;
    int index = 0;
    for (const SeriesText& s : AllSeries(dataset)) {
        std::snprintf(line, sizeof line, KX_CLIENT_SERIES, index++, s.name.c_str(), s.channel.c_str(),
                      s.type.c_str(), s.units.c_str());
        out += line;
    }
    for (int record = header.nRecords - 1; record >= 0; --record) {
        const RecordRead read = Read(dataset, record);
        std::snprintf(line, sizeof line, KX_CLIENT_RECORD, record, static_cast<unsigned>(read.time >> 32),
                      static_cast<unsigned>(read.time & 0xFFFFFFFFu), static_cast<unsigned>(read.pos), read.count);
        out += line;
        for (const Result& r : read.results) {
            std::snprintf(line, sizeof line, KX_CLIENT_RESULT, r.series, r.err, r.value);
            out += line;
        }
    }
    return out;
}

TEST(DatasetCClient, ReadsWhatTheCppViewReads)
{
    const std::pair<const char*, const char*> files[] = {
        {"cli/retrieve_small.csv", "series 9 [2.ECb] [0100] [FLX] [mS.m-1]"},
        {"retrieval/profile_set.csv", "series 7 [B.VWC] [0200] [VP4] [m3.m-3]"}};
    for (const auto& [file, seriesLine] : files) {
        SCOPED_TRACE(file);
        const std::u16string path = Wide(TestDataPath(file));
        DatasetRef fromC, fromCpp;
        std::string text(16384, '\0');
        ASSERT_EQ(KxClientReadAll(fromC.get(), path.c_str(), text.data(), text.size()), S_OK);
        text.resize(text.find('\0'));
        const std::string expected = ReadAllFromCpp(fromCpp.get(), path);
        EXPECT_EQ(text, expected);
        EXPECT_NE(expected.find(seriesLine), std::string::npos) << expected;
    }
}

} // namespace
} // namespace loamset::testing
