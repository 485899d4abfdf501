// Interim stand-ins for the value type change and array equality until the value helpers land.
#include <windows.h>
#include <oleauto.h>

HRESULT ChangeValueType(VARIANT* target, VARTYPE vt, const VARIANT* source, BSTR) {
    return ::VariantChangeType(target, const_cast<VARIANT*>(source ? source : target), 0, vt);
}

bool CompareArrayValues(const VARIANT&, const VARIANT&) { return false; }
