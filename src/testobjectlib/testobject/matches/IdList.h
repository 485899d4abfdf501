#pragma once
// Reading the lists of run-time objects that the query engine and the id-path tables hand over:
// one or two dimensions ({column, row} for two), cells of VT_UNKNOWN, VT_DISPATCH or VARIANT.
#include <windows.h>
#include <oleauto.h>

// Rows of the list; 0 for none.
ULONG IdListRows(SAFEARRAY* list) noexcept;
// Columns of the list: 1 for a one-dimensional list, 0 for none.
ULONG IdListColumns(SAFEARRAY* list) noexcept;
// The object in a cell, add-ref'd; null with S_FALSE for a cell that holds none.
HRESULT IdListObject(SAFEARRAY* list, ULONG row, ULONG column, IUnknown** out) noexcept;
