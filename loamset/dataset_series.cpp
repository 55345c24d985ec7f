#include "loamset/dataset_series.h"

#include <cstdio>
#include <cstring>
#include <functional>

namespace loamset {
namespace {

void AppendKeyPart(std::string& key, const char* text)
{
    if (text != nullptr)
        for (const char* p = text; *p != '\0'; ++p)
            key.push_back(LowerAscii(*p));
    key.push_back('\0');
}

} // namespace

std::size_t SeriesList::TextsHash::operator()(const Texts& t) const
{
    std::hash<const void*> h;
    std::size_t v = h(t.plot);
    for (const char* p : {t.kind, t.channel, t.type, t.units})
        v = v * 1000003u ^ h(p);
    return v;
}

int SeriesList::FindOrAdd(const char* plot, const char* kind, const char* channel, const char* type,
                          const char* units)
{
    const Texts texts{plot, kind, channel, type, units};
    if (m_lastIndex >= 0 && texts == m_lastTexts)
        return m_lastIndex;
    auto known = m_byPointers.find(texts);
    if (known != m_byPointers.end()) {
        m_lastTexts = texts;
        m_lastIndex = known->second;
        return known->second;
    }

    // The name: "plot.kind" cut to 255 characters, the plot alone for an empty kind, or the kind
    // alone without a plot.
    const char* kindText = kind != nullptr ? kind : "";
    std::string name;
    if (plot != nullptr && plot[0] != '\0') {
        if (kindText[0] != '\0') {
            char joined[256];
            std::snprintf(joined, sizeof joined, "%s.%s", plot, kindText);
            name = joined;
        } else {
            name = plot;
        }
    } else {
        name = kindText;
    }

    std::string key;
    key.reserve(name.size() + 32);
    AppendKeyPart(key, name.c_str());
    AppendKeyPart(key, channel);
    AppendKeyPart(key, type);
    AppendKeyPart(key, units);
    int index;
    auto found = m_byKey.find(key);
    if (found != m_byKey.end()) {
        index = found->second;
    } else {
        index = static_cast<int>(m_nodes.size());
        const char* copy = m_arena->Copy(name);
        m_nodes.push_back(SeriesNode{copy, channel, type, units});
        m_byKey.emplace(std::move(key), index);
    }
    m_byPointers.emplace(texts, index);
    m_lastTexts = texts;
    m_lastIndex = index;
    return index;
}

void SeriesList::Clear()
{
    m_nodes.clear();
    m_byKey.clear();
    m_byPointers.clear();
    m_lastTexts = Texts{};
    m_lastIndex = -1;
}

} // namespace loamset
