/* Compiled as C11 with -Wpedantic -Werror: the interface header's C view, called through lpVtbl. */
#include "tests/loamset/c_client.h"

#include <stdio.h>
#include <string.h>

static void Put(char* out, size_t size, size_t* used, const char* line)
{
    size_t length = strlen(line);
    if (*used + length + 1 > size)
        return;
    memcpy(out + *used, line, length + 1);
    *used += length;
}

HRESULT KxClientReadAll(IKXDataset* dataset, const KXWCHAR* path, char* out, size_t size)
{
    _KXHEADERCAPS caps;
    _KXHEADERCAPSEX capsEx;
    _KXHeader header;
    _KXSeries series[64];
    _KXResult results[14];
    FILETIME stamps[14];
    FILETIME time;
    ULONG pos;
    char line[512];
    size_t used = 0;
    int count = 64;
    int record, k;
    IUnknown* unknown = NULL;
    HRESULT hr = dataset->lpVtbl->QueryInterface(dataset, &IID_IUnknown, (void**)&unknown);
    if (FAILED(hr))
        return hr;
    unknown->lpVtbl->Release(unknown);

    out[0] = '\0';
    hr = dataset->lpVtbl->Open(dataset, path, &caps, &capsEx, &header);
    if (FAILED(hr))
        return hr;
    snprintf(line, sizeof line, KX_CLIENT_HEADER, header.nRecords, header.nSeries, (int)header.nLocale,
             (unsigned)header.nCaps, (int)capsEx, (unsigned)header.dFirstRec.dwHighDateTime,
             (unsigned)header.dFirstRec.dwLowDateTime, header.pszDevName);
    Put(out, size, &used, line);
    hr = dataset->lpVtbl->EnumSeries(dataset, NULL, &count, series);
    if (FAILED(hr))
        return hr;
    for (k = 0; k < count; ++k) {
        snprintf(line, sizeof line, KX_CLIENT_SERIES, k, series[k].pszSensorName, series[k].pszChannel,
                 series[k].pszSensorType, series[k].pszUnits);
        Put(out, size, &used, line);
    }
    for (record = header.nRecords - 1; record >= 0; --record) {
        int n = 14;
        hr = dataset->lpVtbl->ReadRecord(dataset, record, &n, &time, results, stamps, &pos);
        if (FAILED(hr))
            return hr;
        snprintf(line, sizeof line, KX_CLIENT_RECORD, record, (unsigned)time.dwHighDateTime,
                 (unsigned)time.dwLowDateTime, (unsigned)pos, n);
        Put(out, size, &used, line);
        for (k = 0; k < n; ++k) {
            snprintf(line, sizeof line, KX_CLIENT_RESULT, results[k].iSeries, (unsigned)results[k].u.v.err,
                     results[k].u.v.val.d);
            Put(out, size, &used, line);
        }
    }
    return S_OK;
}
