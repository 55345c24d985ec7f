// Texts owned by a dataset object: an arena of stable copies, and the string pools that hand out
// one copy per text ignoring case.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace loamset {

// ASCII case rules: the file's bytes are compared and lower-cased without the process's locale.
constexpr char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
bool EqualNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
std::string LowerCopy(std::string_view text);

// Stable NUL-terminated copies that live as long as the arena.  Throws std::bad_alloc.
class TextArena {
public:
    const char* Copy(std::string_view text);

private:
    std::vector<std::unique_ptr<char[]>> m_blocks;
    char* m_free = nullptr;
    std::size_t m_left = 0;
};

// InternString: the first form met of a text wins, later texts equal to it ignoring case get that
// same copy, so equal pointers mean equal texts.
class StringPool {
public:
    explicit StringPool(TextArena& arena) : m_arena(&arena) {}
    const char* Intern(std::string_view text);
    void Clear() { m_texts.clear(); m_lastExact.clear(); m_last = nullptr; }

private:
    TextArena* m_arena;
    std::unordered_map<std::string, const char*> m_texts; // key: the text lower-cased
    std::string m_lastExact;                              // the text of the last call, as given
    const char* m_last = nullptr;
};

} // namespace loamset
