// The dataset object's creation, for the module's class factory and for tests.
#pragma once

#include "loamset/kxdataset.h"

namespace loamset {

struct DatasetOptions {
    // Keep an index of the records read since the last rewind, so that going back costs a few
    // lines instead of a re-read from the file's start.  Off: every step back re-reads literally.
    bool recordIndex = true;
};

// Creates a dataset object and hands out its interface riid (IID_IUnknown or IID_IKXDataset) with
// one reference.  E_POINTER for a null ppv, E_OUTOFMEMORY when the object cannot be made,
// E_NOINTERFACE for any other interface (the new object is then destroyed and *ppv set to null).
HRESULT CreateDataset(REFIID riid, void** ppv, const DatasetOptions& options = {});

// Dataset objects alive in this process: the module stays locked while this is above 0.
long LiveDatasetObjects();

} // namespace loamset
