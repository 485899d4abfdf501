#pragma once
// Two-dimensional VARIANT tables as hook records carry them: cells of one row lie together, and
// bound 0 of the descriptor is the row count.
#include <windows.h>
#include <oleauto.h>
#include <new>

// Cell (row, col) of a two-dimensional VARIANT table whose cells of one row lie together.
inline const VARIANT* Cell(SAFEARRAY* psa, ULONG row, ULONG col) {
    if (!psa || psa->cDims != 2 || psa->cbElements != sizeof(VARIANT)) return nullptr;
    const ULONG rows = psa->rgsabound[0].cElements, cols = psa->rgsabound[1].cElements;
    if (row >= rows || col >= cols) return nullptr;
    return static_cast<const VARIANT*>(psa->pvData) + row * cols + col;
}

// A new rows x cols VARIANT table.
inline SAFEARRAY* NewTable(ULONG rows, ULONG cols) {
    SAFEARRAYBOUND bounds[2] = {{cols, 0}, {rows, 0}};
    SAFEARRAY* psa = ::SafeArrayCreate(VT_VARIANT, 2, bounds);
    if (!psa) throw std::bad_alloc();
    return psa;
}
