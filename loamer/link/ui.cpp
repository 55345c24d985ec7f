#include "loamer/link/ui.h"

namespace loamer {

namespace {

// Used until a front end installs its own: shows nothing and never aborts.
class SilentUi final : public UiServices {
public:
    void MessageBox(std::string_view, BoxStyle) override {}
    void BeginWaitCursor() override {}
    void RestoreWaitCursor() override {}
    void EndWaitCursor() override {}
    void ProgressSetStep(int) override {}
    void ProgressSetPos(int) override {}
    void ProgressShow() override {}
    void ProgressStep() override {}
    void ProgressHide() override {}
    bool PumpMessages() override { return false; }
};

SilentUi g_silentUi;
UiServices* g_ui = &g_silentUi;

}  // namespace

UiServices& Ui() { return *g_ui; }

UiServices* SetUi(UiServices* ui) {
    UiServices* previous = g_ui == &g_silentUi ? nullptr : g_ui;
    g_ui = ui ? ui : &g_silentUi;
    return previous;
}

}  // namespace loamer
