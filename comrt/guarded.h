// Runs the body of a C entry point so that no exception leaves through it: memory exhaustion
// becomes E_OUTOFMEMORY and anything else E_UNEXPECTED. For the runtime and the modules it serves.
#ifndef COMRT_GUARDED_H
#define COMRT_GUARDED_H

#include <new>

#include "comrt/com_types.h"

namespace comrt {

template <typename Body>
HRESULT Guarded(Body body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

}  // namespace comrt

#endif  // COMRT_GUARDED_H
