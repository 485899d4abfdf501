#include "testobject/core/ComTestObject.h"
#include <cwchar>
#include <string>
#include "com/ComError.h"
#include "contracts/Cerulin.h"
#include "host/RackServices.h"
#include "host/TestObjectSettings.h"
#include "testobject/clock/TestObjectClock.h"
#include "testobject/core/OuterCalls.h"
#include "testobject/core/ParentLevel.h"
#include "testobject/core/TestObjectGuard.h"

namespace {

constexpr DWORD kClassGuidFactor = 0x600937;

// A VARIANT whose data word starts zeroed: a host that answers VT_EMPTY leaves it alone.
kcom::CComVariant ZeroedVariant() noexcept {
    kcom::CComVariant v;
    v.llVal = 0;
    return v;
}

// A VT_DISPATCH value's node interface, or null.
kcom::CComPtr<IKorSettings> NodeOf(const VARIANT& v) noexcept {
    kcom::CComPtr<IKorSettings> node;
    if (v.vt == VT_DISPATCH && v.pdispVal)
        v.pdispVal->QueryInterface(__uuidof(IKorSettings), reinterpret_cast<void**>(node.Put()));
    return node;
}

HRESULT ReadItem(IKorSettings* node, const wchar_t* name, VARIANT* value) {
    kcom::CComVariant key(name);
    return node->get_Item(&key, value);
}

}  // namespace

// ---- Construction ------------------------------------------------------------------------------

CComTestObject::CComTestObject() {
    m_constructionResult = kcom::Guard([&] {
        m_timeoutOptionName = L"DefaultTimeout";
        m_delayOptionName = L"DefaultDelay";
        m_algorithm = L"";
        // Each record is made only once the one before it is owned by the collection, so a
        // failed allocation leaves nothing behind.
        using Make = CProperty* (*)(IPropertyOwner*);
        struct BuiltIn {
            const wchar_t* name;
            Make make;
            DWORD flags;
        };
        static constexpr BuiltIn builtIns[] = {
            {L"objectid", [](IPropertyOwner* o) -> CProperty* { return new CProperty(o); }, 9},
            {L"parent", [](IPropertyOwner* o) -> CProperty* { return new CProperty(o); }, 9},
            {L"korclass", [](IPropertyOwner* o) -> CProperty* { return new CKorClassProperty(o); }, 3},
            {L"Class Name", [](IPropertyOwner* o) -> CProperty* { return new CKorClassProperty(o); }, 3},
            {L"TestObjName", [](IPropertyOwner* o) -> CProperty* { return new CKorLogicalNameProperty(o); }, 3},
            {L"TestObjGenType", [](IPropertyOwner* o) -> CProperty* { return new CKorGenTypeProperty(o); }, 3},
            {L"visual relations", [](IPropertyOwner* o) -> CProperty* { return new CKorObjectRelationsProperty(o); },
             PROP_RELATIONS | PROP_NEW_RECORD},
        };
        HRESULT hr = S_OK;
        for (const BuiltIn& b : builtIns) {
            kcom::CComBSTR name(b.name);
            HRESULT added = m_properties.Add(name, b.make(&m_ownerLink), b.flags);  // takes the record over
            if (SUCCEEDED(hr)) hr = added;
        }
        m_stepRecordFormat = ::RegisterClipboardFormatW(L"FormatVovuvarShellTestObjects");
        return hr;
    });
}

CComTestObject::~CComTestObject() = default;

IDispatch* CComTestObject::COwnerLink::GetOwnerDispatch() {
    kcom::CComPtr<IDispatch> own;
    m_object.GetOwnDispatch(own.Put());
    return own.get();  // the object itself keeps it alive
}

bool CComTestObject::CaseSensitiveOrder::operator()(const kcom::CComBSTR& a, const kcom::CComBSTR& b) const noexcept {
    return ::VarBstrCmp(a, b, LOCALE_USER_DEFAULT, 0) == static_cast<HRESULT>(VARCMP_LT);
}

HRESULT CComTestObject::InternalQueryInterface(REFIID, void** out) {
    if (out) *out = nullptr;
    return E_NOTIMPL;
}

HRESULT CComTestObject::GetOwnDispatch(IDispatch** dispatch) {
    if (!dispatch) return E_POINTER;
    *dispatch = nullptr;
    HRESULT hr = InternalQueryInterface(IID_IDispatch, reinterpret_cast<void**>(dispatch));
    if (SUCCEEDED(hr) && !*dispatch) hr = E_NOINTERFACE;
    return hr;
}

// ---- ITestObject -------------------------------------------------------------------------------

HRESULT CComTestObject::ITestObject_Hash(TestObjectHash* hash) {
    if (!hash) return E_POINTER;
    if (hash->kind == 0) hash->kind = 1;
    if (hash->kind != 1) return E_FAIL;
    return GetClassGuid(&hash->id);
}

HRESULT CComTestObject::ITestObject_SetOuterObject(IUnknown* outer) {
    if (!outer) return E_POINTER;
    m_outer = outer;
    return S_OK;
}

HRESULT CComTestObject::ITestObject_GetOuterObject(IUnknown** outer) {
    if (!outer) return E_POINTER;
    *outer = nullptr;
    if (m_outer) {
        kcom::CComPtr<ITestObject> o = Outer<ITestObject>();
        return o ? o->GetOuterObject(outer) : E_NOINTERFACE;
    }
    return InternalQueryInterface(IID_IUnknown, reinterpret_cast<void**>(outer));
}

HRESULT CComTestObject::ITestObject_SetLogicalName(BSTR name) {
    if (m_outer) {
        kcom::CComPtr<ITestObject> o = Outer<ITestObject>();
        return o ? o->SetLogicalName(name) : E_NOINTERFACE;
    }
    return kcom::Guard([&] {
        m_logicalName = name ? kcom::CComBSTR(name, ::SysStringLen(name)) : kcom::CComBSTR();
        return S_OK;
    });
}

HRESULT CComTestObject::ITestObject_GetLogicalName(BSTR* name) {
    if (!name) return E_POINTER;
    *name = nullptr;
    if (m_outer) {
        kcom::CComPtr<ITestObject> o = Outer<ITestObject>();
        return o ? o->GetLogicalName(name) : E_NOINTERFACE;
    }
    return m_logicalName.CopyTo(name);
}

HRESULT CComTestObject::ITestObject_GetTagName(BSTR* name) {
    if (!name) return E_POINTER;
    *name = nullptr;
    if (m_outer) {
        kcom::CComPtr<ITestObject> o = Outer<ITestObject>();
        return o ? o->GetTagName(name) : E_NOINTERFACE;
    }
    kcom::CComBSTR tag;
    HRESULT hr = ITestObject_GetInternalTagName(tag.Put());
    if (FAILED(hr) || tag.Length() == 0) {
        kcom::CComBSTR korClass;
        if (GetKorClass(korClass.Put()) && korClass.Length() > 0) {
            tag = std::move(korClass);
            hr = S_OK;
        }
    }
    *name = tag.Detach();
    return hr;
}

HRESULT CComTestObject::ITestObject_SetRecordMgr(IKorDataTarget* recordMgr) {
    m_recordMgr = recordMgr;
    if (kcom::CComPtr<ITestObject> inner = Inner<ITestObject>()) inner->SetRecordMgr(recordMgr);
    return S_OK;
}

HRESULT CComTestObject::GetTagQueryPropertyName(BSTR* name) {
    if (!name) return E_POINTER;
    *name = nullptr;
    if (m_tagQueryNameOverride.Length() > 0) return m_tagQueryNameOverride.CopyTo(name);
    kcom::CComPtr<IKorSettings> node;
    HRESULT hr = GetClassOptions(node.Put());
    if (FAILED(hr)) return hr;
    return kcom::Guard([&] {
        kcom::CComVariant value = ZeroedVariant();
        if (FAILED(ReadItem(node, L"tag query name", value.Put())) || value.vt != VT_BSTR) return S_FALSE;
        *name = value.bstrVal;
        value.vt = VT_EMPTY;  // handed over
        return S_OK;
    });
}

HRESULT CComTestObject::ITestObject_GetInternalTagName(BSTR* name) {
    if (!name) return E_POINTER;
    *name = nullptr;
    kcom::CComBSTR property;
    HRESULT hr = GetTagQueryPropertyName(property.Put());
    if (FAILED(hr)) return hr;
    if (property.Length() == 0) return E_FAIL;
    kcom::CComVariant data;
    kcom::CComVariant value;
    hr = DispTestObject_QueryValue(property, &data, value.Put());
    if (FAILED(hr)) return hr;
    if (value.vt != VT_BSTR && FAILED(::VariantChangeType(&value, &value, 0, VT_BSTR))) return E_FAIL;
    *name = value.bstrVal;
    value.vt = VT_EMPTY;
    return S_OK;
}

HRESULT CComTestObject::RefreshObject() {
    if (m_outer) {
        kcom::CComPtr<ITestObject> o = Outer<ITestObject>();
        return o ? o->RefreshObject() : E_NOINTERFACE;
    }
    OnRefresh();
    kcom::CComBSTR name;
    kcom::CComVariant parent;
    HRESULT hr = kcom::Guard([&] {
        name = L"parent";
        return m_properties.Get(name, parent.Put(), nullptr, nullptr, nullptr, nullptr);
    });
    if (FAILED(hr)) return hr;
    if (parent.vt == VT_EMPTY) return S_OK;
    if (parent.vt != VT_DISPATCH) return E_UNEXPECTED;
    kcom::CComPtr<ITestObject> up;
    if (FAILED(kcom::QueryTo(parent.pdispVal, up.Put())) || !up) return E_NOINTERFACE;
    const CParentLevel level;
    return level ? up->RefreshObject() : S_OK;
}

// ---- ITestObject3 to ITestObject6 --------------------------------------------------------------

HRESULT CComTestObject::ITestObject3_get_Algorithm(BSTR* algorithm) {
    if (!algorithm) return E_POINTER;
    *algorithm = nullptr;
    if (IsReplayAlgorithmDisabled()) {
        *algorithm = ::SysAllocString(L"");
        return *algorithm ? S_OK : E_OUTOFMEMORY;
    }
    return m_algorithm.CopyTo(algorithm);
}

HRESULT CComTestObject::ITestObject3_get_UseAlgorithm(ULONG* use) {
    if (!use) return E_POINTER;
    *use = m_useAlgorithm;
    return S_OK;
}

HRESULT CComTestObject::ITestObject3_put_UseAlgorithm(ULONG use) {
    m_useAlgorithm = use;
    return S_OK;
}

HRESULT CComTestObject::ITestObject5_get__Algorithm(BSTR* algorithm) {
    if (!algorithm) return E_POINTER;
    return m_algorithm.CopyTo(algorithm);
}

HRESULT CComTestObject::ITestObject5_put__Algorithm(BSTR algorithm) {
    return kcom::Guard([&] {
        m_algorithm = algorithm ? kcom::CComBSTR(algorithm, ::SysStringLen(algorithm)) : kcom::CComBSTR(L"");
        return S_OK;
    });
}

HRESULT CComTestObject::ITestObject5_BuildDescriptionForChildren(SAFEARRAY** description, VARIANT filter) {
    if (m_outer) return OuterCalls::BuildDescriptionForChildren(m_outer, description, filter);
    if (!description) return E_POINTER;
    *description = nullptr;
    kcom::CComPtr<IObjectRack> rack = Rack();
    // The host's "KorPkgSrvMgr" is reached as the last of the package-services chain.
    kcom::CComPtr<IPackageServices5> services;
    if (FAILED(GetRackService(rack, RackName::KorPkgSrvMgr, services.Put()))) return E_FAIL;
    kcom::CComPtr<IDispatch> own;
    if (FAILED(GetOwnDispatch(own.Put()))) return E_FAIL;
    return services->BuildDescriptionForChildren(own, description, filter);
}

HRESULT CComTestObject::ITestObject5_GetUserMappedClass(BSTR* className) {
    if (m_outer) return OuterCalls::GetUserMappedClass(m_outer, className);
    if (!className) return E_POINTER;
    return GetUserMappedClassInternal(className);
}

HRESULT CComTestObject::ITestObject6_InvokeExtensibleMethod(BSTR method, VARIANT* arguments, VARIANT* result) {
    if (m_outer) return OuterCalls::InvokeExtensibleMethod(m_outer, method, arguments, result);
    return E_NOTIMPL;
}

// ---- Hooks -------------------------------------------------------------------------------------

HRESULT CComTestObject::GetRack(IObjectRack** rack) {
    if (!rack) return E_POINTER;
    *rack = nullptr;
    return S_OK;
}

HRESULT CComTestObject::GetReplaySkeleton(IUnknown** skeleton) {
    if (!skeleton) return E_POINTER;
    *skeleton = nullptr;
    if (!m_inner) return E_FAIL;
    return m_inner.CopyTo(skeleton);
}

HRESULT CComTestObject::GetTestObjectClass(BSTR* className) {
    if (className) *className = nullptr;
    return E_NOTIMPL;
}

HRESULT CComTestObject::GetClassOptions(IKorSettings** node) {
    if (!node) return E_POINTER;
    *node = nullptr;
    if (m_classOptions) return m_classOptions.CopyTo(node);
    kcom::CComPtr<IKorSettings> options = TestOptions();
    if (!options) return E_FAIL;
    return TestObjectGuard([&] {
        kcom::CComVariant objects = ZeroedVariant();
        if (FAILED(ReadItem(options, L"Test Objects", objects.Put()))) return E_FAIL;
        kcom::CComPtr<IKorSettings> objectsNode = NodeOf(objects);
        if (!objectsNode) return E_FAIL;
        kcom::CComBSTR className;
        if (FAILED(GetTestObjectClass(className.Put())) || className.Length() == 0) return E_FAIL;
        kcom::CComVariant classValue = ZeroedVariant();
        if (FAILED(ReadItem(objectsNode, className, classValue.Put()))) return E_FAIL;
        kcom::CComPtr<IKorSettings> classNode = NodeOf(classValue);
        if (!classNode) return E_FAIL;
        m_classOptions = classNode;
        return m_classOptions.CopyTo(node);
    });
}

HRESULT CComTestObject::get_CollectionName(BSTR* name) {
    if (!name) return E_POINTER;
    *name = nullptr;
    if (m_outer) return OuterCalls::GetCollectionName(m_outer, name);
    if (!m_collectionName.IsNull()) return m_collectionName.CopyTo(name);
    return GetDefaultCollectionName(name);
}

HRESULT CComTestObject::put_CollectionName(BSTR name) {
    return kcom::Guard([&] {
        m_collectionName = name ? kcom::CComBSTR(name, ::SysStringLen(name)) : kcom::CComBSTR();
        return S_OK;
    });
}

HRESULT CComTestObject::GetGenTypeName(BSTR* name) {
    if (!name) return E_POINTER;
    kcom::CComPtr<IKorSettings> node;
    HRESULT hr = GetClassOptions(node.Put());
    if (FAILED(hr)) return hr;
    if (!node) return S_OK;
    return TestObjectGuard([&] {
        kcom::CComVariant genTypeId = ZeroedVariant();
        if (FAILED(ReadItem(node, L"GenTypeId", genTypeId.Put())) || genTypeId.vt != VT_BSTR) return E_FAIL;
        kcom::CComBSTR className;
        GetTestObjectClass(className.Put());
        auto read = [&](const wchar_t* format, BSTR key, VARIANT* out) {
            std::wstring section(format);
            section.append(key ? key : L"", key ? ::SysStringLen(key) : 0);
            return GetTestOption(section.c_str(), L"GenTypeName", out);
        };
        kcom::CComVariant value = ZeroedVariant();
        read(L"SummaryData\\Objects\\", className, value.Put());
        if (value.vt != VT_BSTR) read(L"SummaryData\\GenTypes\\", genTypeId.bstrVal, value.Put());
        if (value.vt != VT_BSTR || !value.bstrVal) return S_FALSE;
        *name = value.bstrVal;
        value.vt = VT_EMPTY;
        return S_OK;
    });
}

const RuntimeAttributeEntry* CComTestObject::GetRuntimeAttributeTable() { return nullptr; }
const ReplayEngineEntry* CComTestObject::GetReplayEngineTable() { return nullptr; }

bool CComTestObject::GetKorClass(BSTR* text) {
    if (!text) return true;
    *text = nullptr;
    kcom::Guard([&] {
        kcom::CComBSTR name(L"korclass");
        kcom::CComVariant value;
        if (SUCCEEDED(m_properties.Get(name, value.Put(), nullptr, nullptr, nullptr, nullptr)) &&
            value.vt == VT_BSTR) {
            *text = value.bstrVal;
            value.vt = VT_EMPTY;
        }
        return S_OK;
    });
    return true;
}

HRESULT CComTestObject::GetClassGuid(GUID* id) {
    if (!id) return E_POINTER;
    kcom::CComBSTR text;
    GetKorClass(text.Put());
    if (text.IsNull()) return E_FAIL;
    DWORD sum = 0;
    DWORD m = kClassGuidFactor;
    const UINT length = text.Length();
    for (UINT i = 0; i < length; ++i) {
        const wchar_t c = text.c_str()[i];
        if (c == L' ' || c == L'\t') continue;
        sum += (i + 1) * static_cast<DWORD>(c) * m;
        m *= kClassGuidFactor;
    }
    *id = GUID{};
    id->Data1 = sum;
    return S_OK;
}

HRESULT CComTestObject::GetUserMappedClassInternal(BSTR* className) {
    if (className) *className = nullptr;
    return S_FALSE;
}

HRESULT CComTestObject::GetDefaultCollectionName(BSTR* name) {
    if (name) *name = nullptr;
    return E_NOTIMPL;
}

HRESULT CComTestObject::CreateSnapshotInternal(BSTR, VARIANT*, long, BSTR*, BYTE, long, IDispatch*) { return E_NOTIMPL; }
HRESULT CComTestObject::OnRefresh() { return E_NOTIMPL; }

HRESULT CComTestObject::BeforeLoadOldVersion(DWORD, IStream*, BOOL* continueLoad) {
    if (!continueLoad) return E_POINTER;
    *continueLoad = TRUE;
    return S_OK;
}

HRESULT CComTestObject::AfterLoadOldVersion(DWORD, IStream*, BOOL* continueLoad) {
    if (!continueLoad) return E_POINTER;
    *continueLoad = TRUE;
    return S_OK;
}

HRESULT CComTestObject::GetObjectRect(RECT* rect) {
    if (!rect) return E_POINTER;
    return TestObjectGuard([&] {
        static const wchar_t* const names[4] = {L"abs_x", L"abs_y", L"width", L"height"};
        CKorSafeArray table(4, 2, VT_VARIANT);
        for (LONG row = 0; row < 4; ++row) {
            kcom::CComVariant name(names[row]);
            kcom::ThrowIfFailed(table.PutElement(&name, row, 0));
        }
        HRESULT hr = QueryRuntimeValues(nullptr, table.psa);
        if (FAILED(hr)) return hr;
        LONG v[4] = {};
        for (LONG row = 0; row < 4; ++row) {
            kcom::CComVariant value;
            if (FAILED(table.GetElement(value.Put(), row, 1)) || value.vt != VT_I4) return E_FAIL;
            v[row] = value.lVal;
        }
        *rect = RECT{v[0], v[1], v[0] + v[2], v[1] + v[3]};
        return S_OK;
    });
}

HRESULT CComTestObject::PrepareScriptInfoHook() { return PrepareScriptInfo(); }

HRESULT CComTestObject::WaitFindDelay(QueryIdInfo* context) {
    return context ? ::WaitFindDelay(*context) : ::WaitFindDelay(QueryIdInfo{0, 0});
}

SAFEARRAY* CComTestObject::GetQueryFilter() { return nullptr; }

// ---- Rack access and run-state readers ---------------------------------------------------------

kcom::CComPtr<IObjectRack> CComTestObject::Rack() {
    kcom::CComPtr<IObjectRack> rack;
    GetRack(rack.Put());
    return rack;
}

kcom::CComPtr<IKorSettings> CComTestObject::TestOptions() {
    kcom::CComPtr<IKorSettings> options;
    GetRackService(Rack(), RackName::TestOptions, options.Put());
    return options;
}

HRESULT CComTestObject::GetRunStateFlag(const wchar_t* name, VARIANT* value) {
    if (!value) return E_POINTER;
    kcom::CComPtr<IKorSettings> options = TestOptions();
    if (!options) return E_FAIL;
    return kcom::Guard([&] { return ReadItem(options, name, value); });
}

HRESULT CComTestObject::SetRunStateValue(const wchar_t* name, const VARIANT& value) {
    kcom::CComPtr<IKorSettings> options = TestOptions();
    if (!options) return E_FAIL;
    return kcom::Guard([&] {
        kcom::CComVariant key(name);
        return options->put_Item(&key, value);
    });
}

HRESULT CComTestObject::GetTestOption(const wchar_t* section, const wchar_t* name, VARIANT* value) {
    if (!value) return E_POINTER;
    kcom::CComPtr<IKorSettings> options = TestOptions();
    if (!options) return E_FAIL;
    return kcom::Guard([&] {
        kcom::CComBSTR s(section ? section : L"");
        kcom::CComBSTR n(name);
        return options->GetValue(s, n, value, 0, 0);
    });
}

kcom::CComVariant CComTestObject::RunState(const wchar_t* name) {
    kcom::CComVariant value = ZeroedVariant();
    if (FAILED(GetRunStateFlag(name, &value))) {
        value.Clear();
        value.llVal = 0;
    }
    return value;
}

DWORD CComTestObject::ReadCachedMode(const wchar_t* name, DWORD& cache) {
    if (cache != 0xFFFFFFFF) return cache;
    kcom::CComVariant value = ZeroedVariant();
    const HRESULT hr = GetRunStateFlag(name, &value);
    if (SUCCEEDED(hr) && value.vt == VT_I4)
        cache = value.lVal == 1 ? 1 : 0;
    else if (FAILED(hr) && value.vt == VT_EMPTY)
        cache = 0;
    return cache;
}

DWORD CComTestObject::IsVUserMode() { return ReadCachedMode(L"VUserMode", m_vuserMode); }
DWORD CComTestObject::IsAutMode() { return ReadCachedMode(L"AutMode", m_autMode); }

bool CComTestObject::IsOnMonitor() {
    kcom::CComVariant v = RunState(L"OnMonitor");
    return v.vt == VT_BOOL && v.boolVal != 0;
}

bool CComTestObject::IsOnReplay() { return (RunState(L"OnReplay").bVal) != 0; }

bool CComTestObject::IsOnPause() {
    kcom::CComVariant v = RunState(L"OnPause");
    return v.vt == VT_BOOL && v.bVal != 0;
}

bool CComTestObject::IsOnAbort() {
    kcom::CComVariant v = RunState(L"OnAbort");
    return v.vt == VT_BOOL && v.bVal != 0;
}

bool CComTestObject::IsReplayInterrupted() { return !IsOnReplay() || IsOnPause() || IsOnAbort(); }

bool CComTestObject::IsOnRecord() {
    if (IsVUserMode() == 1) return false;
    return RunState(L"OnRecord").bVal != 0;
}

bool CComTestObject::IsReplayAlgorithmDisabled() {
    kcom::CComVariant v = RunState(L"DisableReplayUsingAlgorithm");
    return v.vt == VT_I4 && v.lVal != 0;
}

HRESULT CComTestObject::GetDefaultTimeout(long* timeout) {
    if (!timeout) return E_POINTER;
    kcom::CComVariant value;
    HRESULT hr = GetTestOption(L"", m_timeoutOptionName, value.Put());
    if (FAILED(hr)) return hr;
    if (value.vt == VT_BSTR) ::VariantChangeType(&value, &value, 0, VT_I4);
    if (value.vt != VT_I4) return E_FAIL;
    *timeout = value.lVal;
    return S_OK;
}

HRESULT CComTestObject::GetUpdateModeFlags(IObjectRack* rack, long* flags, bool persist) {
    if (!flags) return E_POINTER;
    *flags = 0;
    if (!rack) return E_POINTER;
    kcom::CComPtr<IKorSettings> options;
    HRESULT hr = GetRackObject(rack, RackName::TestOptions, options.Put());
    if (FAILED(hr)) return hr;
    return kcom::Guard([&] {
        kcom::CComBSTR section(L"");
        kcom::CComBSTR name(persist ? L"UpdateModeFlagsPersist" : L"UpdateModeFlags");
        kcom::CComVariant value;
        HRESULT read = options->GetValue(section, name, value.Put(), 0, 0);
        if (FAILED(read)) return read;
        if (FAILED(::VariantChangeType(&value, &value, 0, VT_I4))) return E_FAIL;
        *flags = value.lVal;
        return S_OK;
    });
}

// ---- Run-time values ---------------------------------------------------------------------------

HRESULT CComTestObject::QueryRuntimeValues(IUnknown* runtimeObject, SAFEARRAY* table) {
    return TestObjectGuard([&] {
        kcom::CComVariant own;
        if (!runtimeObject) {
            kcom::CComBSTR name(L"objectid");
            if (SUCCEEDED(m_properties.Get(name, own.Put(), nullptr, nullptr, nullptr, nullptr)) &&
                own.vt == VT_UNKNOWN)
                runtimeObject = own.punkVal;
        }
        kcom::CComPtr<IKorQuery> engine;
        if (FAILED(GetRackService(Rack(), RackName::StdPackageQueryEngine, engine.Put()))) return E_FAIL;
        kcom::CComPtr<IRuntimeID> id;
        if (runtimeObject && FAILED(runtimeObject->QueryInterface(__uuidof(IRuntimeID),
                                                                  reinterpret_cast<void**>(id.Put()))))
            return E_NOINTERFACE;
        return engine->QueryValue(id, table);
    });
}

HRESULT CComTestObject::QueryObjValue(VARIANT* value, IUnknown* runtimeObject, BSTR name) {
    return QueryOneValue(value, runtimeObject, name, false, nullptr);
}

// The data column is there even when no data is given: the engine reads it as empty.
HRESULT CComTestObject::QueryObjValue2(VARIANT* value, IUnknown* runtimeObject, BSTR name, const VARIANT* propData) {
    return QueryOneValue(value, runtimeObject, name, true, propData);
}

HRESULT CComTestObject::QueryOneValue(VARIANT* value, IUnknown* runtimeObject, BSTR name, bool withData,
                                      const VARIANT* propData) {
    if (!value) return E_POINTER;
    ::VariantClear(value);
    HRESULT hr = TestObjectGuard([&] {
        CKorSafeArray table(1, withData ? 3 : 2, VT_VARIANT);
        kcom::CComVariant nameCell;
        nameCell.vt = VT_BSTR;
        nameCell.bstrVal = name ? ::SysAllocStringLen(name, ::SysStringLen(name)) : nullptr;
        if (name && !nameCell.bstrVal) return E_OUTOFMEMORY;
        kcom::ThrowIfFailed(table.PutElement(&nameCell, 0, 0));
        if (propData) kcom::ThrowIfFailed(table.PutElement(const_cast<VARIANT*>(propData), 0, 2));
        HRESULT query = QueryRuntimeValues(runtimeObject, table.psa);
        if (FAILED(query)) return query;
        kcom::ThrowIfFailed(table.GetElement(value, 0, 1));
        return query;
    });
    if (FAILED(hr)) kcom::CComVariant(static_cast<long>(hr), VT_ERROR).Detach(value);
    return hr;
}

// ---- Helpers and host services -----------------------------------------------------------------

HRESULT CComTestObject::CreateHelperByProgID(const wchar_t* progId) {
    CLSID clsid;
    HRESULT hr = ::CLSIDFromProgID(progId, &clsid);
    if (FAILED(hr)) return hr;
    kcom::CComPtr<IUnknown> helper;
    hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                            reinterpret_cast<void**>(helper.Put()));
    if (FAILED(hr)) return hr;
    m_inner = helper;
    if (kcom::CComPtr<ITestObject> test = Inner<ITestObject>()) {
        kcom::CComPtr<IUnknown> own;
        InternalQueryInterface(IID_IUnknown, reinterpret_cast<void**>(own.Put()));
        if (own) test->SetOuterObject(own);
    }
    return hr;
}

HRESULT CComTestObject::GetReplayEngine(const wchar_t* name, IUnknown** engine) {
    if (!engine) return E_POINTER;
    *engine = nullptr;
    kcom::CComPtr<IObjectRack> rack = Rack();
    const ReplayEngineEntry* entry = GetReplayEngineTable();
    if (!rack || !entry || !name) return E_FAIL;
    for (; entry->name; ++entry)
        if (std::wcscmp(entry->name, name) == 0) break;
    if (!entry->name || !entry->progId || !entry->iid || *entry->iid == GUID_NULL) return E_FAIL;
    return kcom::Guard([&] {
        kcom::CComBSTR key(entry->name);
        kcom::CComPtr<IUnknown> found;
        if (SUCCEEDED(rack->GetObject(key, *entry->iid, found.Put())) && found) {
            *engine = found.Detach();
            return S_OK;
        }
        CLSID clsid;
        HRESULT hr = ::CLSIDFromProgID(entry->progId, &clsid);
        if (FAILED(hr)) return hr;
        kcom::CComPtr<IUnknown> created;
        hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, *entry->iid,
                                reinterpret_cast<void**>(created.Put()));
        // Only an engine that was made goes into the rack.
        if (FAILED(hr) || !created) return FAILED(hr) ? hr : E_FAIL;
        rack->SetObject(key, created);
        kcom::CComPtr<IObjectRackClient> client;
        if (SUCCEEDED(kcom::QueryTo(created, client.Put())) && client) client->SetRack(rack);
        *engine = created.Detach();
        return hr;
    });
}

HRESULT CComTestObject::GetExceptionMgr(IKorExceptionMgr** manager) {
    if (!manager) return E_POINTER;
    *manager = nullptr;
    if (!m_exceptionMgr) {
        HRESULT hr = GetRackService(Rack(), RackName::ExeptionMgr, m_exceptionMgr.Put());
        if (FAILED(hr)) return hr;
    }
    return m_exceptionMgr.CopyTo(manager);
}

HRESULT CComTestObject::GetObjectManager(IUnknown** manager) { return ::GetObjectManager(Rack(), manager); }

HRESULT CComTestObject::GetActiveFlow(IUnknown** flow) {
    return GetRackService(Rack(), RackName::ActiveFlow, IID_IUnknown, reinterpret_cast<void**>(flow));
}

HRESULT CComTestObject::GetActiveMaintenanceHistory(IKorMaintenanceHistory** history) {
    if (!history) return E_POINTER;
    *history = nullptr;
    kcom::CComPtr<IKorMaintenanceHistory> created;
    if (FAILED(created.CoCreateInstance(L"Quorvel.AVScriptMaintenanceHistory", nullptr,
                                        CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER)) ||
        !created)
        return S_OK;
    VARIANT_BOOL active = VARIANT_FALSE;
    if (SUCCEEDED(created->IsActive(&active)) && active) *history = created.Detach();
    return S_OK;
}

CComTestObject::CMaintenanceScope::~CMaintenanceScope() {
    if (m_history && m_object) m_history->Notify(m_object, 0);
}

bool CComTestObject::IsInLearn() {
    // Loaded once and kept for the process.
    HMODULE module = ::GetModuleHandleW(L"Cerulin.dll");
    if (!module) module = ::LoadLibraryW(L"Cerulin.dll");
    if (!module) return false;
    auto isInLearn = reinterpret_cast<IsInLearnFn>(::GetProcAddress(module, "IsInLearn"));
    return isInLearn && isInLearn();
}

HRESULT CComTestObject::FindUnidentifiedAncestor(IDispatch** ancestor) {
    if (!ancestor) return E_POINTER;
    *ancestor = nullptr;
    return kcom::Guard([&] {
        kcom::CComBSTR parentName(L"parent");
        kcom::CComBSTR idName(L"objectid");
        kcom::CComVariant parent;
        m_properties.Get(parentName, parent.Put(), nullptr, nullptr, nullptr, nullptr);
        kcom::CComPtr<IDispatch> found;
        // A chain that loops back on itself ends the walk.
        for (int depth = 0; depth < kMaxParentLevels && parent.vt == VT_DISPATCH && parent.pdispVal; ++depth) {
            kcom::CComPtr<IDispatch> current(parent.pdispVal);
            kcom::CComVariant id;
            if (SUCCEEDED(GetTestObjectProp(current, idName, id.Put(), nullptr, nullptr, nullptr)) &&
                id.vt == VT_UNKNOWN)
                break;
            found = current;
            parent.Clear();
            if (FAILED(GetTestObjectProp(current, parentName, parent.Put(), nullptr, nullptr, nullptr))) break;
        }
        *ancestor = found.Detach();
        return S_OK;
    });
}

ULONG CComTestObject::RowCount(const CKorSafeArray& table) noexcept { return table.psa ? table.GetRowCount() : 0; }

bool CComTestObject::BstrEqual(BSTR a, BSTR b) noexcept {
    return ::VarBstrCmp(a, b, LOCALE_USER_DEFAULT, 0) == static_cast<HRESULT>(VARCMP_EQ);
}

void CComTestObject::ClearValueColumn(CKorSafeArray& table) noexcept {
    const ULONG rows = RowCount(table);
    for (ULONG row = 0; row < rows; ++row) {
        kcom::CComVariant empty;
        table.PutElement(&empty, static_cast<LONG>(row), 1);
    }
}
