// The Retrieve command between the file choice and the outcome box, shared by the desktop
// program and the command line: open the chosen file, retrieve into it, close it.
#pragma once

#include <string>

#include "loamer/link/error_codes.h"
#include "loamer/link/ui.h"

namespace loamer {

inline constexpr char kReadingsSavedText[] = "Your readings were saved to disk.";

// The save dialog of the Retrieve command.
inline constexpr FileDialogOptions kRetrieveFileDialog{"CSV", "LOAMER", "CSV Files (*.CSV)|*.CSV|All Files (*.*) |*.*||",
                                                    true};

enum class RetrieveOutcome {
    Saved,        // show kReadingsSavedText and refresh the clock display
    Failed,       // show the error report for the code
    CloseFailed,  // the system's message has been shown; nothing more
};

// A file that cannot be opened shows the system's message and fails with ERR_FILE_OPEN. A failed
// retrieval keeps in the file every chunk written before it. code is 0 unless Failed.
RetrieveOutcome RetrieveIntoFile(const std::string& path, const std::string& programVersion, ErrorCode& code);

}  // namespace loamer
