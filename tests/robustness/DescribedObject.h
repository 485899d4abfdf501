#pragma once
// ActiveX test objects as a host makes them for a script: one that holds its control's identity,
// and one that knows its control by a description alone, as one loaded from a saved description
// does: {progid} under the test object of its container window.
#include <windows.h>
#include "com/ComBSTR.h"
#include "com/ComError.h"
#include "com/ComPtr.h"
#include "com/ComVariant.h"
#include "environment/LoadTimeValues.h"
#include "environment/ObjectMap.h"
#include "kestrune.h"
#include "tables/KorSafeArray.h"
#include "tables/RuntimeId.h"

// The class "Quorvel.AcxObject" must be creatable; window null: no identity.
inline HRESULT IdentifiedTestObject(IObjectRack* rack, HWND window, long cookie, IDispatch** out) {
    kcom::CComPtr<IDispatch> object;
    HRESULT hr = object.CoCreateInstance(CLSID_KorActiveX, nullptr, CLSCTX_INPROC_SERVER);
    if (FAILED(hr)) return hr;
    kcom::CComQIPtr<IObjectRackClient>(object.get())->SetRack(rack);
    const UINT format = cookie ? g_cfWindowlessAcxControl : g_cfShelHalonotRegilim;
    if (window) {
        CRuntimeId id(format);
        id.PutVariantValue(L"hwnd", kcom::CComVariant(static_cast<long>(reinterpret_cast<LONG_PTR>(window))));
        if (cookie) id.PutVariantValue(L"punknown", kcom::CComVariant(cookie));
        hr = kcom::CComQIPtr<ITestObjectInfo>(object.get())
                 ->put_PropExpr(kcom::CComBSTR(L"objectid"), nullptr, nullptr, nullptr,
                                kcom::CComVariant(static_cast<IUnknown*>(static_cast<IRuntimeID2*>(id))));
        if (FAILED(hr)) return hr;
    }
    hr = kcom::CComQIPtr<IKorActiveXInit>(object.get())->Init(format);
    if (SUCCEEDED(hr)) *out = object.Detach();
    return hr;
}

// A windowed control's test object with the description {progid = progId} under container.
inline HRESULT DescribedTestObject(IObjectRack* rack, HWND container, const wchar_t* progId, IDispatch** out) {
    return kcom::Guard([&] {
        kcom::CComPtr<IDispatch> parent, object;
        HRESULT hr = IdentifiedTestObject(rack, container, 0, parent.Put());
        if (SUCCEEDED(hr)) hr = IdentifiedTestObject(rack, nullptr, 0, object.Put());
        if (FAILED(hr)) return hr;
        CKorSafeArray rows(1, 2, VT_VARIANT);
        kcom::CComVariant name(L"progid"), value(progId);
        kcom::ThrowIfFailed(rows.PutElement(&name, 0, 0));
        kcom::ThrowIfFailed(rows.PutElement(&value, 0, 1));
        hr = kcom::CComQIPtr<ITestObject5>(object.get())->PutDescription(rows.psa);
        if (SUCCEEDED(hr))
            hr = kcom::CComQIPtr<ITestObjectInfo>(object.get())
                     ->put_PropExpr(kcom::CComBSTR(L"parent"), nullptr, nullptr, nullptr, kcom::CComVariant(parent.get()));
        if (SUCCEEDED(hr)) *out = object.Detach();
        return hr;
    });
}
