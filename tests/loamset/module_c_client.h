/* The C client of the module tests. */
#ifndef LOAMSET_TESTS_MODULE_C_CLIENT_H
#define LOAMSET_TESTS_MODULE_C_CLIENT_H

#include <stdint.h>

#include "loamset/kxdataset.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct CClientSummary {
    int sameObject;
    uint32_t caps;
    int records;
    int series;
    char device[16];
    int firstResults;
    double firstValue;
    ULONG references; /* left after the client's Release */
} CClientSummary;

/* The failing call's result, or S_OK; summary is filled as far as the calls went. */
HRESULT CClientReadFirstRecord(const KXWCHAR* file, CClientSummary* summary);

#ifdef __cplusplus
}
#endif

#endif
