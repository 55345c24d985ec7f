// What the module needs from the system: its own file, the classes root that registration edits
// and the type library's registration.  One implementation per platform:
// posix/module_platform.cpp (comrt's classes root, dladdr) and windows/module_platform.cpp (the
// registry, the module's handle, the system's type library registration).
#pragma once

#include <functional>

#include "comrt/com_types.h"
#include "loamset/registration.h"

// The entry points keep C linkage; which symbols leave the module is the linker's business (a
// version script on Linux, a module definition file on Windows).
#ifdef _WIN32
#define LOAMSET_EXPORT extern "C"
#else
#define LOAMSET_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace loamset {

// Whether the table writes the type library's rows on this platform.
extern const TypeLibraryRows kPlatformTypeLibraryRows;

// The module's own file and the files that registration names beside it. SELFREG_E_CLASS when the
// module cannot learn its own file, SELFREG_E_TYPELIB when the type library is missing.
[[nodiscard]] HRESULT LocateRegistrationFiles(RegistrationFiles& files);

// Runs edit on the classes root. Linux keeps what it wrote only when it succeeds, in one atomic
// rewrite of the file; the registry keeps each change as it is made.
[[nodiscard]] HRESULT EditClassesRoot(const std::function<HRESULT(RegistrationStore&)>& edit);

// The system's own registration of the type library (nothing to do where the table writes it).
[[nodiscard]] HRESULT RegisterTypeLibrary(const RegistrationFiles& files);
void UnregisterTypeLibrary();

}  // namespace loamset
