// Saved image snapshots: the request goes to the first object of the chain outer object, parent,
// this object that takes it.
#include "com/ComError.h"
#include "testobject/core/ComTestObject.h"
#include "testobject/core/ParentLevel.h"
#include "testobject/core/TestObjectGuard.h"

namespace {

// The host's "no highlight id" in the second value: none given, empty, or the number 0.
bool IsNoHighlight(const VARIANT* id) noexcept {
    if (!id || id->vt == VT_EMPTY) return true;
    kcom::CComVariant number;
    return SUCCEEDED(::VariantChangeType(&number, const_cast<VARIANT*>(id), 0, VT_I4)) && number.lVal == 0;
}

}  // namespace

HRESULT CComTestObject::GetSavedSnapshot(BSTR snapshotDir, VARIANT* highlightId, long kind, BSTR* snapshot,
                                         BYTE storeAsCurrent, long passed2, IDispatch* object) {
    if (!snapshot) return E_POINTER;
    *snapshot = nullptr;
    return TestObjectGuard([&] {
        if (kind == 1 && IsNoHighlight(highlightId))
            SetRunStateValue(L"SnapshotDir", kcom::CComVariant(snapshotDir ? snapshotDir : L""));
        HRESULT hr;
        kcom::CComPtr<ISnapshotHelper> parentHelper;
        if (kcom::CComPtr<ISnapshotHelper> outer = Outer<ISnapshotHelper>()) {
            hr = outer->Snapshot(snapshotDir, highlightId, kind, snapshot, storeAsCurrent, passed2, object);
        } else {
            kcom::CComBSTR parentName(L"parent");
            kcom::CComVariant parent;
            m_properties.Get(parentName, parent.Put(), nullptr, nullptr, nullptr, nullptr);
            if (parent.vt == VT_DISPATCH && parent.pdispVal) kcom::QueryTo(parent.pdispVal, parentHelper.Put());
            // At the deepest level a looping chain allows, this object takes the request itself.
            const CParentLevel level;
            if (parentHelper && level) {
                kcom::CComPtr<IDispatch> subject(object);
                if (!subject) GetOwnDispatch(subject.Put());
                hr = parentHelper->Snapshot(snapshotDir, highlightId, kind, snapshot, storeAsCurrent, passed2,
                                            subject);
            } else {
                hr = CreateSnapshotInternal(snapshotDir, highlightId, kind, snapshot, storeAsCurrent, passed2,
                                            object);
            }
        }
        if (storeAsCurrent) {
            const bool named = SUCCEEDED(hr) && *snapshot;
            SetRunStateValue(L"CurrentSavedSnapshot", kcom::CComVariant(named ? *snapshot : L""));
        }
        return hr;
    });
}
