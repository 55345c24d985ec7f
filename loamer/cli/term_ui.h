// Interface services of the command line: boxes become lines, Ctrl-C is the abort, and the
// progress bar is drawn on stderr when it is a terminal.
//
// Signals while a TerminalUi lives: SIGINT aborts the running meter exchange once, as Escape
// does in the dialog. SIGTERM and SIGHUP abort it too, and every exchange after it, so that the
// command ends soon and the program still closes the port (restoring its settings) before it
// exits. A second stop signal before the first was answered ends the program at once, as the
// signal does by default. A signal that was ignored when the program started stays ignored
// (nohup).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <utility>

#include "loamer/link/ui.h"

namespace loamer {

class TerminalUi final : public UiServices {
public:
    // Installs the signal handlers; the previous ones come back when the object goes.
    TerminalUi();
    ~TerminalUi() override;
    TerminalUi(const TerminalUi&) = delete;
    TerminalUi& operator=(const TerminalUi&) = delete;

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
    // Both dialogs answer with the command's FILE argument, so that the command's checks and
    // messages come in the dialog's order; with none given they cancel.
    bool ChooseSaveFile(const FileDialogOptions& options, std::string& path) override;
    bool ChooseOpenFile(const FileDialogOptions& options, std::string& path) override;
    void SetDialogAnswer(std::string path) { dialogAnswer_ = std::move(path); }

    // SIGTERM or SIGHUP once either has arrived: the run is to end. 0 otherwise.
    static int EndSignal();
    // The first stop signal that arrived, answered by an exchange or not; 0 before any.
    static int StopSignal();
    // The signal that asked to stop and that no exchange has answered with an abort yet
    // (EndSignal(), or a Ctrl-C that came outside an exchange); 0 when there is none.
    static int UnansweredSignal();

private:
    void DrawProgress();
    bool progressVisible_ = false;
    bool drawProgress_ = false;
    int step_ = 1;
    int pos_ = 0;
    std::string dialogAnswer_;
};

// Writes program text to stdout or stderr. When the stream is a terminal, control characters
// other than tab and the line ends show as '?' (meter bytes must not drive the terminal);
// into a pipe or a file the bytes go as they are. A failed write to stdout is remembered.
void WriteText(std::FILE* stream, std::string_view text);

// The text as a terminal gets it: C0 controls other than \t \n \r, DEL, and the C1 controls
// (a lone byte 0x80 to 0x9F, or U+0080 to U+009F in UTF-8) each become one '?'.
std::string TerminalSafeText(std::string_view text);

// Flushes stdout; the errno of its first failed write, 0 when everything went out.
int StandardOutputError();

}  // namespace loamer
