// The memory dump's block exchange on the line: the image a memory file names, swept whole,
// the generated image, and the faults at a block.
#include "tests/tq4sim/emulator_fixture.h"
#include "tools/tq4sim/memory_blocks.h"

namespace tq4sim::testing {
namespace {

using MemoryBlocksTest = EmulatorTest;

std::string BlockRequest(unsigned block, char type = '2') {
    char text[16];
    std::snprintf(text, sizeof text, "E%c%05u\r\n", type, block);
    return text;
}

// An image in which every offset shows: its low byte and, mixed in, its block.
std::string NumberedImage() {
    std::string image(32768, '\0');
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>((i * 7 + i / 128) & 0xFF);
    return image;
}

TEST_F(MemoryBlocksTest, SweepOfTheImageFileGivesItBackByteForByte) {
    const std::string image = NumberedImage();
    std::ofstream(Path("dump.bin"), std::ios::binary) << image;
    std::ofstream(Path("meter.json")) << R"({"memory_image": "dump.bin"})";
    EmulatorOptions options;
    options.memoryFile = Path("meter.json");  // the image's name is taken from this folder
    ASSERT_NO_FATAL_FAILURE(StartMeter(options));

    std::string data;
    for (unsigned block = 0; block < 256; ++block) {
        const std::string request = BlockRequest(block);
        const std::string reply = line_.Ask(request, 137);
        ASSERT_EQ(reply.size(), 137u) << block;
        EXPECT_EQ(reply.substr(0, 7), "G" + request.substr(1, 6)) << block;
        EXPECT_EQ(reply.substr(135), "\r\n") << block;
        data += reply.substr(7, 128);
    }
    EXPECT_EQ(line_.Read(1, 30), "");
    EXPECT_TRUE(data == image);  // not printed: 32 KiB of bytes
    // Past the last block, another memory type, digits that are not digits.
    for (const std::string& request : {BlockRequest(256), BlockRequest(0, '1'), std::string("E2000x1\r\n")}) {
        EXPECT_EQ(line_.Ask(request, 3), "!\r\n") << EscapeBytes(request);
    }
}

TEST_F(MemoryBlocksTest, GeneratedImageIsLabelledByBlockAndFollowsItsSeed) {
    const auto image = [](const std::string& json) {
        MeterState state;
        std::string error;
        EXPECT_TRUE(LoadMeterState(json, CivilTime{}, SteadyTime{}, &state, &error)) << error;
        return state.memory[kExternalMemory];
    };
    const std::string standard = image("{}");
    ASSERT_EQ(standard.size(), 32768u);
    for (std::size_t block : {0u, 1u, 42u, 255u}) {
        char label[16];
        std::snprintf(label, sizeof label, "blk%05zu", block);
        EXPECT_EQ(standard.substr(block * 128, 8), label);
    }
    // The filling differs from block to block, and with the seed; the same seed gives the same.
    EXPECT_NE(standard.substr(8, 120), standard.substr(128 + 8, 120));
    EXPECT_EQ(image(R"({"memory_seed": 0})"), standard);
    EXPECT_EQ(image(R"({"memory_seed": 7})"), image(R"({"memory_seed": 7})"));
    EXPECT_NE(image(R"({"memory_seed": 7})").substr(8, 120), image(R"({"memory_seed": 8})").substr(8, 120));
}

TEST_F(MemoryBlocksTest, MemoryFileRefusesAWrongImage) {
    const auto error = [](const std::string& json, const ImageReader& reader) {
        MeterState state;
        std::string why;
        return LoadMeterState(json, CivilTime{}, SteadyTime{}, &state, &why, reader) ? std::string() : why;
    };
    const ImageReader shortImage = [](const std::string&, std::string* bytes, std::string*) {
        bytes->assign(32767, 'x');
        return true;
    };
    EXPECT_EQ(error(R"({"memory_image": "a.bin"})", shortImage),
              "line 1, column 18: \"memory_image\": a.bin holds 32767 bytes, not 32768");
    EXPECT_NE(error(R"({"memory_seed": 1, "memory_image": "a.bin"})", shortImage).find("not both"), std::string::npos);
    EXPECT_NE(error(R"({"memory_image": "a.bin"})", {}), "");  // no reader: no files
    for (const char* seed : {"-1", "4294967296", "\"7\""}) {
        EXPECT_NE(error(std::string(R"({"memory_seed": )") + seed + "}", {}).find("whole number"), std::string::npos);
    }
    // A missing file, named from the memory file's folder.
    std::ofstream(Path("meter.json")) << "{\n  \"memory_image\": \"missing.bin\"\n}";
    EmulatorOptions options;
    options.memoryFile = Path("meter.json");
    std::string why;
    EXPECT_FALSE(meter_.Start(options, &slave_, &why));
    EXPECT_NE(why.find("line 2, column 19: \"memory_image\": cannot read " + Path("missing.bin")), std::string::npos)
        << why;
}

TEST_F(MemoryBlocksTest, FaultsAtABlock) {
    const std::string image = MemoryPattern(0);
    const auto normal = [&](unsigned block) {
        return "G" + BlockRequest(block).substr(1, 6) + image.substr(block * 128, 128) + "\r\n";
    };
    const auto withLetter = [&](unsigned block, char letter) {
        std::string reply = normal(block);
        reply[0] = letter;
        return reply;
    };
    struct Case {
        const char* name;
        void (*set)(FaultOptions&);
        std::vector<std::pair<unsigned, std::string>> blocks;  // "": no answer
    };
    for (const Case& c : std::vector<Case>{
             {"wrong first byte", [](FaultOptions& f) { f.blockLetters[5] = 'H'; },
              {{4, normal(4)}, {5, withLetter(5, 'H')}, {6, normal(6)}, {5, withLetter(5, 'H')}}},
             {"time-out at block 10", [](FaultOptions& f) { f.silentBlocks[10] = kEveryTime; },
              {{9, normal(9)}, {10, ""}, {10, ""}, {11, normal(11)}}},
             {"time-out once", [](FaultOptions& f) { f.silentBlocks[0] = 1; }, {{0, ""}, {0, normal(0)}}},
         }) {
        SCOPED_TRACE(c.name);
        MeterEmulator meter;
        EmulatorOptions options;
        options.memoryFile = kExampleMeter;
        c.set(options.faults);
        std::string slave, error;
        ASSERT_TRUE(meter.Start(options, &slave, &error)) << error;
        PtyLine line(slave);
        for (const auto& [block, reply] : c.blocks) {
            if (reply.empty()) {
                EXPECT_EQ(line.Ask(BlockRequest(block), 1, 150), "") << block;
            } else {
                EXPECT_TRUE(line.Ask(BlockRequest(block), 137) == reply) << block;
            }
        }
        EXPECT_EQ(line.Read(1, 30), "");
    }
}

}  // namespace
}  // namespace tq4sim::testing
