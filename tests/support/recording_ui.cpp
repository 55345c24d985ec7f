#include "tests/support/recording_ui.h"

namespace loamer {

void RecordingUi::MessageBox(std::string_view text, BoxStyle style) {
    boxes.push_back({std::string(text), style});
}

namespace {

bool Choose(std::vector<std::string>& answers, std::string& path) {
    if (answers.empty()) return false;
    path = answers.front();
    answers.erase(answers.begin());
    return !path.empty();
}

}  // namespace

bool RecordingUi::ChooseSaveFile(const FileDialogOptions& options, std::string& path) {
    fileDialogs.push_back(std::string("save ") + options.defaultName + "." + options.defaultExtension);
    return Choose(chosenFiles, path);
}

bool RecordingUi::ChooseOpenFile(const FileDialogOptions& options, std::string& path) {
    fileDialogs.push_back(std::string("open ") + options.defaultName + "." + options.defaultExtension);
    return Choose(chosenFiles, path);
}

bool RecordingUi::PumpMessages() {
    ++pumps;
    return abortWhen && abortWhen(pumps);
}

}  // namespace loamer
