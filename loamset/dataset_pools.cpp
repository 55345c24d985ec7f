#include "loamset/dataset_pools.h"

#include <cstring>

namespace loamset {

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

std::string LowerCopy(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower)
        c = LowerAscii(c);
    return lower;
}

const char* TextArena::Copy(std::string_view text)
{
    constexpr std::size_t kBlock = 16 * 1024;
    const std::size_t need = text.size() + 1;
    char* place;
    if (need > kBlock / 4) {
        m_blocks.push_back(std::make_unique<char[]>(need));
        place = m_blocks.back().get();
    } else {
        if (need > m_left) {
            m_blocks.push_back(std::make_unique<char[]>(kBlock));
            m_free = m_blocks.back().get();
            m_left = kBlock;
        }
        place = m_free;
        m_free += need;
        m_left -= need;
    }
    if (!text.empty())
        std::memcpy(place, text.data(), text.size());
    place[text.size()] = '\0';
    return place;
}

const char* StringPool::Intern(std::string_view text)
{
    // Reading lines intern their plot cell one after another: the same bytes give the same copy.
    if (m_last != nullptr && text == m_lastExact)
        return m_last;
    std::string key = LowerCopy(text);
    auto found = m_texts.find(key);
    const char* copy;
    if (found != m_texts.end()) {
        copy = found->second;
    } else {
        copy = m_arena->Copy(text);
        m_texts.emplace(std::move(key), copy);
    }
    m_lastExact.assign(text);
    m_last = copy;
    return copy;
}

} // namespace loamset
