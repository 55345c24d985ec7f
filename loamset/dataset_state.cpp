#include "loamset/dataset_state.h"

namespace loamset {

const char kEmptyText[] = "";

void MergeWritten(HeaderState& state, const HeaderState& snapshot, const HeaderWritten& written)
{
    if (written.device)
        state.device = snapshot.device;
    if (written.nDepths)
        state.nDepths = snapshot.nDepths;
    if (written.nColumns)
        state.nColumns = snapshot.nColumns;
    if (written.plotColumn)
        state.plotColumn = snapshot.plotColumn;
    for (std::size_t i = 0; i < kDepthSlots; ++i)
        if (written.depths[i])
            state.depths[i] = snapshot.depths[i];
    for (std::size_t c = 0; c < kColumnSlots; ++c) {
        if (written.colSlot[c])
            state.columns[c].nSlot = snapshot.columns[c].nSlot;
        if (written.colError[c])
            state.columns[c].bError = snapshot.columns[c].bError;
    }
    for (std::size_t k = 0; k < kResultColumns; ++k) {
        if (written.entDepth[k])
            state.entries[k].nDepthSlot = snapshot.entries[k].nDepthSlot;
        if (written.entKind[k])
            state.entries[k].pszKind = snapshot.entries[k].pszKind;
        if (written.entUnits[k])
            state.entries[k].pszUnits = snapshot.entries[k].pszUnits;
    }
}

} // namespace loamset
