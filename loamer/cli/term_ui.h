// Interface services of the command line: boxes become lines, Ctrl-C is the abort, and the
// progress bar is drawn on stderr when it is a terminal.
#pragma once

#include "loamer/link/ui.h"

namespace loamer {

class TerminalUi final : public UiServices {
public:
    // Installs the Ctrl-C handler; the previous one comes back when the object goes.
    TerminalUi();
    ~TerminalUi() override;

    void MessageBox(std::string_view text, BoxStyle style) override;
    void BeginWaitCursor() override {}
    void RestoreWaitCursor() override {}
    void EndWaitCursor() override {}
    void ProgressSetStep(int step) override { step_ = step; }
    void ProgressSetPos(int pos) override { pos_ = pos; }
    void ProgressShow() override;
    void ProgressStep() override;
    void ProgressHide() override;
    bool PumpMessages() override;

private:
    void DrawProgress();
    bool progressVisible_ = false;
    bool drawProgress_ = false;
    int step_ = 1;
    int pos_ = 0;
};

}  // namespace loamer
