// The note that the port list shows beside a port the user cannot open.
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "loamer/link/port_access.h"
#include "loamer/link/posix/serial_posix.h"

using namespace loamer;

namespace {

TEST(PortAccessNoteTest, NamesTheGroupThatOwnsAPortWithoutPermission) {
    EXPECT_EQ(PortAccessNote({PortAccess::Allowed, "dialout", ""}), "");
    EXPECT_EQ(PortAccessNote({PortAccess::NoPermission, "dialout", ""}), "(no permission: the port belongs to group dialout)");
    EXPECT_EQ(PortAccessNote({PortAccess::NoPermission, "1234", ""}), "(no permission: the port belongs to group 1234)");
    EXPECT_EQ(PortAccessNote({PortAccess::NoPermission, "", ""}), "(no permission)");
    EXPECT_EQ(PortAccessNote({PortAccess::Missing, "", ""}), "(no such device)");
    EXPECT_EQ(PortAccessNote({PortAccess::Other, "", "Input/output error"}), "(not accessible: Input/output error)");
}

// The termios backend's answer, as the port lists see it.
std::string Describe(const std::string& path) { return PortAccessNote(MakePosixSerialBackend()->CheckAccess(path)); }

class PortAccessFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        const int fd = mkstemp(path_);
        ASSERT_GE(fd, 0);
        close(fd);
    }
    void TearDown() override { unlink(path_); }

    char path_[32] = "/tmp/loamer-portXXXXXX";
};

TEST_F(PortAccessFileTest, ReadableAndWritablePortHasNoNote) {
    ASSERT_EQ(chmod(path_, 0600), 0);
    EXPECT_EQ(Describe(path_), "");
}

TEST_F(PortAccessFileTest, MissingPortIsSaidToBeMissing) {
    EXPECT_EQ(Describe(std::string(path_) + "-gone"), "(no such device)");
}

TEST_F(PortAccessFileTest, PortWithoutPermissionNamesItsGroup) {
    if (geteuid() == 0) GTEST_SKIP() << "root may open any file, so permission cannot be refused";
    ASSERT_EQ(chmod(path_, 0060), 0);
    struct stat info {};
    ASSERT_EQ(stat(path_, &info), 0);
    const group* owner = getgrgid(info.st_gid);
    const std::string name = owner ? owner->gr_name : std::to_string(info.st_gid);
    EXPECT_EQ(Describe(path_), "(no permission: the port belongs to group " + name + ")");
}

}  // namespace
