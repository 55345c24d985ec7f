// The frames that carry inter-program messages and their results over a byte stream (layout in
// copy_data_protocol.h): built into byte buffers, and read back from bytes as they come, in
// pieces of any size. A block over the 64 KiB limit is read and dropped, never held.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "loamer/upload/copy_data_protocol.h"

namespace loamer {

inline constexpr std::size_t kCopyDataMaxBlock = LOAMER_CD_MAX_BLOCK;

struct CopyDataFrame {
    enum class Kind { Message, Result };
    Kind kind = Kind::Message;
    // A message: its type, flags, the size its header gave, and its block (empty when dropped).
    std::uint32_t type = 0;
    std::uint32_t flags = 0;
    std::uint32_t size = 0;
    bool dropped = false;  // larger than kCopyDataMaxBlock: read and dropped
    std::vector<unsigned char> block;
    // A result's value.
    std::int32_t value = 0;

    bool TakesAnswers() const { return (flags & LOAMER_CD_FLAG_TAKES_ANSWERS) != 0; }
};

enum class FrameDecode {
    NeedMore,  // every byte was taken; the frame is not complete yet
    Frame,     // a frame is complete
    Broken,    // not a frame (magic or kind): the stream cannot be read on
};

class CopyDataFrameDecoder {
public:
    // Takes bytes until a frame is complete or the bytes run out; used is how many it took.
    // On Frame, frame holds the frame and the bytes after used belong to the next one. Once
    // Broken, it stays so.
    FrameDecode Decode(const unsigned char* bytes, std::size_t count, std::size_t& used, CopyDataFrame& frame);
    // True when part of a frame has been taken (a stream that ends now cuts a frame).
    bool MidFrame() const { return have_ > 0 || phase_ != Phase::Header; }

private:
    enum class Phase { Header, Block, Drain, Broken };
    FrameDecode TakeHeader(const unsigned char* bytes, std::size_t count, std::size_t& used, CopyDataFrame& frame);
    void Restart();

    Phase phase_ = Phase::Header;
    unsigned char header_[LOAMER_CD_MESSAGE_HEADER_SIZE] = {};
    std::size_t have_ = 0;
    CopyDataFrame pending_;
    std::uint32_t dropLeft_ = 0;
};

// Appends a message frame (header and block) to out.
void AppendMessageFrame(std::vector<unsigned char>& out, std::uint32_t type, std::uint32_t flags, const void* block,
                        std::uint32_t size);
// Appends a result frame to out.
void AppendResultFrame(std::vector<unsigned char>& out, std::int32_t value);

}  // namespace loamer
