// GUIDs as text: "{5A3C9E1F-42B7-4D1E-9C6A-2F81D0B47E31}".
#pragma once

#include <string>
#include <string_view>

#include "comrt/com_types.h"

namespace comrt {

// Braces, upper-case hexadecimal digits, groups of 8-4-4-4-12.
[[nodiscard]] std::string GuidToString(const GUID& guid);
// The same form in either case; false (guid untouched) for anything else.
[[nodiscard]] bool ParseGuid(std::string_view text, GUID& guid);

}  // namespace comrt
