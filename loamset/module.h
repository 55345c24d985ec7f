// The module's lock count: the module may be unloaded only while nothing holds it.
#pragma once

namespace loamset {

enum class ModuleLock {
    FactoryReference,  // a client holds a reference to the class factory
    ServerLock,        // a client called LockServer(TRUE)
};

void LockModule(ModuleLock kind) noexcept;
// false (and the count unchanged) when nothing of that kind was locked: an unbalanced unlock.
bool UnlockModule(ModuleLock kind) noexcept;
// Both kinds of lock plus the dataset objects alive: DllCanUnloadNow answers S_OK only at 0.
long ModuleLockCount() noexcept;

}  // namespace loamset
