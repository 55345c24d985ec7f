#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/link_fixture.h"

using namespace loamer;

namespace {

struct ListSink : PortListSink {
    void AddPort(const std::string& name) override { names.push_back(name); }
    std::vector<std::string> names;
};

TEST(CommPortNames, TheComRule) {
    std::string offered;
    EXPECT_TRUE(QualifyCommPortName("COM1", offered));
    EXPECT_EQ(offered, "COM1");
    EXPECT_TRUE(QualifyCommPortName("com4", offered));
    EXPECT_EQ(offered, "COM4");
    EXPECT_TRUE(QualifyCommPortName("COM5:", offered));
    EXPECT_EQ(offered, "COM5:");
    for (const char* bad : {"COMX", "LPT1", "COM1A", "COM", "COM5::", "XCOM1", ""}) {
        EXPECT_FALSE(QualifyCommPortName(bad, offered)) << bad;
    }
}

class EnumPortsTest : public LinkTest {};

TEST_F(EnumPortsTest, OffersQualifyingNamesInOrderAndPathsAsTheyAre) {
    backend.devices = {{"COM1", true}, {"com4", true}, {"COM5:", true}, {"COMX", true},
                       {"LPT1", true}, {"/dev/ttyUSB0", false},
                       {"/dev/serial/by-id/usb-Adapter_123-if00-port0", false}};
    ListSink sink;
    EnumCommPorts(sink);
    EXPECT_EQ(sink.names, (std::vector<std::string>{"COM1", "COM4", "COM5:", "/dev/ttyUSB0",
                                                    "/dev/serial/by-id/usb-Adapter_123-if00-port0"}));
}

TEST_F(EnumPortsTest, ALongDeviceListIsReadWhole) {
    for (int i = 1; i <= 200; ++i) backend.devices.push_back({"COM" + std::to_string(i), true});
    ListSink sink;
    EnumCommPorts(sink);
    ASSERT_EQ(sink.names.size(), 200u);
    EXPECT_EQ(sink.names.back(), "COM200");
}

}  // namespace
