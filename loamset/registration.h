// What the dataset module writes into the classes root, and removes again.
#pragma once

#include <string>

#include "comrt/com_types.h"
#include "comrt/registry.h"

namespace loamset {

// The files that registration names: the module itself, and the type library, which on Linux is the
// interface description and the client header installed with it. Absolute paths.
struct RegistrationFiles {
    std::string module;
    std::string idl;
    std::string header;
};

// Both walk one table: registration sets each row's value (replacing the class key and the type
// library version key whole), unregistration removes the rows in reverse order and leaves the keys
// shared with other classes ("CLSID", "TypeLib"). E_INVALIDARG for a path the file cannot hold.
[[nodiscard]] HRESULT AddRegistration(comrt::Registry& registry, const RegistrationFiles& files);
void RemoveRegistration(comrt::Registry& registry);

}  // namespace loamset
