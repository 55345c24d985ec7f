#include "loamer/upload/copy_data_frames.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace loamer {

namespace {

constexpr std::size_t kKindEnd = LOAMER_CD_MAGIC_SIZE + 4;

std::uint32_t Le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void PutLe32(std::vector<unsigned char>& out, std::uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<unsigned char>(v >> shift));
}

void PutMagic(std::vector<unsigned char>& out) {
    static constexpr char kMagic[] = LOAMER_CD_MAGIC;
    out.insert(out.end(), kMagic, kMagic + LOAMER_CD_MAGIC_SIZE);
}

}  // namespace

void CopyDataFrameDecoder::Restart() {
    phase_ = Phase::Header;
    have_ = 0;
    pending_ = CopyDataFrame{};
    dropLeft_ = 0;
}

FrameDecode CopyDataFrameDecoder::TakeHeader(const unsigned char* bytes, std::size_t count, std::size_t& used,
                                             CopyDataFrame& frame) {
    while (used < count) {
        // The kind decides how long the header is.
        std::size_t need = kKindEnd;
        if (have_ >= kKindEnd) {
            need = Le32(header_ + LOAMER_CD_MAGIC_SIZE) == LOAMER_CD_KIND_MESSAGE ? LOAMER_CD_MESSAGE_HEADER_SIZE
                                                                                   : LOAMER_CD_RESULT_FRAME_SIZE;
        }
        const unsigned char byte = bytes[used++];
        if (have_ < LOAMER_CD_MAGIC_SIZE && byte != static_cast<unsigned char>(LOAMER_CD_MAGIC[have_])) {
            phase_ = Phase::Broken;
            return FrameDecode::Broken;
        }
        header_[have_++] = byte;
        if (have_ == kKindEnd) {
            const std::uint32_t kind = Le32(header_ + LOAMER_CD_MAGIC_SIZE);
            if (kind != LOAMER_CD_KIND_MESSAGE && kind != LOAMER_CD_KIND_RESULT) {
                phase_ = Phase::Broken;
                return FrameDecode::Broken;
            }
            continue;
        }
        if (have_ < need) continue;

        if (need == LOAMER_CD_RESULT_FRAME_SIZE) {
            frame = CopyDataFrame{};
            frame.kind = CopyDataFrame::Kind::Result;
            frame.value = static_cast<std::int32_t>(Le32(header_ + kKindEnd));
            Restart();
            return FrameDecode::Frame;
        }
        pending_ = CopyDataFrame{};
        pending_.type = Le32(header_ + kKindEnd);
        pending_.size = Le32(header_ + kKindEnd + 4);
        pending_.flags = Le32(header_ + kKindEnd + 8);
        have_ = 0;
        if (pending_.size > kCopyDataMaxBlock) {
            pending_.dropped = true;
            dropLeft_ = pending_.size;
            phase_ = Phase::Drain;
        } else {
            pending_.block.reserve(pending_.size);
            phase_ = Phase::Block;
        }
        return FrameDecode::NeedMore;
    }
    return FrameDecode::NeedMore;
}

FrameDecode CopyDataFrameDecoder::Decode(const unsigned char* bytes, std::size_t count, std::size_t& used,
                                         CopyDataFrame& frame) {
    used = 0;
    for (;;) {
        switch (phase_) {
        case Phase::Broken: return FrameDecode::Broken;
        case Phase::Header: {
            const FrameDecode header = TakeHeader(bytes, count, used, frame);
            if (header != FrameDecode::NeedMore || phase_ == Phase::Header) return header;
            break;  // a message header ended: its block follows, possibly empty
        }
        case Phase::Block: {
            const std::size_t take = std::min(count - used, pending_.size - pending_.block.size());
            pending_.block.insert(pending_.block.end(), bytes + used, bytes + used + take);
            used += take;
            if (pending_.block.size() < pending_.size) return FrameDecode::NeedMore;
            frame = std::move(pending_);
            Restart();
            return FrameDecode::Frame;
        }
        case Phase::Drain: {
            const std::size_t take = std::min<std::size_t>(count - used, dropLeft_);
            used += take;
            dropLeft_ -= static_cast<std::uint32_t>(take);
            if (dropLeft_ > 0) return FrameDecode::NeedMore;
            frame = std::move(pending_);
            Restart();
            return FrameDecode::Frame;
        }
        }
    }
}

void AppendMessageFrame(std::vector<unsigned char>& out, std::uint32_t type, std::uint32_t flags, const void* block,
                        std::uint32_t size) {
    PutMagic(out);
    PutLe32(out, LOAMER_CD_KIND_MESSAGE);
    PutLe32(out, type);
    PutLe32(out, size);
    PutLe32(out, flags);
    const auto* bytes = static_cast<const unsigned char*>(block);
    if (size > 0) out.insert(out.end(), bytes, bytes + size);
}

void AppendResultFrame(std::vector<unsigned char>& out, std::int32_t value) {
    PutMagic(out);
    PutLe32(out, LOAMER_CD_KIND_RESULT);
    PutLe32(out, static_cast<std::uint32_t>(value));
}

}  // namespace loamer
