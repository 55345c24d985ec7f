/* A client written in C against loamset/kxdataset.h and comrt/comrt.h, as a C program would use
 * the component: created by its ProgID, opened, and its first record read. */
#include <stddef.h>
#include <string.h>

#include "comrt/comrt.h"
#include "loamset/kxdataset.h"
#include "tests/loamset/module_c_client.h"

HRESULT CClientReadFirstRecord(const KXWCHAR* file, CClientSummary* summary) {
    IKXDataset* dataset = NULL;
    IUnknown* unknown = NULL;
    _KXHEADERCAPS caps = KXHEADERCAPS_NONE;
    _KXHEADERCAPSEX capsEx = KXHEADERCAPSEX_NONE;
    _KXHeader header;
    _KXResult results[16];
    FILETIME times[16];
    int count = 16;
    HRESULT hr = ComrtCreateInstanceByProgID(KX_PROGID, NULL, &IID_IKXDataset, (void**)&dataset);
    if (FAILED(hr)) return hr;

    hr = dataset->lpVtbl->QueryInterface(dataset, &IID_IUnknown, (void**)&unknown);
    if (SUCCEEDED(hr)) {
        summary->sameObject = (void*)unknown == (void*)dataset;
        unknown->lpVtbl->Release(unknown);
        hr = dataset->lpVtbl->Open(dataset, file, &caps, &capsEx, &header);
    }
    if (SUCCEEDED(hr)) {
        summary->caps = (uint32_t)caps;
        summary->records = header.nRecords;
        summary->series = header.nSeries;
        strncpy(summary->device, header.pszDevName != NULL ? header.pszDevName : "",
                sizeof summary->device - 1);
        hr = dataset->lpVtbl->ReadRecord(dataset, 0, &count, NULL, results, times, NULL);
    }
    if (SUCCEEDED(hr)) {
        summary->firstResults = count;
        summary->firstValue = count > 0 ? results[0].u.v.val.d : 0.0;
    }
    summary->references = dataset->lpVtbl->Release(dataset);
    return hr;
}
