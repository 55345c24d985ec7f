/* A client of the dataset interface written in C, and the text both it and the C++ test write. */
#ifndef LOAMSET_TESTS_C_CLIENT_H
#define LOAMSET_TESTS_C_CLIENT_H

#include "loamset/kxdataset.h"

#define KX_CLIENT_HEADER "records %d series %d locale %d caps %08x/%d first %08x%08x device %s\n"
#define KX_CLIENT_SERIES "series %d [%s] [%s] [%s] [%s]\n"
#define KX_CLIENT_RECORD "record %d time %08x%08x pos %u results %d\n"
#define KX_CLIENT_RESULT " %d %08x %.17g\n"

#ifdef __cplusplus
extern "C" {
#endif

/* Opens the file, lists its series and reads every record, writing the lines above into out. */
HRESULT KxClientReadAll(IKXDataset* dataset, const KXWCHAR* path, char* out, size_t size);

#ifdef __cplusplus
}
#endif

#endif
