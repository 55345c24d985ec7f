// User interface services that record what meter operations showed, for assertions.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "loamer/link/ui.h"

namespace loamer {

struct RecordedBox {
    std::string text;
    BoxStyle style;
};

class RecordingUi final : public UiServices {
public:
    void MessageBox(std::string_view text, BoxStyle style) override;
    void BeginWaitCursor() override { ++cursorDepth; ++cursorBegins; }
    void RestoreWaitCursor() override { ++cursorRestores; }
    void EndWaitCursor() override { --cursorDepth; }
    void ProgressSetStep(int step) override { progress.push_back("step=" + std::to_string(step)); }
    void ProgressSetPos(int pos) override { progress.push_back("pos=" + std::to_string(pos)); }
    void ProgressShow() override { progress.push_back("show"); }
    void ProgressStep() override { progress.push_back("+"); }
    void ProgressHide() override { progress.push_back("hide"); }
    bool PumpMessages() override;
    // Answers with the next of chosenFiles ("" cancels), recording what was offered.
    bool ChooseSaveFile(const FileDialogOptions& options, std::string& path) override;
    bool ChooseOpenFile(const FileDialogOptions& options, std::string& path) override;

    std::vector<RecordedBox> boxes;
    std::vector<std::string> progress;
    std::vector<std::string> chosenFiles;
    std::vector<std::string> fileDialogs;  // "save LOAMER.CSV" or "open .LIN", in order
    int cursorDepth = 0;
    int cursorBegins = 0;
    int cursorRestores = 0;
    int pumps = 0;
    // Asked on every pump; returning true is the user's Escape.
    std::function<bool(int pumpNumber)> abortWhen;
};

}  // namespace loamer
