// A link wired to a fake meter, a fake clock and recording interface services.
#pragma once

#include <gtest/gtest.h>

#include "loamer/link/comm_port.h"
#include "loamer/product.h"
#include "tests/support/fake_backend.h"
#include "tests/support/recording_ui.h"

namespace loamer {

class LinkTest : public ::testing::Test {
protected:
    LinkTest() : backend(clock), clockScope(&clock), uiScope(&ui), backendScope(&backend) {
        SetCommPortName(kDefaultPortName);
    }
    ~LinkTest() override { CloseCommPort(); }

    std::uint64_t Elapsed() { return clock.NowMs() - start; }
    void ResetElapsed() { start = clock.NowMs(); }

    FakeClock clock;
    FakeBackend backend;
    RecordingUi ui;
    ScopedClock clockScope;
    ScopedUi uiScope;
    ScopedBackend backendScope;
    std::uint64_t start = clock.NowMs();
};

}  // namespace loamer
