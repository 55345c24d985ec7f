#include "loamer/retrieval/retrieve_command.h"

#include "loamer/link/ui.h"
#include "loamer/retrieval/output_file.h"
#include "loamer/retrieval/retrieve_readings.h"

namespace loamer {

RetrieveOutcome RetrieveIntoFile(const std::string& path, const std::string& programVersion, ErrorCode& code) {
    code = ERR_NONE;
    std::string problem;
    std::unique_ptr<OutputFile> file = OpenOutputFile(path, problem);
    if (!file) {
        Ui().MessageBox(problem, BoxStyle::Exclamation);
        code = ERR_FILE_OPEN;
        return RetrieveOutcome::Failed;
    }
    code = RetrieveReadings(*file, programVersion);
    const bool closed = file->Close(problem);
    if (code != ERR_NONE) return RetrieveOutcome::Failed;
    if (!closed) {
        Ui().MessageBox(problem, BoxStyle::Exclamation);
        return RetrieveOutcome::CloseFailed;
    }
    return RetrieveOutcome::Saved;
}

}  // namespace loamer
