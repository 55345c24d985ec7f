// The names the programs go by, in one place: the window and box caption, the maker under
// whose name the settings are stored, the maker's support address, and the port used until the
// user picks one.
#pragma once

#include "loamer/version.h"

namespace loamer {

inline constexpr char kProductName[] = LOAMER_PRODUCT_NAME;
inline constexpr char kProgramTitle[] = "Loamer";
inline constexpr char kOrganisationName[] = "Norvane";
inline constexpr char kSupportEmail[] = "support@norvane.example";
inline constexpr char kDefaultPortName[] = "COM1";

}  // namespace loamer
