// The desktop program's interface services: Qt message boxes, the override-cursor stack as the
// counted wait cursor, the main dialog's progress bar, and the event pump of a waiting read.
#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>
#include <string>
#include <string_view>

#include "loamer/link/ui.h"

class QProgressBar;
class QWidget;

namespace loamer {

// Program texts are 8-bit: UTF-8 when they decode as such (file names of this system), else
// the meter's own single-byte characters (a version field may carry 0xB0).
QString FromProgramText(std::string_view text);

// A file dialog filter of pairs "Text (*.EXT)|*.EXT|All Files (*.*) |*.*||" as Qt's name
// filters: each description keeps its words and shows the patterns of its pair, separated by
// blanks; "*.*" becomes "*", so that names without a dot show under All Files. The patterns
// match without regard to case in the program's dialogs.
QStringList QtNameFilters(const char* filter);

class QtUi final : public UiServices {
public:
    // Boxes are owned by owner (the main dialog); bar is the bar that operations drive. Either
    // may be null (boxes without an owner; progress ignored).
    explicit QtUi(QWidget* owner = nullptr, QProgressBar* bar = nullptr);
    void SetProgressBar(QProgressBar* bar);

    void MessageBox(std::string_view text, BoxStyle style) override;

    void BeginWaitCursor() override;
    void RestoreWaitCursor() override;
    void EndWaitCursor() override;

    void ProgressSetStep(int step) override;
    void ProgressSetPos(int pos) override;
    void ProgressShow() override;
    // Past the top of the range the bar starts again from the bottom, so that an operation of
    // unknown length keeps it moving.
    void ProgressStep() override;
    void ProgressHide() override;

    // Qt's own file dialogs, so that they look alike everywhere and tests can drive them: the
    // default name with its extension proposed in the folder used last in this run, the default
    // extension appended to a name typed without one. A choice repaints the owner at once.
    // Unattended, they cancel.
    bool ChooseSaveFile(const FileDialogOptions& options, std::string& path) override;
    bool ChooseOpenFile(const FileDialogOptions& options, std::string& path) override;

    // Runs the events that wait without blocking. Key presses meant for the window that was
    // modal when the pump started are swallowed, Escape among them as the abort request; a
    // window opened meanwhile (the About box) gets its keys as usual.
    bool PumpMessages() override;

    // Every pump reports abort until the request is cleared: Exit, the close box or a
    // termination signal during a command ends each exchange the command still tries.
    void RequestAbort() { abortRequested_ = true; }
    void ClearAbortRequest() { abortRequested_ = false; }

    // Nobody may be there to close a box (the session is ending): box texts go to standard
    // error instead.
    void SetUnattended(bool unattended) { unattended_ = unattended; }

    int waitCursorDepth() const { return waitDepth_; }

private:
    bool ChooseFile(const FileDialogOptions& options, bool save, std::string& path);

    QPointer<QWidget> owner_;
    QPointer<QProgressBar> bar_;
    int step_ = 10;  // until an operation sets its own
    QString lastFolder_;  // empty: the working folder
    int waitDepth_ = 0;
    bool abortRequested_ = false;
    bool unattended_ = false;
};

// Shows the arrow instead of the wait cursor while a modal window waits for the user (a report
// box during an operation, the Set Time dialog), and puts the wait cursor back afterwards.
class ArrowCursorScope {
public:
    ArrowCursorScope();
    ~ArrowCursorScope();
    ArrowCursorScope(const ArrowCursorScope&) = delete;
    ArrowCursorScope& operator=(const ArrowCursorScope&) = delete;

private:
    bool pushed_ = false;
};

}  // namespace loamer
