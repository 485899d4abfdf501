// The script's list of the run-time objects below this one that a description matches.
#include "com/ComError.h"
#include "host/RackServices.h"
#include "tables/KorSafeArray.h"
#include "testobject/core/ComTestObject.h"
#include "testobject/core/TestObjectGuard.h"

namespace {

constexpr wchar_t kObjectCollectionProgId[] = L"Quorvel.TOCollection";

// The description rows that a property collection holds: name, value and, as the compare type,
// 1 for a flagged item.
HRESULT DescriptionFromCollection(IDispatch* description, CKorSafeArray& table) {
    kcom::CComPtr<IKorPropertyCollection> collection;
    if (FAILED(kcom::QueryTo(description, collection.Put())) || !collection) return E_FAIL;
    long count = 0;
    HRESULT hr = collection->Count(&count);
    if (FAILED(hr)) return hr;
    table.Create(static_cast<ULONG>(count > 0 ? count : 0), 5, VT_VARIANT);
    for (long i = 0; i < count; ++i) {
        kcom::CComPtr<IDispatch> item;
        kcom::CComPtr<IKorPropertyItem> property;
        if (FAILED(collection->Item(kcom::CComVariant(i), item.Put())) || !item ||
            FAILED(kcom::QueryTo(item, property.Put())) || !property)
            continue;
        kcom::CComVariant name, value;
        VARIANT_BOOL flag = VARIANT_FALSE;
        property->GetName(name.Put());
        property->GetValue(value.Put());
        property->GetFlag(&flag);
        kcom::CComVariant compareType(flag ? 1L : 0L);
        kcom::ThrowIfFailed(table.PutElement(&name, i, 0));
        kcom::ThrowIfFailed(table.PutElement(&value, i, 1));
        kcom::ThrowIfFailed(table.PutElement(&compareType, i, 4));
    }
    return S_OK;
}

}  // namespace

HRESULT CComTestObject::DispTestObject_ChildObjects(IDispatch* Description, IDispatch** ppChilds) {
    if (!ppChilds) return E_POINTER;
    *ppChilds = nullptr;
    return TestObjectGuard([&] {
        CKorSafeArray table;
        if (Description) {
            HRESULT hr = DescriptionFromCollection(Description, table);
            if (FAILED(hr)) return hr;
        } else {
            table.Create(0, 5, VT_VARIANT);
        }
        kcom::CComPtr<IObjectRack> rack = Rack();
        kcom::CComPtr<IKorQuery> engine;
        if (!rack || FAILED(GetRackService(rack, RackName::StdPackageQueryEngine, engine.Put()))) return E_FAIL;
        kcom::CComPtr<IDispatch> own;
        if (FAILED(GetOwnDispatch(own.Put()))) return E_NOINTERFACE;
        SAFEARRAY* found = nullptr;
        HRESULT hr = engine->QueryIdFromContainer(table.psa, own, &found, nullptr, GetQueryFilter());
        CKorSafeArray ids;
        ids.Attach(found, true);
        if (FAILED(hr)) return hr;
        kcom::CComPtr<IKorTOCollection> collection;
        hr = collection.CoCreateInstance(kObjectCollectionProgId, nullptr, CLSCTX_ALL);
        if (FAILED(hr)) return hr;
        kcom::CComPtr<IObjectRackClient> client;
        if (FAILED(collection.QueryInterface(client.Put())) || !client) return E_FAIL;
        client->SetRack(rack);
        hr = collection->AddIds(ids.psa);
        if (FAILED(hr)) return hr;
        return collection.QueryInterface(ppChilds);
    });
}
