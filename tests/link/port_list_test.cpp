// Port listing against a fake /sys/class/tty tree built in a temporary folder.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "loamer/link/posix/port_list_linux.h"

using namespace loamer;

namespace fs = std::filesystem;

namespace {

class PortListTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "loamer-ports-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        sys_ = root_ / "sys" / "class" / "tty";
        byId_ = root_ / "dev" / "serial" / "by-id";
        fs::create_directories(sys_);
        fs::create_directories(root_ / "devices");
    }

    void TearDown() override { fs::remove_all(root_); }

    // A tty entry; with a device link it belongs to hardware, type is the UART type attribute.
    fs::path AddTty(const std::string& name, bool deviceLink, const char* type = nullptr) {
        const fs::path entry = sys_ / name;
        fs::create_directories(entry);
        if (deviceLink) {
            const fs::path device = root_ / "devices" / name;
            fs::create_directories(device);
            fs::create_directory_symlink(device, entry / "device");
        }
        if (type) std::ofstream(entry / "type") << type << "\n";
        return entry;
    }

    std::vector<SerialDeviceName> List() {
        std::vector<SerialDeviceName> names{{"stale entry", true}};
        const BackendResult r = ListLinuxSerialDevices(sys_.string(), "/dev", byId_.string(), names);
        EXPECT_EQ(r.status, BackendStatus::Ok);
        return names;
    }

    fs::path root_;
    fs::path sys_;
    fs::path byId_;
};

std::vector<std::string> Names(const std::vector<SerialDeviceName>& list, bool platform) {
    std::vector<std::string> names;
    for (const SerialDeviceName& d : list)
        if (d.platformName == platform) names.push_back(d.name);
    return names;
}

TEST_F(PortListTest, ListsAnsweringUartsUsbAdaptersAndById) {
    // Real sysfs entries are links to the device's folder; the first one is built that way.
    const fs::path real = AddTty("ttyS0", true, "4");
    fs::rename(real, root_ / "devices" / "ttyS0-class");
    fs::create_directory_symlink(root_ / "devices" / "ttyS0-class", real);

    AddTty("ttyS1", true, "0");    // reserved port, no UART
    AddTty("ttyS2", false, "4");   // no device behind it
    AddTty("ttyS3", true, "1");
    AddTty("ttyS10", true, "4");
    AddTty("ttyS9x", true, "4");   // not a standard port name
    AddTty("ttyUSB10", true);
    AddTty("ttyUSB2", true);
    AddTty("ttyUSB0", true);
    AddTty("ttyACM1", true);
    AddTty("ttyACM2", false);
    AddTty("tty0", true);          // the console
    AddTty("console", true);
    AddTty("ptmx", false);

    fs::create_directories(byId_);
    fs::create_symlink("../../ttyUSB0", byId_ / "usb-Maker_Cable_A1-if00-port0");
    std::ofstream(byId_ / "README") << "not a link\n";

    const std::vector<SerialDeviceName> list = List();
    EXPECT_EQ(Names(list, true), (std::vector<std::string>{"COM1", "COM4", "COM11"}));
    EXPECT_EQ(Names(list, false),
              (std::vector<std::string>{"/dev/ttyACM1", "/dev/ttyUSB0", "/dev/ttyUSB2", "/dev/ttyUSB10",
                                        (byId_ / "usb-Maker_Cable_A1-if00-port0").string()}));
    // Standard ports come first.
    ASSERT_EQ(list.size(), 8u);
    EXPECT_TRUE(list[2].platformName);
    EXPECT_FALSE(list[3].platformName);
}

TEST_F(PortListTest, MissingFoldersListNothing) {
    fs::remove_all(root_ / "sys");
    EXPECT_TRUE(List().empty());
}

TEST_F(PortListTest, ByIdLinksAreListedWithoutSysfsEntries) {
    fs::create_directories(byId_);
    fs::create_symlink("../../ttyUSB9", byId_ / "usb-B-if00");
    fs::create_symlink("../../ttyUSB8", byId_ / "usb-A-if00");
    const std::vector<SerialDeviceName> list = List();
    EXPECT_EQ(Names(list, false),
              (std::vector<std::string>{(byId_ / "usb-A-if00").string(), (byId_ / "usb-B-if00").string()}));
    EXPECT_TRUE(Names(list, true).empty());
}

}  // namespace
