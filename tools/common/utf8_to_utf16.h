// UTF-8 to UTF-16, for the file names that the dataset component's clients hand to Open.
// Header-only so that every tool can use it without a library of its own.
#ifndef TOOLS_COMMON_UTF8_TO_UTF16_H
#define TOOLS_COMMON_UTF8_TO_UTF16_H

#include <cstddef>
#include <string>

namespace loamer_tools {

// False when the bytes are no UTF-8 (overlong forms, surrogates and values past U+10FFFF included).
inline bool Utf8ToUtf16(const std::string& text, std::u16string& out) {
    out.clear();
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int length = lead < 0x80           ? 1
                           : (lead >> 5) == 0x6  ? 2
                           : (lead >> 4) == 0xE  ? 3
                           : (lead >> 3) == 0x1E ? 4
                                                 : 0;
        if (length == 0 || i + static_cast<std::size_t>(length) > text.size()) return false;
        char32_t code = length == 1 ? lead : lead & (0x7F >> length);
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            if ((next & 0xC0) != 0x80) return false;
            code = code << 6 | (next & 0x3F);
        }
        static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        if (code >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
        i += static_cast<std::size_t>(length);
    }
    return true;
}

}  // namespace loamer_tools

#endif  // TOOLS_COMMON_UTF8_TO_UTF16_H
