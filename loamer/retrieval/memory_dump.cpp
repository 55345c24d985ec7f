#include "loamer/retrieval/memory_dump.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "loamer/link/comm_port.h"
#include "loamer/link/meter_protocol.h"
#include "loamer/product.h"
#include "loamer/upload/path_names.h"

namespace loamer {

namespace {

// One block: the request, the reply into reply (cleared by the read), its checks.
ErrorCode ExchangeBlock(char type, unsigned number, unsigned char (&reply)[kMemoryBlock.reply]) {
    char request[16];
    std::snprintf(request, sizeof request, "%c%c%05u\r\n", kMemoryBlock.letter, type, number);
    if (OpenCommPort() != ERR_NONE) return ERR_PORT_OPEN;
    if (ErrorCode rc = WriteCommPort(request, kMemoryBlock.request); rc != ERR_NONE) return rc;
    if (ErrorCode rc = ReadCommPort(reply, sizeof reply); rc != ERR_NONE) return rc;
    return CheckMemoryBlockReply(reply);
}

}  // namespace

const char* MemoryTypeName(char type) {
    switch (type) {
    case '0': return "Direct";
    case '1': return "Internal";
    case '2': return "External";
    default: return "";
    }
}

ErrorCode CheckMemoryBlockReply(const unsigned char (&reply)[kMemoryBlock.reply]) {
    if (reply[0] != kMemoryBlock.replyLetter) return ERR_BAD_REPLY;
    if (reply[memory_block_reply::kLineEnd] != '\r' || reply[memory_block_reply::kLineEnd + 1] != '\n') return ERR_BAD_FRAME;
    return ERR_NONE;
}

std::string DebugErrorText(const unsigned char (&reply)[kMemoryBlock.reply], char type) {
    const unsigned char* echo = reply + memory_block_reply::kEcho.offset;
    const unsigned char* echoEnd = std::find(echo, echo + memory_block_reply::kEcho.width, 0);
    return "LOAMER : Debug Error Message:\n\nAn error occurred while writing\ndebug information to file.\n\n"
           "The error occured at \n\nSequence Number: " +
           std::string(echo, echoEnd) + "\nTQ4 Memory Type: " + MemoryTypeName(type);
}

std::string DebugSavedText(const std::string& path) {
    return "TQ4 DEBUG Report:\n\nA Debug Report named " + FileNameOfPath(path) +
           "\nwas saved to file.\n\nIf Norvane Technical Support requested \nthis file please send it to us.\n\n"
           "Our e-mail address is:\n" +
           kSupportEmail;
}

ErrorCode DumpMemory(OutputFile& file) {
    WaitCursorScope cursor;
    if (ErrorCode rc = ConnectMeter(); rc != ERR_NONE) return rc;
    ProgressScope progress;
    // Kept between blocks: a block that fails before its read names the echo of the one before.
    unsigned char reply[kMemoryBlock.reply] = {};
    int counted = 0;
    for (const MemoryArea& area : kDumpedMemory) {
        for (unsigned block = 0; block < area.blocks; ++block) {
            Ui().RestoreWaitCursor();
            // A step every third block: at blocks 3, 6, 9 and on.
            if (counted == 3) {
                Ui().ProgressStep();
                counted = 1;
            } else {
                ++counted;
            }
            const ErrorCode rc = ExchangeBlock(area.type, block, reply);
            if (rc == ERR_ABORTED) return rc;
            if (rc != ERR_NONE) {
                Ui().MessageBox(DebugErrorText(reply, area.type), BoxStyle::Plain);
                return ERR_FILE_WRITE;
            }
            std::string problem;
            if (!file.Write(reply + memory_block_reply::kData.offset, memory_block_reply::kData.width, problem)) {
                Ui().MessageBox(problem, BoxStyle::Exclamation);
                return ERR_FILE_WRITE;
            }
        }
    }
    return ERR_NONE;
}

CommandResult SaveDebugReport(ClockDisplay& display) {
    std::string path;
    if (!Ui().ChooseSaveFile(kDebugFileDialog, path)) return {CommandEnd::Cancelled, ERR_NONE};
    std::string problem;
    ErrorCode rc = ERR_NONE;
    if (std::unique_ptr<OutputFile> file = OpenOutputFile(path, problem); !file) {
        Ui().MessageBox(problem, BoxStyle::Exclamation);
        rc = ERR_FILE_OPEN;
    } else {
        rc = DumpMemory(*file);
        if (!file->Close(problem)) {
            Ui().MessageBox(problem, BoxStyle::Exclamation);
            rc = ERR_FILE_WRITE;
        }
    }
    if (rc != ERR_NONE) {
        ShowErrorReport(rc);
        return {CommandEnd::Reported, rc};
    }
    Ui().MessageBox(DebugSavedText(path), BoxStyle::Information);
    (void)RefreshClockDisplay(display);
    return {CommandEnd::Succeeded, ERR_NONE};
}

}  // namespace loamer
