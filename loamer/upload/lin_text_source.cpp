#include "loamer/upload/lin_text_source.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace loamer {

namespace {

TableFileOpener* g_tableFiles = nullptr;
int g_lastSystemError = 0;

class MemoryTableSource final : public TableFileSource {
public:
    explicit MemoryTableSource(std::string text) : text_(std::move(text)) {}
    bool Read(unsigned char* buffer, std::size_t max, std::size_t& got) override {
        got = std::min(max, text_.size() - at_);
        std::memcpy(buffer, text_.data() + at_, got);
        at_ += got;
        return true;
    }
    bool Close() override { return true; }

private:
    std::string text_;
    std::size_t at_ = 0;
};

}  // namespace

TableFileOpener& TableFiles() { return g_tableFiles ? *g_tableFiles : SystemTableFiles(); }

TableFileOpener* SetTableFiles(TableFileOpener* files) {
    TableFileOpener* previous = g_tableFiles ? g_tableFiles : &SystemTableFiles();
    g_tableFiles = files;
    return previous;
}

int LastTableFileSystemError() { return g_lastSystemError; }
void NoteTableFileSystemError(int error) { g_lastSystemError = error; }

std::unique_ptr<TableFileSource> MemoryTableFile(std::string text) { return std::make_unique<MemoryTableSource>(std::move(text)); }

int LinTextReader::Peek() {
    if (next_ < size_) return buffer_[next_];
    if (ended_) return kEnd;
    std::size_t got = 0;
    if (!source_.Read(buffer_, sizeof buffer_, got)) {
        failed_ = true;
        got = 0;
    }
    next_ = 0;
    size_ = std::min(got, sizeof buffer_);
    if (size_ == 0) {
        ended_ = true;
        return kEnd;
    }
    return buffer_[next_];
}

int LinTextReader::Get() {
    const int c = Peek();
    if (c == kEnd) return kEnd;
    ++next_;
    ++offset_;
    if (c != '\r' || Peek() != '\n') return c;
    ++next_;
    ++offset_;
    return '\n';
}

}  // namespace loamer
