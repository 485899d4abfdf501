#include "activex/core/KorActiveX.h"
#include "activex/core/AgentCacheOn.h"
#include "activex/helpers/WlsHelper.h"
#include "activex/helpers/WndHelper.h"
#include "com/ComError.h"
#include "environment/LoadTimeValues.h"
#include "environment/ObjectMap.h"
#include "errors/TestObjectError.h"
#include "testobject/clock/TestObjectClock.h"
#include "testobject/core/TestObjectGuard.h"
#include "win32/WindowServices.h"

extern const kcom::CreatorFn KorActiveXCreator = &kcom::CComCreator<CKorActiveX>::CreateInstance;

namespace {

// The record manager's command that makes a control visible at a point.
constexpr GUID kMakeVisibleCommand = {0xDF3D0778, 0xAD95, 0x11D4, {0x8F, 0x49, 0x00, 0x50, 0xDA, 0x4F, 0x34, 0x9C}};

const ReplayEngineEntry kReplayEngines[] = {
    {L"DeviceReplayEngine", L"Quorvel.DeviceReplay", &IID_IKorDeviceReplay},
    {nullptr, nullptr, nullptr},
};

}  // namespace

// ---- Construction ------------------------------------------------------------------------------

// The inner object's creation decides; a missing agent only disables what needs it.
HRESULT CKorActiveX::FinalConstruct() noexcept {
    if (FAILED(ConstructionResult())) return ConstructionResult();
    HRESULT hr = kcom::Guard([&] {
        m_queryFormats.Create(0, 1, VT_I4);
        return S_OK;
    });
    if (FAILED(hr)) return E_OUTOFMEMORY;
    hr = CreateHelperByProgID(L"Quorvel.WinObject");
    m_agent.CoCreateInstance(CLSID_AcxAgntUtil, nullptr, CLSCTX_ALL);
    return hr;
}

CKorActiveX::~CKorActiveX() {
    // Custom objects that keep the helper must find it detached before the object goes.
    ReleaseCustomObjects();
    m_helper.reset();
    m_queryFormats.Destroy();
    m_agent.Release();
}

HRESULT CKorActiveX::InternalQueryInterface(REFIID iid, void** out) { return _InternalQueryInterface(iid, out); }

// ---- Strategy ----------------------------------------------------------------------------------

HRESULT CKorActiveX::CreateHelper(UINT format) {
    if (m_helper) return S_OK;
    return TestObjectGuard([&] {
        if (format == 0) {
            // Inside the backward-compatible windowless object the controlling unknown answers.
            kcom::CComQIPtr<IKorActiveXInit> init(GetControllingUnknown());
            if (init && init->IsBackwardObject() == S_OK)
                format = g_cfWindowlessAcxControl;
            else
                format = IsWindowlessAcx() ? g_cfWindowlessAcxControl : g_cfShelHalonotRegilim;
        }
        if (format != g_cfWindowlessAcxControl && format != g_cfShelHalonotRegilim) return E_UNEXPECTED;
        CKorPtrSafeArray formats;
        std::unique_ptr<Helper> helper;
        if (format == g_cfWindowlessAcxControl) {
            helper = std::make_unique<WlsHelper>(this);
            formats.Create(1, 1, VT_I4);
            LONG number = static_cast<LONG>(g_cfQueryIdWindowlessActiveXTO);
            kcom::ThrowIfFailed(formats.PutElement(&number, 0, 0));
        } else {
            helper = std::make_unique<WndHelper>(this);
            formats.Create(2, 1, VT_I4);
            LONG numbers[2] = {static_cast<LONG>(g_cfQueryIdActiveXTO), static_cast<LONG>(g_cfShelHalonotRegilim)};
            for (LONG row = 0; row < 2; ++row) kcom::ThrowIfFailed(formats.PutElement(&numbers[row], row, 0));
        }
        helper->SetInner(m_inner);
        // A windowless control's attributes are its own, not the inner window object's.
        if (helper->IsWindowed() == 0) m_innerRuntimeAttributes = 0;
        m_queryFormats = std::move(formats);
        m_helper = std::move(helper);
        return S_OK;
    });
}

bool CKorActiveX::IsWindowlessAcx() {
    kcom::CComBSTR name(L"Windowless");
    long flags = 0, type = 0, compareType = 0;
    kcom::CComVariant value;
    const HRESULT read = ITestObjectInfo_get_Prop(name, &flags, &type, &compareType, value.Put());
    if (FAILED(read) || value.vt == VT_EMPTY) {
        kcom::CComBSTR fallback(L" IsWindowlessAcx");
        value.Clear();
        ITestObjectInfo_get_Prop(fallback, nullptr, nullptr, nullptr, value.Put());
        if (value.vt != VT_BOOL && value.vt != VT_EMPTY) value.ChangeType(VT_BOOL);
    } else if (value.vt != VT_BOOL || static_cast<DWORD>(flags) != kWindowlessFlags || type != VT_BOOL ||
               compareType != 0) {
        // An old or hand-made description: rewritten as the object writes it. A value that does
        // not read as a truth value is left as it is.
        if (SUCCEEDED(value.ChangeType(VT_BOOL))) {
            long newFlags = kWindowlessFlags, newType = VT_BOOL, newCompareType = 0;
            ITestObjectInfo_put_PropExpr(name, &newFlags, &newType, &newCompareType, value);
        }
    }
    return value.vt == VT_BOOL && value.boolVal != VARIANT_FALSE;
}

HRESULT CKorActiveX::AddWindowlessProperty(bool windowless) {
    return TestObjectGuard([&] {
        kcom::CComBSTR name(L"Windowless");
        HRESULT hr = m_properties.Add(name, nullptr, kWindowlessFlags);
        if (FAILED(hr)) return hr;
        long flags = kWindowlessFlags, type = VT_BOOL, compareType = 0;
        return ITestObjectInfo_put_PropExpr(name, &flags, &type, &compareType, kcom::CComVariant(windowless));
    });
}

void CKorActiveX::KeepWindowlessMark() {
    if (m_helper && m_helper->IsWindowed() == 0) AddWindowlessProperty(true);
}

// ---- IKorActiveXInit ---------------------------------------------------------------------------

STDMETHODIMP CKorActiveX::Init(UINT format) {
    if (m_helper) return S_OK;
    if (format == g_cfWindowlessAcxControl) AddWindowlessProperty(true);
    return CreateHelper(format);
}

STDMETHODIMP CKorActiveX::GetQueryFormats(SAFEARRAY** formats) {
    if (!formats) return E_POINTER;
    *formats = GetQueryFilter();
    return S_OK;
}

STDMETHODIMP CKorActiveX::IsWindowed() { return m_helper ? m_helper->IsWindowed() : E_FAIL; }

STDMETHODIMP CKorActiveX::ReleaseHelper() {
    m_helper.reset();
    return S_OK;
}

SAFEARRAY* CKorActiveX::GetQueryFilter() { return m_queryFormats.GetRowCount() ? m_queryFormats.psa : nullptr; }

// ---- IKorDataTarget ----------------------------------------------------------------------------

// Like every receiver, the status word says "not this receiver's" until someone takes the record.
STDMETHODIMP CKorActiveX::ReceiveData(FORMATETC* format, STGMEDIUM* medium, ULONG* status) {
    if (status) *status = 8;
    if (!m_helper) return E_FAIL;
    return TestObjectGuard([&] { return m_helper->ReceiveData(format, medium, status); });
}

// ---- Persistence -------------------------------------------------------------------------------

HRESULT CKorActiveX::Load(IStream* stream) {
    m_loadedDescriptionVersion = kTestObjectVersion;
    const HRESULT hr = TestObjectGuard([&] { return CComTestObject::Load(stream); });
    CreateHelper(0);
    return hr;
}

HRESULT CKorActiveX::Save(IStream* stream, BOOL clearDirty) {
    return TestObjectGuard([&] {
        KeepWindowlessMark();
        return CComTestObject::Save(stream, clearDirty);
    });
}

HRESULT CKorActiveX::BeforeLoadOldVersion(DWORD version, IStream* stream, BOOL* continueLoad) {
    m_loadedDescriptionVersion = version;
    return CComTestObject::BeforeLoadOldVersion(version, stream, continueLoad);
}

HRESULT CKorActiveX::GetFlagsChangeSummary() {
    return TestObjectGuard([&] {
        const HRESULT hr = CComTestObject::GetFlagsChangeSummary();
        KeepWindowlessMark();
        return hr;
    });
}

HRESULT CKorActiveX::Handle2DescForObject() {
    const HRESULT hr = CComTestObject::Handle2DescForObject();
    KeepWindowlessMark();
    return hr;
}

// ---- Run-time object ---------------------------------------------------------------------------

HRESULT CKorActiveX::FindRuntimeId(CRuntimeId& id) {
    kcom::CComPtr<IUnknown> found;
    const HRESULT hr = ITestObject_FindObjectId(found.Put(), nullptr);
    if (FAILED(hr)) return hr;
    id = CRuntimeId(kcom::CComVariant(found.get()));
    if (!static_cast<IRuntimeID2*>(id)) return KOR_E_OBJECT_NOT_FOUND;
    return hr;
}

HRESULT CKorActiveX::TakeRuntimeId(IUnknown* runtimeId) {
    if (!runtimeId) return KOR_E_OBJECT_NOT_FOUND;
    return TestObjectGuard([&] {
        CRuntimeId id{kcom::CComVariant(runtimeId)};
        CPackageId package;
        long value = 0;
        HRESULT hr = id.GetPackageId(g_cfWindowlessAcxControl, package);
        if (SUCCEEDED(hr) && package && package->IsEmpty() != S_OK) {
            hr = package.GetLong(L"hwnd", &value);
            if (SUCCEEDED(hr)) m_window = reinterpret_cast<HWND>(static_cast<LONG_PTR>(value));
            hr = package.GetLong(L"punknown", &value);
            if (SUCCEEDED(hr)) m_cookie = value;
            return hr;
        }
        hr = id.GetPackageId(g_cfShelHalonotRegilim, package);
        if (SUCCEEDED(hr) && package && package->IsEmpty() != S_OK) {
            hr = package.GetLong(L"hwnd", &value);
            if (SUCCEEDED(hr)) m_window = reinterpret_cast<HWND>(static_cast<LONG_PTR>(value));
            m_cookie = 0;
        }
        return hr;
    });
}

HRESULT CKorActiveX::GetLpDispatch(IDispatch** control) {
    if (!control) return E_POINTER;
    CRuntimeId id;
    const HRESULT found = FindRuntimeId(id);
    if (FAILED(found)) return found;
    kcom::CComBSTR name(L"GetActiveXLpDispatch");
    kcom::CComVariant value;
    QueryObjValue(value.Put(), static_cast<IRuntimeID2*>(id), name);
    if (value.vt != VT_DISPATCH || !value.pdispVal) return KOR_E_OBJECT_NOT_FOUND;
    *control = value.pdispVal;
    (*control)->AddRef();
    return found;
}

HRESULT CKorActiveX::GetControlProperty(BSTR name, VARIANT* value) {
    if (!m_helper) return E_FAIL;
    return m_helper->GetPropertyByName(name, value);
}

HRESULT CKorActiveX::MakeControlVisible(bool report) {
    if (!m_helper) return E_FAIL;
    return m_helper->MakeVisible(report);
}

HRESULT CKorActiveX::EnsureControlHandle() {
    if (!m_helper) return E_FAIL;
    if (m_window) return S_OK;
    CRuntimeId id;
    const HRESULT hr = FindRuntimeId(id);
    if (FAILED(hr)) return hr;
    long value = 0;
    if (SUCCEEDED(id.GetLong(L"hwnd", &value))) m_window = reinterpret_cast<HWND>(static_cast<LONG_PTR>(value));
    if (SUCCEEDED(id.GetLong(L"punknown", &value))) m_cookie = value;
    return hr;
}

HRESULT CKorActiveX::Click(int x, int y, int button, int doubleClick) {
    if (!m_helper) return E_FAIL;
    EnsureControlHandle();
    RECT rect{};
    if (m_helper->IsWindowed() == 0) {
        if (!m_agent) return E_FAIL;
        m_agent->GetWlsSize(m_window, m_cookie, &rect);
        if (::IsRectEmpty(&rect)) return KOR_E_OBJECT_NOT_VISIBLE;
    } else {
        ::GetClientRect(m_window, &rect);
    }
    if (x == -9999) x = (rect.right - rect.left) / 2;
    if (y == -9999) y = (rect.bottom - rect.top) / 2;
    return doubleClick ? m_helper->DblClick(x, y, button) : m_helper->Click(x, y, button);
}

// ---- Other interfaces --------------------------------------------------------------------------

STDMETHODIMP CKorActiveX::Snapshot(BSTR folder, VARIANT* highlightId, long kind, BSTR* name, BYTE storeAsCurrent, long reserved,
                                   IDispatch* object) {
    kcom::CComPtr<ISnapshotHelper> inner = Inner<ISnapshotHelper>();
    if (!inner) return S_FALSE;
    CAgentCacheOn cache(m_agent);
    return inner->Snapshot(folder, highlightId, kind, name, storeAsCurrent, reserved, object);
}

HRESULT CKorActiveX::RecordStep(const wchar_t* method, SAFEARRAY* arguments, long kind, DWORD flags) {
    CAgentCacheOn cache(m_agent);
    return RegisterObject(method, arguments, kind, flags);
}

HRESULT CKorActiveX::MakeVisibleViaRecordMgr(const VARIANT& runtimeId, POINT point) {
    return TestObjectGuard([&]() -> HRESULT {
        kcom::CComPtr<IObjectRack> rack;
        GetRack(rack.Put());
        if (!rack) return E_FAIL;
        kcom::CComPtr<IUnknown> found;
        kcom::CComPtr<IPackageServices3> recordMgr;
        if (FAILED(rack->GetObject(kcom::CComBSTR(L"RecordMgr"), __uuidof(IPackageServices3), found.Put())) || !found ||
            FAILED(kcom::QueryTo(found.get(), recordMgr.Put())) || !recordMgr)
            return E_FAIL;
        CKorSafeArray arguments(3, 1, VT_VARIANT);
        kcom::CComVariant id(runtimeId), x(static_cast<long>(point.x)), y(static_cast<long>(point.y));
        kcom::ThrowIfFailed(arguments.PutElement(&id, 0, 0));
        kcom::ThrowIfFailed(arguments.PutElement(&x, 1, 0));
        kcom::ThrowIfFailed(arguments.PutElement(&y, 2, 0));
        // The by-reference form whose data word is the array itself, as the record manager reads it.
        VARIANT input;
        ::VariantInit(&input);
        input.vt = VT_ARRAY | VT_BYREF;
        input.byref = arguments.psa;
        ForceForegroundWindow(m_window);
        GUID command = kMakeVisibleCommand;
        kcom::CComVariant result;
        recordMgr->QueryClassService(&command, 2, &input, result.Put());
        CTestObjectClock::Current().PumpWait(50);
        return static_cast<HRESULT>(result.lVal);
    });
}

HRESULT CKorActiveX::GetCheckpointDialogClsid(BSTR type, CLSID* clsid) {
    return TestObjectGuard([&] {
        if (IsWindowed() != 0)
            if (kcom::CComPtr<ICustomStep> inner = Inner<ICustomStep>()) return inner->GetCheckpointDialogClsid(type, clsid);
        return CComTestObject::GetCheckpointDialogClsid(type, clsid);
    });
}

HRESULT CKorActiveX::GetSupportedCheckpointTypes(BSTR type, BOOL* supported) {
    return TestObjectGuard([&] {
        if (IsWindowed() != 0)
            if (kcom::CComPtr<ICustomStep> inner = Inner<ICustomStep>())
                return inner->GetSupportedCheckpointTypes(type, supported);
        return CComTestObject::GetSupportedCheckpointTypes(type, supported);
    });
}

STDMETHODIMP CKorActiveX::GetROTypeInfo(UINT index, LCID lcid, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    return TestObjectGuard([&] {
        kcom::CComPtr<IDispatch> control;
        const HRESULT hr = GetLpDispatch(control.Put());
        if (FAILED(hr)) return hr;
        if (!control) return E_FAIL;
        return control->GetTypeInfo(index, lcid, info);
    });
}

// ---- Generic test-object operations ------------------------------------------------------------

// The control's children make a new collection: one handed in is given up.
HRESULT CKorActiveX::ITestObject4_GetChildObjectsHierarchy(IDispatch* description, IDispatch** collection) {
    if (!collection) return E_POINTER;
    kcom::CComPtr<IDispatch> handedIn;
    handedIn.Attach(*collection);
    *collection = nullptr;
    return DispTestObject_ChildObjects(description, collection);
}

HRESULT CKorActiveX::ITestObjectInfo_FillRTAttribsValues(SAFEARRAY** table) {
    if (!m_helper) return E_FAIL;
    return m_helper->FillRTAttribsValues(table);
}

HRESULT CKorActiveX::DispTestObject_Init() {
    return TestObjectGuard([&] {
        m_window = nullptr;
        if (kcom::CComPtr<DispTestObject> inner = Inner<DispTestObject>()) inner->Init();
        CreateHelper(0);
        return CComTestObject::DispTestObject_Init();
    });
}

UINT CKorActiveX::GetClipboardFormat() {
    if (!m_runtimeIdFormat) m_runtimeIdFormat = ::RegisterClipboardFormatW(L"FormaShelHalonotRegilim");
    return m_runtimeIdFormat;
}

HRESULT CKorActiveX::GetTestObjectClass(BSTR* className) {
    if (!className) return E_POINTER;
    *className = ::SysAllocString(L"ActiveX");
    return *className ? S_OK : E_FAIL;
}

HRESULT CKorActiveX::GetDefaultCollectionName(BSTR* name) { return GetTestObjectClass(name); }

const ReplayEngineEntry* CKorActiveX::GetReplayEngineTable() { return kReplayEngines; }

HRESULT CKorActiveX::CreateCustomHelper() {
    if (m_customHelper) return S_OK;
    auto* helper = new (std::nothrow) CUnknownHleper<CCustomActiveXHelper<CKorActiveX>>();
    return AttachCustomHelper(helper, helper ? helper->Identity() : nullptr);
}

HRESULT CKorActiveX::GetCustomProgIdKey(BSTR* key) {
    if (!key) return E_POINTER;
    *key = ::SysAllocString(L"ActiveX Add-in\\ProgID");
    return *key ? S_OK : E_OUTOFMEMORY;
}
