// The matching test objects of every level below this object, gathered into one collection.
#include <vector>
#include "com/ComError.h"
#include "tables/KorSafeArray.h"
#include "testobject/core/ComTestObject.h"
#include "testobject/core/TestObjectGuard.h"

namespace {

// A host whose query answers an object among its own descendants would let the collection grow
// without end; the walk stops at this many items.
constexpr long kMaxItems = 100000;

// The run-time objects already in the collection, so that none is appended twice.
class CSeenObjects {
public:
    bool Add(IRuntimeID* id) {
        for (const auto& seen : seen_)
            if (seen.IsEqualObject(id) || seen->IsEqual(id) == S_OK) return false;
        seen_.emplace_back(id);
        return true;
    }

private:
    std::vector<kcom::CComPtr<IRuntimeID>> seen_;
};

// The run-time object an item of a collection holds as its "objectid".
kcom::CComPtr<IRuntimeID> RuntimeIdOf(IDispatch* item) {
    kcom::CComPtr<IRuntimeID> id;
    kcom::CComPtr<ITestObjectInfo> info;
    if (!item || FAILED(kcom::QueryTo(item, info.Put())) || !info) return id;
    kcom::CComBSTR name(L"objectid");
    kcom::CComVariant value;
    if (SUCCEEDED(info->get_Prop(name, nullptr, nullptr, nullptr, value.Put())) && value.vt == VT_UNKNOWN &&
        value.punkVal)
        kcom::QueryTo(value.punkVal, id.Put());
    return id;
}

// Appends the run-time objects of the children that one item's own ChildObjects answers.
HRESULT AppendChildrenOf(IDispatch* item, IDispatch* description, IKorTOCollection* intake, CSeenObjects& seen) {
    kcom::CComPtr<DispTestObject> parent;
    if (!item || FAILED(kcom::QueryTo(item, parent.Put())) || !parent) return S_FALSE;
    kcom::CComPtr<IDispatch> answer;
    kcom::CComPtr<IKorTOCollectionItems> children;
    if (FAILED(parent->ChildObjects(description, answer.Put())) || !answer ||
        FAILED(kcom::QueryTo(answer.get(), children.Put())) || !children)
        return S_FALSE;
    long count = 0;
    if (FAILED(children->Count(&count)) || count <= 0) return S_FALSE;
    CKorPtrSafeArray table(static_cast<ULONG>(count), 1, VT_UNKNOWN);
    ULONG filled = 0;
    for (long i = 0; i < count; ++i) {
        kcom::CComPtr<IDispatch> child;
        if (FAILED(children->Item(i, child.Put()))) continue;
        kcom::CComPtr<IRuntimeID> id = RuntimeIdOf(child);
        if (!id || !seen.Add(id)) continue;
        IUnknown* cell = id.get();
        kcom::ThrowIfFailed(table.PutElement(&cell, static_cast<LONG>(filled++), 0));
    }
    if (filled == 0) return S_FALSE;
    kcom::ThrowIfFailed(table.Redim(filled));
    return intake->AddIds(table.psa);
}

}  // namespace

HRESULT CComTestObject::ITestObject4_GetChildObjectsHierarchy(IDispatch* description, IDispatch** collection) {
    if (!collection) return E_POINTER;
    kcom::CComPtr<IDispatch> gathered;
    gathered.Attach(*collection);  // handed back on every path
    *collection = nullptr;
    HRESULT hr = TestObjectGuard([&] {
        if (!gathered) {
            HRESULT made = DispTestObject_ChildObjects(description, gathered.Put());
            if (FAILED(made)) return made;
            if (!gathered) return E_FAIL;
        }
        kcom::CComPtr<IKorTOCollection> intake;
        kcom::CComPtr<IKorTOCollectionItems> items;
        if (FAILED(gathered.QueryInterface(intake.Put())) || !intake || FAILED(gathered.QueryInterface(items.Put())) ||
            !items)
            return E_FAIL;
        CSeenObjects seen;
        long count = 0;
        items->Count(&count);
        for (long i = 0; i < count; ++i) {
            kcom::CComPtr<IDispatch> item;
            if (SUCCEEDED(items->Item(i, item.Put())))
                if (kcom::CComPtr<IRuntimeID> id = RuntimeIdOf(item)) seen.Add(id);
        }
        // Each pass expands the items the pass before appended, level by level.
        for (long index = 0; index < count && count <= kMaxItems;) {
            for (; index < count; ++index) {
                kcom::CComPtr<IDispatch> item;
                if (FAILED(items->Item(index, item.Put())) || !item) continue;
                HRESULT appended = AppendChildrenOf(item, description, intake, seen);
                if (FAILED(appended)) return appended;
            }
            long grown = count;
            items->Count(&grown);
            count = grown;
        }
        return S_OK;
    });
    *collection = gathered.Detach();
    return hr;
}
