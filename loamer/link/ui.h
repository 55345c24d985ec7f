// User interface services that meter operations use: message boxes, the counted wait cursor,
// the progress bar and the message pump of a waiting read. The desktop program, the command
// line and the tests each install their own implementation.
#pragma once

#include <string>
#include <string_view>

namespace loamer {

enum class BoxStyle { Plain, Information, Exclamation, Error };

// What a file dialog offers: the name and extension it proposes, and its filter in the form
// "Text (*.EXT)|*.EXT|All Files (*.*) |*.*||" (pairs of a description and a pattern).
struct FileDialogOptions {
    const char* defaultExtension = "";
    const char* defaultName = "";
    const char* filter = "";
    bool confirmOverwrite = false;  // save dialogs: ask before an existing file is replaced
};

class UiServices {
public:
    virtual ~UiServices() = default;

    // Modal: returns when the user has closed the box.
    virtual void MessageBox(std::string_view text, BoxStyle style) = 0;

    // Counted wait cursor: every Begin is paired with an End; Restore shows it again after
    // dispatched events may have changed it.
    virtual void BeginWaitCursor() = 0;
    virtual void RestoreWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;

    // Progress bar, range 0 to 100.
    virtual void ProgressSetStep(int step) = 0;
    virtual void ProgressSetPos(int pos) = 0;
    virtual void ProgressShow() = 0;
    virtual void ProgressStep() = 0;
    virtual void ProgressHide() = 0;

    // The file dialogs: true with the chosen path, false when the user cancels. Interfaces that
    // cannot ask (a silent run) cancel.
    virtual bool ChooseSaveFile(const FileDialogOptions& /*options*/, std::string& /*path*/) { return false; }
    virtual bool ChooseOpenFile(const FileDialogOptions& /*options*/, std::string& /*path*/) { return false; }

    // Handles the events that wait (repaint, timers, clicks) and returns true when the user
    // asked to abort the running exchange (Escape in the dialog, Ctrl-C in the terminal).
    // Other key presses are swallowed. Must not block.
    virtual bool PumpMessages() = 0;
};

// The process-wide services; a silent implementation until one is installed.
UiServices& Ui();
// Installs services (nullptr restores the silent one); returns the previous ones.
UiServices* SetUi(UiServices* ui);

// Installs services for a scope (a program's run, a test) and puts the previous ones back.
class ScopedUi {
public:
    explicit ScopedUi(UiServices* ui) : previous_(SetUi(ui)) {}
    ~ScopedUi() { SetUi(previous_); }
    ScopedUi(const ScopedUi&) = delete;
    ScopedUi& operator=(const ScopedUi&) = delete;

private:
    UiServices* previous_;
};

// Pairs BeginWaitCursor with EndWaitCursor on every path out of a scope.
class WaitCursorScope {
public:
    WaitCursorScope() { Ui().BeginWaitCursor(); }
    ~WaitCursorScope() { Ui().EndWaitCursor(); }
    WaitCursorScope(const WaitCursorScope&) = delete;
    WaitCursorScope& operator=(const WaitCursorScope&) = delete;
};

// Shows the progress bar from position 0 in steps of 1, and hides it on every way out of a scope.
class ProgressScope {
public:
    ProgressScope() {
        Ui().ProgressSetStep(1);
        Ui().ProgressSetPos(0);
        Ui().ProgressShow();
    }
    ~ProgressScope() { Ui().ProgressHide(); }
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;
};

}  // namespace loamer
