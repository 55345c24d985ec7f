// One meter command at a time: a newcomer is refused or waits for the running command.
#include <gtest/gtest.h>

#include <string>

#include "loamer/link/command_scope.h"

using namespace loamer;

namespace {

TEST(MeterCommandScope, SecondCommandIsRefusedWhileOneRuns) {
    EXPECT_FALSE(MeterCommandRunning());
    {
        MeterCommandScope first;
        ASSERT_TRUE(first.Entered());
        EXPECT_TRUE(MeterCommandRunning());
        MeterCommandScope second;
        EXPECT_FALSE(second.Entered());
    }
    EXPECT_FALSE(MeterCommandRunning());
    MeterCommandScope again;
    EXPECT_TRUE(again.Entered());
}

TEST(MeterCommandScope, DeferredTasksRunInOrderOnceTheCommandEnds) {
    std::string log;
    RunWhenIdle([&] { log += "now;"; });
    {
        MeterCommandScope command;
        RunWhenIdle([&] {
            // A deferred task may run a command of its own; one deferred meanwhile waits for it.
            MeterCommandScope own;
            log += own.Entered() ? "a;" : "a refused;";
            RunWhenIdle([&] { log += "c;"; });
        });
        RunWhenIdle([&] { log += "b;"; });
        log += "command;";
    }
    EXPECT_EQ(log, "now;command;a;b;c;");
    EXPECT_FALSE(MeterCommandRunning());
}

}  // namespace
