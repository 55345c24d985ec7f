// Runs the emulator in the test's process and opens its slave side as the program would.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/pty_line.h"
#include "tools/tq4sim/emulator.h"

namespace tq4sim::testing {

using loamer::testing::MsSince;
using loamer::testing::Now;
using loamer::testing::PtyLine;

inline constexpr const char* kExampleMeter = LOAMER_EXAMPLES_DIR "/meter.json";

class EmulatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tq4sim-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }

    void TearDown() override {
        meter_.Stop();
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    // Starts the example meter unless the options name another memory.
    void StartMeter(EmulatorOptions options = {}) {
        if (!options.state && options.memoryFile.empty()) options.memoryFile = kExampleMeter;
        std::string error;
        ASSERT_TRUE(meter_.Start(options, &slave_, &error)) << error;
        ASSERT_TRUE(line_.Open(slave_)) << slave_;
    }

    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

    static std::vector<std::string> Lines(const std::string& path) {
        std::ifstream file(path);
        std::vector<std::string> lines;
        for (std::string line; std::getline(file, line);) lines.push_back(line);
        return lines;
    }

    MeterEmulator meter_;
    PtyLine line_;
    std::string slave_;
    std::string dir_;
};

}  // namespace tq4sim::testing
