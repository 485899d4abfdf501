#pragma once
// Two-dimensional VARIANT tables as hook records carry them: cells of one row lie together, and
// bound 0 of the descriptor is the row count.
#include <windows.h>
#include <oleauto.h>
#include <new>
#include "com/ComSafeArray.h"
#include "com/ComVariant.h"
#include "WireRecord.h"

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

// Answers GET_PROPERTIES_MSG: for each name in column 0 of A's table, read(name, value) fills one
// row of a new n x 1 table in B (left empty for a name it does not know). False when A holds no
// table.
template <class Read>
bool AnswerPropertyTable(CWireRecord& record, Read read) {
    if (record.a.vt != (VT_ARRAY | VT_VARIANT)) return false;
    SAFEARRAY* request = record.a.parray;
    kcom::CSafeArrayDataLock lock(request);
    if (!lock || request->cDims != 2) return false;
    const ULONG rows = request->rgsabound[0].cElements;
    kcom::CComSafeArray values(NewTable(rows, 1));
    {
        kcom::CSafeArrayDataLock out(values);
        for (ULONG i = 0; i < rows; ++i) {
            const VARIANT* name = Cell(request, i, 0);
            kcom::CComVariant value;
            if (name && name->vt == VT_BSTR && name->bstrVal && read(name->bstrVal, value))
                value.Detach(&out.get<VARIANT>()[i]);
        }
    }
    record.b.Clear();
    record.b.vt = VT_ARRAY | VT_VARIANT;
    record.b.parray = values.Detach();
    return true;
}
