// Script methods on the description and on run-time values: set, read and list identification
// properties, read a run-time property, and the object's printable name.
#include <string>
#include "com/ComError.h"
#include "tables/KorSafeArray.h"
#include "testobject/core/ComTestObject.h"
#include "testobject/core/TestObjectGuard.h"
#include "win32/WindowServices.h"

namespace {

constexpr HRESULT kObjectNotFound = static_cast<HRESULT>(0x80040202);
constexpr HRESULT kObjectNotUnique = static_cast<HRESULT>(0x80040203);
constexpr wchar_t kPropertyCollectionProgId[] = L"Quorvel.PropertyCollection";

}  // namespace

HRESULT CComTestObject::DispTestObject_SetProperty(BSTR Property, VARIANT Value, long* pFlags, long* pType, BSTR*) {
    if (IsBlankString(Property)) return E_INVALIDARG;
    return ITestObjectInfo_put_PropExpr(Property, pFlags, pType, nullptr, Value);
}

HRESULT CComTestObject::DropRuntimeObject() {
    return TestObjectGuard([&] {
        kcom::CComBSTR name(L"objectid");
        kcom::CComVariant empty;
        return ITestObjectInfo_put_PropExpr(name, nullptr, nullptr, nullptr, empty);
    });
}

// The failure of a property method is a step that failed, not an error of the script.
void CComTestObject::ReportPropertyFailure(const wchar_t* method, BSTR name, HRESULT hr) {
    std::wstring text(method);
    text += L" \"";
    text.append(name ? name : L"", name ? ::SysStringLen(name) : 0);
    text += L"\"";
    ::SetLastError(static_cast<DWORD>(hr));
    ReportDirectEvent(text.c_str(), 3, nullptr, nullptr);
    ::SetLastError(static_cast<DWORD>(hr));
    ReplayReport(method, 3, nullptr, nullptr, 0, nullptr);
}

HRESULT CComTestObject::DispTestObject_GetTOProperty(BSTR Property, VARIANT* pVal) {
    const HRESULT hr = DispTestObject_GetProperty(Property, nullptr, nullptr, nullptr, pVal);
    if (FAILED(hr)) ReportPropertyFailure(L"GetTOProperty", Property, hr);
    return S_OK;
}

HRESULT CComTestObject::DispTestObject_SetTOProperty(BSTR Property, VARIANT Value) {
    // The description keeps the value itself: a reference points into the caller's memory, which
    // is gone after the call, whatever type it refers to.
    kcom::CComVariant copy;
    kcom::ThrowIfFailed(copy.CopyInd(Value));
    const HRESULT hr = DispTestObject_SetProperty(Property, copy, nullptr, nullptr, nullptr);
    if (SUCCEEDED(hr)) {
        DropRuntimeObject();
        return S_OK;
    }
    ReportPropertyFailure(L"SetTOProperty", Property, hr);
    return hr;
}

HRESULT CComTestObject::DispTestObject_GetROProperty(BSTR Property, VARIANT* PropertyData, VARIANT* varRet) {
    const HRESULT hr = DispTestObject_QueryValue(Property, PropertyData, varRet);
    if (SUCCEEDED(hr)) return hr;
    ReportPropertyFailure(L"GetROProperty", Property, hr);
    if (hr == kObjectNotFound || hr == kObjectNotUnique) RaiseReplayError(hr, 3);
    return hr;
}

HRESULT CComTestObject::DispTestObject_GetTOProperties(IDispatch** Collection) {
    if (!Collection) return E_POINTER;
    *Collection = nullptr;
    return TestObjectGuard([&] {
        CKorSafeArray rows;
        {
            SAFEARRAY* names = nullptr;
            HRESULT hr = ITestObjectInfo_GetProps(&names, 0x10);
            if (FAILED(hr)) return hr;
            CKorPtrSafeArray list;
            list.Attach(names, true);
            const ULONG count = list.psa ? list.GetRowCount() : 0;
            rows.Create(count, 5, VT_VARIANT);
            for (ULONG r = 0; r < count; ++r) {
                kcom::CComBSTR name;
                kcom::ThrowIfFailed(list.GetElement(name.Put(), static_cast<LONG>(r), 0));
                kcom::CComVariant cell;
                cell.vt = VT_BSTR;
                cell.bstrVal = name.Detach();
                kcom::ThrowIfFailed(rows.PutElement(&cell, static_cast<LONG>(r), 0));
            }
            SAFEARRAY* table = rows.psa;
            hr = ITestObjectInfo_FillPropsValues(&table);
            if (FAILED(hr)) return hr;
        }
        kcom::CComPtr<IKorPropertyCollection> collection;
        CLSID clsid;
        if (::CLSIDFromProgID(kPropertyCollectionProgId, &clsid) != S_OK ||
            ::CoCreateInstance(clsid, nullptr, CLSCTX_ALL, __uuidof(IKorPropertyCollection),
                               reinterpret_cast<void**>(collection.Put())) != S_OK ||
            !collection)
            return E_FAIL;
        const ULONG count = rows.GetRowCount();
        for (ULONG r = 0; r < count; ++r) {
            kcom::CComVariant name, value, compareType;
            rows.GetElement(name.Put(), static_cast<LONG>(r), 0);
            if (name.vt != VT_BSTR) continue;
            rows.GetElement(value.Put(), static_cast<LONG>(r), 1);
            rows.GetElement(compareType.Put(), static_cast<LONG>(r), 4);
            kcom::CComPtr<IDispatch> item;
            kcom::CComPtr<IKorPropertyItem> property;
            if (FAILED(collection->Item(name, item.Put())) || !item || FAILED(kcom::QueryTo(item, property.Put())) ||
                !property)
                continue;
            property->SetValue(value);
            const bool plain = compareType.vt == VT_I4 ? (compareType.lVal & ~1L) == 0 : true;
            property->SetFlag(plain ? VARIANT_TRUE : VARIANT_FALSE);
        }
        return collection.QueryInterface(Collection);
    });
}

HRESULT CComTestObject::DispTestObject_ToString(BSTR* varRet) {
    if (!varRet) return E_POINTER;
    *varRet = nullptr;
    return TestObjectGuard([&] {
        kcom::CComBSTR name;
        ITestObject5_GetLogicalNameForReport(name.Put());
        kcom::CComBSTR genTypeName(L"TestObjGenType");
        kcom::CComVariant genType;
        m_properties.Get(genTypeName, genType.Put(), nullptr, nullptr, nullptr, nullptr);
        if (genType.vt != VT_BSTR) genType.ChangeType(VT_BSTR);
        std::wstring text(name.c_str(), name.Length());
        text += L' ';
        if (genType.vt == VT_BSTR && genType.bstrVal) text.append(genType.bstrVal, ::SysStringLen(genType.bstrVal));
        *varRet = kcom::CComBSTR(text.c_str(), static_cast<UINT>(text.size())).Detach();
        return S_OK;
    });
}
