#include "environment/AcxQuery.h"
#include <cwchar>
#include <map>
#include <string>
#include "contracts/AcxSetting.h"
#include "com/ComBSTR.h"
#include "com/ComError.h"
#include "com/ComSafeArray.h"
#include "com/ComVariant.h"
#include "tables/KorSafeArray.h"
#include "environment/LoadTimeValues.h"
#include "environment/ObjectMap.h"
#include "contracts/Orlenty.h"
#include "errors/TestObjectError.h"
#include "tables/RuntimeId.h"
#include "host/TestObjectSettings.h"

extern const kcom::CreatorFn AcxQueryCreator = &kcom::CComCreator<CAcxQuery>::CreateInstance;

namespace {

using kcom::CComBSTR;
using kcom::CComPtr;
using kcom::CComVariant;

constexpr VARTYPE kSizeInPixelsType = VT_ARRAY | VT_BYREF | VT_VARIANT;  // 0x600C
constexpr wchar_t kCustomQueryKey[] = L"Packages\\Kestrune\\CustQuery";
constexpr wchar_t kTabClass[] = L"SSTabCtlWndClass";
// A parent chain longer than this is taken to be a cycle.
constexpr int kMaxContainerPasses = 64;
// The DISPID of QueryValue on the test object's script interface.
constexpr DISPID kDispIdQueryValue = 9;

HWND ToWindow(long value) noexcept { return reinterpret_cast<HWND>(static_cast<LONG_PTR>(value)); }
long FromWindow(HWND window) noexcept { return static_cast<long>(reinterpret_cast<LONG_PTR>(window)); }

// Frees what the caller's result held and makes it a value of the given type, to be filled in.
VARIANT& Reset(VARIANT* result, VARTYPE vt) noexcept {
    ::VariantClear(result);
    result->vt = vt;
    return *result;
}

// A value that is missing reads as 0.
long ReadLong(const CRuntimeId& id, const wchar_t* name) noexcept {
    long value = 0;
    if (FAILED(id.GetLong(name, &value))) value = 0;
    return value;
}

ULONG RowCount(SAFEARRAY* psa) noexcept {
    CKorSafeArray table;
    table.Attach(psa, false);
    return table.GetRowCount();
}

bool HoldsVariantCells(SAFEARRAY* psa) noexcept {
    return psa && psa->cbElements == sizeof(VARIANT) && (psa->fFeatures & FADF_VARIANT) &&
           !(psa->fFeatures & (FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH | FADF_RECORD)) && psa->cDims >= 1 &&
           psa->cDims <= 2;
}

// One cell of a table as a VARIANT: VARIANT cells are copied, 32-bit integer cells become VT_I4;
// cells of any other kind (or beyond the table) read as VT_EMPTY.
CComVariant ReadCell(SAFEARRAY* psa, LONG row, LONG col) {
    CComVariant out;
    if (!psa) return out;
    CKorSafeArray table;
    table.Attach(psa, false);
    if (HoldsVariantCells(psa)) {
        if (FAILED(table.GetElement(&out, row, col))) out.Clear();
        return out;
    }
    VARTYPE vt = VT_EMPTY;
    if (psa->cbElements == sizeof(LONG) && SUCCEEDED(::SafeArrayGetVartype(psa, &vt)) &&
        (vt == VT_I4 || vt == VT_UI4 || vt == VT_INT || vt == VT_UINT)) {
        LONG value = 0;
        if (SUCCEEDED(table.GetElement(&value, row, col))) out = CComVariant(static_cast<long>(value));
    }
    return out;
}

long LongOf(const VARIANT& value) noexcept {
    CComVariant number;
    if (FAILED(number.ChangeType(VT_I4, &value))) return 0;
    return number.lVal;
}

bool IsText(const VARIANT& v, const wchar_t* text) noexcept {
    return v.vt == VT_BSTR && std::wcscmp(v.bstrVal ? v.bstrVal : L"", text) == 0;
}

bool IsNonEmptyText(const VARIANT& v) noexcept { return v.vt == VT_BSTR && ::SysStringLen(v.bstrVal) > 0; }

// A new windowless identifier of the control cookie inside the container window.
CRuntimeId NewWindowlessId(HWND container, LONG cookie) {
    CRuntimeId id(g_cfWindowlessAcxControl);
    kcom::ThrowIfFailed(id.PutVariantValue(L"punknown", CComVariant(static_cast<long>(cookie))));
    kcom::ThrowIfFailed(id.PutVariantValue(L"hwnd", CComVariant(FromWindow(container))));
    return id;
}

// The test object's "parent" when it is a test object itself.
CComPtr<IDispatch> ParentOf(IDispatch* testObject) {
    CComVariant parent;
    GetTestObjectProp(testObject, CComBSTR(L"parent"), &parent, nullptr, nullptr, nullptr);
    CComPtr<IDispatch> out;
    if (parent.vt == VT_DISPATCH && parent.pdispVal) out = parent.pdispVal;
    return out;
}

// The test object's own run-time value of "hwnd", 0 when it has none.
HRESULT QueryWindowValue(IDispatch* testObject, long* window) {
    *window = 0;
    CComPtr<IDispatch> script;
    if (FAILED(testObject->QueryInterface(__uuidof(DispTestObject), reinterpret_cast<void**>(script.Put()))) || !script)
        return E_FAIL;
    CComVariant args[2];  // reversed: the property data, then the name
    args[1] = CComVariant(L"hwnd");
    DISPPARAMS params{args, nullptr, 2, 0};
    CComVariant value;
    script->Invoke(kDispIdQueryValue, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &value, nullptr,
                   nullptr);
    if (value.vt != VT_EMPTY) *window = LongOf(value);
    return S_OK;
}

std::wstring ClassNameOf(HWND window) {
    wchar_t name[256] = {};
    const int n = ::GetClassNameW(window, name, 255);
    return std::wstring(name, n > 0 ? static_cast<size_t>(n) : 0);
}

// A VT_UNKNOWN table of n rows by one column.
class CIdTable {
public:
    explicit CIdTable(ULONG rows) : table_(rows, 1, VT_UNKNOWN) {}
    void Append(IUnknown* id) {
        kcom::ThrowIfFailed(table_.PutElement(&id, static_cast<LONG>(count_), 0));
        ++count_;
    }
    SAFEARRAY* Detach() {
        kcom::ThrowIfFailed(table_.Redim(count_));
        return table_.Detach();
    }

private:
    CKorPtrSafeArray table_;
    ULONG count_ = 0;
};

// Writes a row's value. A "size in pixels" array that the row held and that the new value does
// not carry on has no reader left: it goes with the row's old value.
void PutRowValue(CKorSafeArray& table, LONG row, const VARIANT& value) {
    CComVariant old = ReadCell(table.psa, row, 1);  // a by-reference value copies its word only
    if (FAILED(table.PutElement(const_cast<VARIANT*>(&value), row, 1))) return;
    if (old.vt == kSizeInPixelsType && !(value.vt == kSizeInPixelsType && value.byref == old.byref))
        CAcxQuery::ReleaseSizeInPixels(&old);
}

// Keeps a caller's table locked for the walk and hands it back untouched otherwise.
class CTableLock {
public:
    explicit CTableLock(SAFEARRAY* psa) noexcept : psa_(SUCCEEDED(::SafeArrayLock(psa)) ? psa : nullptr) {}
    ~CTableLock() { if (psa_) ::SafeArrayUnlock(psa_); }
    CTableLock(const CTableLock&) = delete;
    CTableLock& operator=(const CTableLock&) = delete;
    explicit operator bool() const noexcept { return psa_ != nullptr; }

private:
    SAFEARRAY* psa_;
};

}  // namespace

CAcxQuery::CAcxQuery() {
    ::InterlockedExchange(&g_useOldNameQuery, 0);
}

HRESULT CAcxQuery::FinalConstruct() {
    return kcom::Guard([&]() -> HRESULT {
        AddQuery(L"progid", &CAcxQuery::QueryProgID);
        AddQuery(L"Object Class", &CAcxQuery::QueryProgID);
        AddQuery(L"name", &CAcxQuery::QueryName);
        AddQuery(L"acx_name", &CAcxQuery::QueryAcxName);
        AddQuery(L"GetActiveXLpDispatch", &CAcxQuery::QueryLpDispatch);
        AddQuery(L"GetActiveXRunTimeIDFromPoint", &CAcxQuery::QueryRunTimeIDFromPoint);
        AddQuery(L"GetActiveXProperty", &CAcxQuery::QueryActiveXProperty);
        AddQuery(L"GetActiveXPropertiesName", &CAcxQuery::QueryPropertiesName);
        AddQuery(L"size in pixels", &CAcxQuery::QuerySizeInPixels);
        AddQuery(L"get windowless cookie from point", &CAcxQuery::QueryCookieFromPoint);
        AddQuery(L"GetActiveXCreateTime", &CAcxQuery::QueryCreateTime);
        AddQuery(L"Wrapped Inprocess IUnknown", &CAcxQuery::QueryInprocUnknown);
        AddQuery(L"Get Listener Idispatch", &CAcxQuery::QueryListener);
        AddQuery(L"abs_x", &CAcxQuery::QueryAbsX);
        AddQuery(L"abs_y", &CAcxQuery::QueryAbsY);
        AddQuery(L"width", &CAcxQuery::QueryWidth);
        AddQuery(L"height", &CAcxQuery::QueryHeight);
        AddQuery(L"Windowless", &CAcxQuery::QueryWindowless);
        AddQuery(L"visible", &CAcxQuery::QueryVisible);
        // The process's one agent utility; the engine still comes up without it.
        m_agent.CoCreateInstance(CLSID_AcxAgntUtil, nullptr, CLSCTX_ALL);
        return S_OK;
    });
}

CAcxQuery::IdKind CAcxQuery::KindOf(const CRuntimeId& id) const noexcept {
    const UINT package = id.GetPackage();
    if (package && package == g_cfShelHalonotRegilim) return IdKind::Window;
    if (package && package == g_cfWindowlessAcxControl) return IdKind::Windowless;
    return IdKind::Other;
}

// ---- property handlers ----

// The common frame of a handler for ids of the window and windowless formats: null arguments
// are refused, ids of other formats are not this engine's, nothing raised leaves.
template <class Body>
HRESULT CAcxQuery::ForControl(IRuntimeID* id, VARIANT* result, Body&& body) {
    if (!id || !result) return E_POINTER;
    return kcom::Guard([&]() -> HRESULT {
        const CRuntimeId rid(id);
        const IdKind kind = KindOf(rid);
        if (kind == IdKind::Other) return S_FALSE;
        if (!m_agent) return E_FAIL;
        return body(rid, kind);
    });
}

HRESULT CAcxQuery::AnswerProgID(const CRuntimeId& id, IdKind kind, VARIANT* result) {
    const HWND window = ToWindow(ReadLong(id, L"hwnd"));
    CComBSTR progId;
    HRESULT hr;
    if (kind == IdKind::Windowless) {
        hr = m_agent->WlsProgIDQuery(window, ReadLong(id, L"punknown"), progId.Put());
    } else {
        LONG isAcx = 0;
        m_agent->IsAcxControl(window, &isAcx);
        if (!isAcx) return S_FALSE;
        hr = m_agent->AcxProgIDQuery(window, progId.Put());
    }
    if (SUCCEEDED(hr)) {
        Reset(result, VT_BSTR).bstrVal = progId.Detach();
    }
    return hr;
}

HRESULT CAcxQuery::QueryProgID(IRuntimeID* id, VARIANT*, VARIANT* result) {
    return ForControl(id, result, [&](const CRuntimeId& rid, IdKind kind) { return AnswerProgID(rid, kind, result); });
}

HRESULT CAcxQuery::QueryName(IRuntimeID* id, VARIANT*, VARIANT* result) {
    return ForControl(id, result, [&](const CRuntimeId& rid, IdKind kind) -> HRESULT {
        if (!g_useOldNameQuery) return E_FAIL;
        return AnswerProgID(rid, kind, result);
    });
}

HRESULT CAcxQuery::ReadHandles(const CRuntimeId& id, IdKind kind, long* window, long* cookie) const {
    *window = *cookie = 0;
    HRESULT hr = id.GetLong(L"hwnd", window);
    if (SUCCEEDED(hr) && kind == IdKind::Windowless) hr = id.GetLong(L"punknown", cookie);
    return FAILED(hr) ? hr : S_OK;
}

HRESULT CAcxQuery::QueryAcxName(IRuntimeID* id, VARIANT*, VARIANT* result) {
    return ForControl(id, result, [&](const CRuntimeId& rid, IdKind kind) -> HRESULT {
        long window = 0, cookie = 0;
        HRESULT hr = ReadHandles(rid, kind, &window, &cookie);
        if (FAILED(hr)) return hr;
        CComBSTR userType;
        hr = kind == IdKind::Window ? m_agent->AcxUserTypeQuery(ToWindow(window), userType.Put())
                                    : m_agent->WlsUserTypeQuery(ToWindow(window), cookie, userType.Put());
        // The result is replaced only by an answer; what it held before is freed then.
        if (SUCCEEDED(hr) && userType) {
            Reset(result, VT_BSTR).bstrVal = userType.Detach();
        }
        return hr;
    });
}

HRESULT CAcxQuery::QueryLpDispatch(IRuntimeID* id, VARIANT*, VARIANT* result) {
    return ForControl(id, result, [&](const CRuntimeId& rid, IdKind kind) -> HRESULT {
        long window = 0, cookie = 0;
        HRESULT hr = ReadHandles(rid, kind, &window, &cookie);
        if (FAILED(hr)) return hr;
        CComPtr<IDispatch> control;
        hr = kind == IdKind::Window ? m_agent->GetMarshalDisp(ToWindow(window), control.Put())
                                    : m_agent->GetWlsMarshalDisp(ToWindow(window), cookie, control.Put());
        if (SUCCEEDED(hr)) {
            Reset(result, VT_DISPATCH).pdispVal = control.Detach();
        }
        return hr;
    });
}

HRESULT CAcxQuery::QueryRunTimeIDFromPoint(IRuntimeID* id, VARIANT*, VARIANT* result) {
    if (!id || !result) return E_POINTER;
    return kcom::Guard([&]() -> HRESULT {
        const CRuntimeId rid(id);
        if (!g_cfShelXYPosition || rid.GetPackage() != g_cfShelXYPosition) return S_OK;
        const POINT point{ReadLong(rid, L"x"), ReadLong(rid, L"y")};
        const HWND window = ::WindowFromPoint(point);
        if (!m_agent) return E_FAIL;
        LONG isAcx = 0;
        m_agent->IsAcxControl(window, &isAcx);
        if (!isAcx) return S_FALSE;
        CRuntimeId found(g_cfShelHalonotRegilim);
        kcom::ThrowIfFailed(found.PutVariantValue(L"hwnd", CComVariant(FromWindow(window))));
        Reset(result, VT_UNKNOWN).punkVal = static_cast<IRuntimeID2*>(found);
        if (result->punkVal) result->punkVal->AddRef();
        return S_OK;
    });
}

HRESULT CAcxQuery::QueryActiveXProperty(IRuntimeID* id, VARIANT* param, VARIANT* result) {
    return ForControl(id, result, [&](const CRuntimeId& rid, IdKind kind) -> HRESULT {
        const HWND window = ToWindow(ReadLong(rid, L"hwnd"));
        const long cookie = ReadLong(rid, L"punknown");
        if (!::IsWindow(window)) return S_FALSE;
        if (!param || param->vt != VT_BSTR) return S_FALSE;
        // The test object's own class is never a property of the control.
        if (IsText(*param, L"korclass")) return S_FALSE;
        if (kind == IdKind::Windowless) return m_agent->GetWlsPropertyByHandle(window, cookie, param->bstrVal, result);
        LONG isAcx = 0;
        m_agent->IsAcxControl(window, &isAcx);
        if (!isAcx) return S_FALSE;
        return m_agent->GetPropertyByHandle(window, param->bstrVal, result);
    });
}

HRESULT CAcxQuery::QueryPropertiesName(IRuntimeID* id, VARIANT*, VARIANT* result) {
    return ForControl(id, result, [&](const CRuntimeId& rid, IdKind kind) -> HRESULT {
        const HWND window = ToWindow(ReadLong(rid, L"hwnd"));
        if (kind == IdKind::Windowless)
            return m_agent->GetWlsAllPropertiesNameByHandle(window, ReadLong(rid, L"punknown"), result);
        return m_agent->GetAllPropertiesNameByHandle(window, result);
    });
}

HRESULT CAcxQuery::WlsGeometry(IRuntimeID* id, RECT* rect, POINT* origin) {
    const CRuntimeId rid(id);
    if (KindOf(rid) != IdKind::Windowless) return S_FALSE;
    if (!m_agent) return E_FAIL;
    const HWND window = ToWindow(ReadLong(rid, L"hwnd"));
    *rect = RECT{};
    const HRESULT hr = m_agent->GetWlsSize(window, ReadLong(rid, L"punknown"), rect);
    if (hr != S_OK) return hr;
    *origin = POINT{0, 0};
    if (!::IsRectEmpty(rect)) ::ClientToScreen(window, origin);
    return S_OK;
}

template <class Answer>
HRESULT CAcxQuery::WithGeometry(IRuntimeID* id, VARIANT* result, Answer&& answer) {
    if (!id || !result) return E_POINTER;
    return kcom::Guard([&]() -> HRESULT {
        RECT rect{};
        POINT origin{};
        const HRESULT hr = WlsGeometry(id, &rect, &origin);
        if (hr != S_OK) return hr;
        return answer(rect, origin);
    });
}

HRESULT CAcxQuery::QuerySizeInPixels(IRuntimeID* id, VARIANT*, VARIANT* result) {
    return WithGeometry(id, result, [&](const RECT& rect, const POINT& origin) -> HRESULT {
        const LONG cells[4] = {rect.left + origin.x, rect.top + origin.y, rect.right - rect.left,
                               rect.bottom - rect.top};
        // VARIANT-sized cells in an array that records VT_I4, as the readers expect.
        CKorSafeArray table(1, 4, VT_I4);
        for (LONG col = 0; col < 4; ++col) {
            CComVariant cell(static_cast<long>(cells[col]));
            kcom::ThrowIfFailed(table.PutElement(&cell, 0, col));
        }
        Reset(result, kSizeInPixelsType).byref = table.Detach();
        return S_OK;
    });
}

HRESULT CAcxQuery::TakeSizeInPixels(VARIANT* value, LONG cells[4]) noexcept {
    if (!value || !cells) return E_POINTER;
    if (value->vt != kSizeInPixelsType || !value->byref) return E_UNEXPECTED;
    SAFEARRAY* psa = static_cast<SAFEARRAY*>(value->byref);
    CKorSafeArray table;
    table.Attach(psa, false);
    if (psa->cDims != 2 || psa->cbElements != sizeof(VARIANT) || !psa->pvData || table.GetRowCount() < 1 ||
        table.GetColumnCount() < 4 || (psa->fFeatures & (FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH | FADF_RECORD)))
        return E_UNEXPECTED;
    LONG read[4] = {};
    {
        kcom::CSafeArrayDataLock lock(psa);
        if (!lock) return E_UNEXPECTED;
        // Row 0 holds the first four cells: the row's cells lie side by side.
        const VARIANT* row = lock.get<VARIANT>();
        for (int col = 0; col < 4; ++col) {
            if (row[col].vt != VT_I4) return E_UNEXPECTED;
            read[col] = row[col].lVal;
        }
    }
    for (int col = 0; col < 4; ++col) cells[col] = read[col];
    return ReleaseSizeInPixels(value);
}

HRESULT CAcxQuery::ReleaseSizeInPixels(VARIANT* value) noexcept {
    if (!value) return E_POINTER;
    if (value->vt != kSizeInPixelsType) return S_FALSE;
    SAFEARRAY* psa = static_cast<SAFEARRAY*>(value->byref);
    value->vt = VT_EMPTY;
    value->byref = nullptr;
    if (!psa) return S_OK;
    // The cells are plain numbers: the array's own features free nothing inside them.
    CKorSafeArray owner;
    owner.Attach(psa, true);
    return S_OK;
}

HRESULT CAcxQuery::QueryCookieFromPoint(IRuntimeID* id, VARIANT* param, VARIANT* result) {
    if (!id || !result) return E_POINTER;
    return kcom::Guard([&]() -> HRESULT {
        const CRuntimeId rid(id);
        if (!m_agent) return E_FAIL;
        const HWND window = ToWindow(ReadLong(rid, L"hwnd"));
        // The point travels packed in the parameter's 32-bit word: x low, y high.
        const ULONG packed = param ? param->ulVal : 0;
        const short x = static_cast<short>(LOWORD(packed));
        const short y = static_cast<short>(HIWORD(packed));
        LONG cookie = 0;
        const HRESULT hr = m_agent->GetCookieFromPoint(window, x, y, nullptr, &cookie);
        Reset(result, VT_I4).lVal = hr == S_OK ? cookie : 0;
        return hr;
    });
}

HRESULT CAcxQuery::AnswerNumber(IRuntimeID* id, VARIANT* result, NumberRequest request) {
    return ForControl(id, result, [&](const CRuntimeId& rid, IdKind) -> HRESULT {
        LONG value = 0;
        const HRESULT hr =
            request(m_agent.get(), ToWindow(ReadLong(rid, L"hwnd")), ReadLong(rid, L"punknown"), &value);
        if (SUCCEEDED(hr)) {
            Reset(result, VT_UI4).ulVal = static_cast<ULONG>(value);
        }
        return hr;
    });
}

HRESULT CAcxQuery::QueryCreateTime(IRuntimeID* id, VARIANT*, VARIANT* result) {
    return AnswerNumber(id, result, [](IAcxAgntUtil2* agent, HWND window, LONG cookie, LONG* value) {
        return agent->GetCreateTime(window, value, cookie);
    });
}

// The number of the control's in-process pointer inside the application.
HRESULT CAcxQuery::QueryInprocUnknown(IRuntimeID* id, VARIANT*, VARIANT* result) {
    return AnswerNumber(id, result, [](IAcxAgntUtil2* agent, HWND window, LONG cookie, LONG* value) {
        return agent->GetInprocUnknown(window, cookie, value);
    });
}

HRESULT CAcxQuery::QueryListener(IRuntimeID* id, VARIANT*, VARIANT* result) {
    return ForControl(id, result, [&](const CRuntimeId& rid, IdKind) -> HRESULT {
        Reset(result, VT_DISPATCH).pdispVal = nullptr;
        return m_agent->GetListener(ToWindow(ReadLong(rid, L"hwnd")), ReadLong(rid, L"punknown"), &result->pdispVal);
    });
}

HRESULT CAcxQuery::AnswerGeometry(IRuntimeID* id, VARIANT* result, LONG (*pick)(const RECT&, const POINT&)) {
    return WithGeometry(id, result, [&](const RECT& rect, const POINT& origin) -> HRESULT {
        Reset(result, VT_I4).lVal = pick(rect, origin);
        return S_OK;
    });
}

HRESULT CAcxQuery::QueryAbsX(IRuntimeID* id, VARIANT*, VARIANT* result) {
    return AnswerGeometry(id, result, [](const RECT& r, const POINT& p) -> LONG { return p.x + r.left; });
}

HRESULT CAcxQuery::QueryAbsY(IRuntimeID* id, VARIANT*, VARIANT* result) {
    return AnswerGeometry(id, result, [](const RECT& r, const POINT& p) -> LONG { return p.y + r.top; });
}

HRESULT CAcxQuery::QueryWidth(IRuntimeID* id, VARIANT*, VARIANT* result) {
    return AnswerGeometry(id, result, [](const RECT& r, const POINT&) -> LONG { return r.right - r.left; });
}

HRESULT CAcxQuery::QueryHeight(IRuntimeID* id, VARIANT*, VARIANT* result) {
    return AnswerGeometry(id, result, [](const RECT& r, const POINT&) -> LONG { return r.bottom - r.top; });
}

HRESULT CAcxQuery::QueryWindowless(IRuntimeID* id, VARIANT*, VARIANT* result) {
    if (!id || !result) return E_POINTER;
    return kcom::Guard([&]() -> HRESULT {
        CPackageId windowless;
        const bool present = SUCCEEDED(CRuntimeId(id).GetPackageId(g_cfWindowlessAcxControl, windowless)) &&
                             static_cast<IRuntimeID*>(windowless);
        Reset(result, VT_BOOL).boolVal = present ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    });
}

HRESULT CAcxQuery::QueryVisible(IRuntimeID* id, VARIANT*, VARIANT* result) {
    if (!id || !result) return E_POINTER;
    return kcom::Guard([&]() -> HRESULT {
        CPackageId windowless;
        if (FAILED(CRuntimeId(id).GetPackageId(g_cfWindowlessAcxControl, windowless)) ||
            !static_cast<IRuntimeID*>(windowless))
            return S_OK;
        long cookie = 0, window = 0;
        if (FAILED(windowless.GetLong(L"punknown", &cookie))) cookie = 0;
        if (FAILED(windowless.GetLong(L"hwnd", &window))) window = 0;
        BOOL visible = FALSE;
        if (m_agent) m_agent->IsWlsVisible(ToWindow(window), cookie, &visible);
        // 1, not VARIANT_TRUE: stored descriptions hold this value.
        Reset(result, VT_BOOL).boolVal = visible ? 1 : 0;
        return S_OK;
    });
}

// ---- IKorQuery ----

HRESULT CAcxQuery::FindContainerWindow(IDispatch* start, QueryIdInfo* info, HWND* out) {
    *out = nullptr;
    CComPtr<IDispatch> container(start);
    HWND window = nullptr;
    bool tab = false;
    for (int pass = 0; pass < kMaxContainerPasses; ++pass) {
        tab = false;
        CComPtr<ITestObject> testObject;
        if (FAILED(kcom::QueryTo(container.get(), testObject.Put())) || !testObject) return E_FAIL;
        CComPtr<IUnknown> found;
        HRESULT hr = testObject->FindObjectId(found.Put(), info);
        if (FAILED(hr)) return hr;
        kcom::CComQIPtr<IRuntimeID> foundId(found.get());
        const CRuntimeId rid(foundId.get());

        CPackageId identity;
        if (rid.GetPackageId(g_cfWindowlessAcxControl, identity) == S_OK && static_cast<IRuntimeID*>(identity))
            return S_FALSE;  // a windowless control holds no further controls

        HWND passWindow = nullptr;
        long value = 0;
        if (SUCCEEDED(rid.GetPackageId(g_cfShelHalonotRegilim, identity)) && static_cast<IRuntimeID*>(identity) &&
            identity.GetLong(L"hwnd", &value) == S_OK && value)
            passWindow = ToWindow(value);
        if (!passWindow) {
            hr = QueryWindowValue(container, &value);
            if (FAILED(hr)) return hr;
            passWindow = ToWindow(value);
        }
        if (passWindow) window = passWindow;

        if (!passWindow) {
            CComPtr<IDispatch> parent = ParentOf(container);
            if (!parent) return S_FALSE;
            container = parent;
            if (!window) continue;
        }
        if (ClassNameOf(window) == kTabClass) {
            // A tab page: its controls live in the tab control's parent.
            tab = true;
            CComPtr<IDispatch> parent = ParentOf(container);
            if (!parent) return S_FALSE;
            container = parent;
        }
        if (window && !tab) {
            *out = window;
            return S_OK;
        }
    }
    return S_FALSE;
}

STDMETHODIMP CAcxQuery::QueryIdFromContainer(SAFEARRAY* psaProp, IDispatch* pContainer, SAFEARRAY** ppsaRO,
                                             QueryIdInfo* pInfo, SAFEARRAY* psaFormats) {
    return kcom::Guard([&]() -> HRESULT {
        if (!ppsaRO) return E_POINTER;
        *ppsaRO = nullptr;
        if (!pContainer) return S_FALSE;
        if (!m_agent) return E_FAIL;

        if (psaFormats) {
            CKorSafeArray formats;
            formats.Attach(psaFormats, false);
            const ULONG rows = formats.GetRowCount();
            bool matched = false;
            for (ULONG i = 0; i < rows && !matched; ++i) {
                const UINT format = static_cast<UINT>(LongOf(ReadCell(psaFormats, static_cast<LONG>(i), 0)));
                matched = format && (format == g_cfQueryIdWindowlessActiveXTO || format == g_cfQueryIdActiveXTO ||
                                     format == g_cfShelHalonotRegilim);
            }
            if (!matched) return KOR_E_NO_RUNTIME_ID;
        }

        HWND window = nullptr;
        HRESULT hr = FindContainerWindow(pContainer, pInfo, &window);
        if (FAILED(hr)) return hr;
        if (hr != S_OK) {
            *ppsaRO = CIdTable(0).Detach();
            return S_OK;
        }

        kcom::CComSafeArray containers;
        hr = m_agent->GetContainers(window, containers.Put());
        if (FAILED(hr)) return hr;

        // Cookie lists by container window, walked in ascending handle order.
        std::map<HWND, kcom::CComSafeArray> cookieLists;
        const ULONG containerCount = RowCount(containers);
        for (ULONG i = 0; i < containerCount; ++i) {
            const HWND container = ToWindow(LongOf(ReadCell(containers, static_cast<LONG>(i), 0)));
            if (!container) continue;
            kcom::CComSafeArray cookies;
            hr = m_agent->GetWlsCookiesFromContainer(container, cookies.Put());
            if (FAILED(hr)) return hr;
            cookieLists[container] = std::move(cookies);  // a list that did not come counts no rows
        }
        ULONG total = 0;
        for (const auto& [container, cookies] : cookieLists) total += RowCount(cookies);

        CIdTable matches(total);
        for (const auto& [container, cookies] : cookieLists) {
            const ULONG rows = RowCount(cookies);
            for (ULONG r = 0; r < rows; ++r) {
                const LONG cookie = LongOf(ReadCell(cookies, static_cast<LONG>(r), 0));
                CRuntimeId id = NewWindowlessId(container, cookie);
                if (CompareSet(id, psaProp, nullptr)) matches.Append(static_cast<IRuntimeID2*>(id));
            }
        }
        *ppsaRO = matches.Detach();
        return S_OK;
    });
}

STDMETHODIMP CAcxQuery::QueryIdFromSet(SAFEARRAY*, SAFEARRAY**) { return S_OK; }

STDMETHODIMP CAcxQuery::QueryValue(IRuntimeID* pRO, SAFEARRAY* psaProp) {
    kcom::Guard([&]() -> HRESULT {
        if (GetAutMode() == 1) return S_OK;
        if (!HoldsVariantCells(psaProp)) return S_OK;
        CTableLock lock(psaProp);
        if (!lock) return S_OK;
        CKorSafeArray table;
        table.Attach(psaProp, false);
        const CRuntimeId rid(pRO);
        const bool windowless = pRO && KindOf(rid) == IdKind::Windowless;
        const ULONG rows = table.GetRowCount();
        for (ULONG i = 0; i < rows; ++i) {
            const LONG row = static_cast<LONG>(i);
            CComVariant name = ReadCell(psaProp, row, 0);
            if (name.vt != VT_BSTR) continue;
            CComVariant value = ReadCell(psaProp, row, 1);
            CComVariant data = ReadCell(psaProp, row, 2);  // a two-column table has no data: empty
            if (value.vt == VT_EMPTY || IsText(name, L"Object Class") || windowless) {
                if (SUCCEEDED(RunQuery(pRO, name.bstrVal, &data, &value))) {
                    PutRowValue(table, row, value);
                } else {
                    // Not a query of the table: the control's own property of that name.
                    QueryActiveXProperty(pRO, &name, &value);
                    if (value.vt != VT_EMPTY) PutRowValue(table, row, value);
                }
                continue;
            }
            if (g_useOldNameQuery != 1 || !name.bstrVal || _wcsicmp(name.bstrVal, L"name") != 0) continue;
            if (!m_agent || KindOf(rid) != IdKind::Window) continue;
            const HWND window = ToWindow(ReadLong(rid, L"hwnd"));
            LONG isAcx = 0;
            m_agent->IsAcxControl(window, &isAcx);
            if (!isAcx) continue;
            CComBSTR progId;
            if (SUCCEEDED(m_agent->AcxProgIDQuery(window, progId.Put())) && progId.Length() > 0) {
                CComVariant text(progId.c_str());
                PutRowValue(table, row, text);
            }
        }
        return S_OK;
    });
    return S_OK;
}

// ---- IKorQuery2 ----

STDMETHODIMP CAcxQuery::QueryWlsIdsFromContainer(IDispatch* pContainer, long, SAFEARRAY** ppsaRO) {
    return kcom::Guard([&]() -> HRESULT {
        if (!ppsaRO) return E_POINTER;
        *ppsaRO = nullptr;
        if (!m_agent) return E_FAIL;
        if (!pContainer) return S_FALSE;
        CComPtr<ITestObject> container;
        if (FAILED(kcom::QueryTo(pContainer, container.Put())) || !container) return E_FAIL;
        CComPtr<IUnknown> found;
        HRESULT hr = container->FindObjectId(found.Put(), nullptr);
        if (hr != S_OK) return hr;
        kcom::CComQIPtr<IRuntimeID> foundId(found.get());
        const HWND window = ToWindow(ReadLong(CRuntimeId(foundId.get()), L"hwnd"));
        kcom::CComSafeArray cookies;
        hr = m_agent->GetWlsCookiesFromContainer(window, cookies.Put());
        if (hr != S_OK) return hr;
        const ULONG rows = RowCount(cookies);
        CIdTable visible(rows);
        for (ULONG r = 0; r < rows; ++r) {
            const LONG cookie = LongOf(ReadCell(cookies, static_cast<LONG>(r), 0));
            BOOL shown = FALSE;
            m_agent->IsWlsVisible(window, cookie, &shown);
            if (!shown) continue;
            CRuntimeId id = NewWindowlessId(window, cookie);
            visible.Append(static_cast<IRuntimeID2*>(id));
        }
        *ppsaRO = visible.Detach();
        return S_OK;
    });
}

// ---- IKorDataTarget ----

STDMETHODIMP CAcxQuery::ReceiveData(FORMATETC* format, STGMEDIUM* medium, ULONG* mdRet) {
    return kcom::Guard([&]() -> HRESULT {
        if (!medium || !mdRet) return E_POINTER;
        *mdRet = 8;
        if (!format || format->cfFormat != CAcxSetting::GetInstance()->m_notificationFormat) return S_OK;
        const HWND* record = static_cast<const HWND*>(static_cast<void*>(medium->hGlobal));
        if (!record) return E_INVALIDARG;
        const HWND window = *record;
        if (!m_rack) return E_UNEXPECTED;
        CComPtr<IKorSettings> settings;
        settings.Attach(OztGetApplicationSettings());
        if (!settings) return E_UNEXPECTED;
        CComBSTR root;
        HRESULT hr = settings->GetProductRegRoot(root.Put());
        if (FAILED(hr)) return hr;
        if (!root) return E_FAIL;
        if (!m_agent) return E_FAIL;
        CComVariant data(root.c_str());
        m_agent->SetAgentData(window, data);
        return S_OK;
    });
}

// ---- IObjectRackClient ----

STDMETHODIMP CAcxQuery::SetRack(IObjectRack* rack) {
    return kcom::Guard([&]() -> HRESULT {
        HRESULT hr = IObjectRackClientImpl<CAcxQuery>::SetRack(rack);
        if (FAILED(hr)) return hr;
        if (rack) LoadCustomQueries();
        return S_OK;
    });
}

void CAcxQuery::LoadCustomQueries() {
    CComPtr<IKorSettings> settings;
    settings.Attach(OztGetApplicationSettings());
    if (!settings) return;
    kcom::CComSafeArray progIds;
    if (FAILED(settings->GetSubKeys(CComBSTR(kCustomQueryKey), progIds.Put())) || !progIds) return;
    const ULONG count = RowCount(progIds);
    for (ULONG i = 0; i < count; ++i) {
        const CComVariant progId = ReadCell(progIds, static_cast<LONG>(i), 0);
        if (!IsNonEmptyText(progId)) continue;
        CLSID clsid{};
        CComPtr<IDispatch> handler;
        if (FAILED(::CLSIDFromProgID(progId.bstrVal, &clsid)) ||
            FAILED(handler.CoCreateInstance(clsid, nullptr, CLSCTX_ALL)) || !handler)
            continue;
        const std::wstring key = std::wstring(kCustomQueryKey) + L"\\" + progId.bstrVal;
        kcom::CComSafeArray values;
        if (FAILED(settings->GetValues(CComBSTR(key.c_str()), values.Put())) || !values) continue;
        const ULONG rows = RowCount(values);
        for (ULONG r = 0; r < rows; ++r) {
            const CComVariant property = ReadCell(values, static_cast<LONG>(r), 0);
            const CComVariant method = ReadCell(values, static_cast<LONG>(r), 1);
            if (IsNonEmptyText(property) && IsNonEmptyText(method))
                AddCustomQuery(property.bstrVal, handler, method.bstrVal, true);
        }
    }
}
