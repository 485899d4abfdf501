// The host's objects as the tests see them: behaviour from a table, every call recorded.
#include "HostStandIn.h"
#include <olectl.h>
#include <cstdio>
#include <cwchar>
#include "com/CodePageText.h"
#include "com/ComBSTR.h"
#include "com/ComClassFactory.h"
#include "com/ComError.h"
#include "com/ComSafeArray.h"
#include "com/Handles.h"

namespace standin {

std::wstring VariantText(const VARIANT& v) {
    switch (v.vt) {
    case VT_EMPTY: return L"EMPTY";
    case VT_NULL: return L"NULL";
    case VT_I4: return L"I4:" + std::to_wstring(v.lVal);
    case VT_I2: return L"I2:" + std::to_wstring(v.iVal);
    case VT_UI2: return L"UI2:" + std::to_wstring(v.uiVal);
    case VT_BOOL: return L"BOOL:" + std::to_wstring(v.boolVal);
    case VT_BSTR: return v.bstrVal ? L"BSTR:" + std::wstring(v.bstrVal, ::SysStringLen(v.bstrVal)) : L"BSTR:(null)";
    default: return L"VT:" + std::to_wstring(v.vt);
    }
}

std::wstring GuidText(REFGUID guid) {
    wchar_t buf[40] = {};
    ::StringFromGUID2(guid, buf, 40);
    return buf;
}

namespace {

std::wstring Text(BSTR b) { return b ? std::wstring(b, ::SysStringLen(b)) : std::wstring(L"(null)"); }

bool SameName(const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) == 0; }

std::vector<std::wstring> SplitPath(const wchar_t* section) {
    std::vector<std::wstring> parts;
    std::wstring cur;
    for (const wchar_t* p = section ? section : L""; *p; ++p) {
        if (*p == L'\\') {
            if (!cur.empty()) parts.push_back(cur);
            cur.clear();
        } else {
            cur += *p;
        }
    }
    if (!cur.empty()) parts.push_back(cur);
    return parts;
}

}  // namespace

HRESULT NewTable(LONG rows, LONG columns, kcom::CComSafeArray& out) {
    SAFEARRAYBOUND bounds[2] = {{static_cast<ULONG>(columns), 0}, {static_cast<ULONG>(rows), 0}};
    out.Reset(::SafeArrayCreate(VT_VARIANT, 2, bounds));
    return out.get() ? S_OK : E_OUTOFMEMORY;
}

HRESULT PutCell(SAFEARRAY* psa, LONG column, LONG row, const VARIANT& v) {
    LONG index[2] = {column, row};
    return ::SafeArrayPutElement(psa, index, const_cast<VARIANT*>(&v));
}

void NamedValues::Put(const std::wstring& name, const VARIANT& value) {
    if (kcom::CComVariant* v = Find(name)) {
        *v = value;
        return;
    }
    items_.emplace_back(name, kcom::CComVariant(value));
}

kcom::CComVariant* NamedValues::Find(const std::wstring& name) {
    for (auto& [n, v] : items_)
        if (SameName(n, name)) return &v;
    return nullptr;
}

const kcom::CComVariant* NamedValues::Find(const std::wstring& name) const {
    return const_cast<NamedValues*>(this)->Find(name);
}

// ---- rack ----

STDMETHODIMP CRackStandIn::SetObject(BSTR name, IUnknown* object) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"SetObject(" + Text(name) + L")");
        Put(name ? name : L"", object);
        return S_OK;
    });
}

STDMETHODIMP CRackStandIn::GetObject(BSTR name, REFIID iid, IUnknown** object) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"GetObject(" + Text(name) + L"," + GuidText(iid) + L")");
        if (!object) return E_POINTER;
        *object = nullptr;
        kcom::CComPtr<IUnknown> found = Find(name ? name : L"");
        if (!found) return E_FAIL;
        return found->QueryInterface(iid, reinterpret_cast<void**>(object));
    });
}

STDMETHODIMP CRackStandIn::RemoveObject(BSTR name) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"RemoveObject(" + Text(name) + L")");
        std::wstring n = name ? name : L"";
        for (auto it = objects_.begin(); it != objects_.end(); ++it) {
            if (it->first == n) {
                objects_.erase(it);
                return S_OK;
            }
        }
        return S_FALSE;
    });
}

void CRackStandIn::Put(const wchar_t* name, IUnknown* object) {
    for (auto& [n, o] : objects_) {
        if (n == name) {
            o = object;
            return;
        }
    }
    objects_.emplace_back(name, object);
}

void CRackStandIn::Drop(const wchar_t* name) {
    for (auto it = objects_.begin(); it != objects_.end(); ++it) {
        if (it->first == name) {
            objects_.erase(it);
            return;
        }
    }
}

bool CRackStandIn::Has(const wchar_t* name) const { return static_cast<bool>(Find(name)); }

kcom::CComPtr<IUnknown> CRackStandIn::Find(const wchar_t* name) const {
    for (const auto& [n, o] : objects_)
        if (n == name) return o;
    return {};
}

// ---- settings ----

CSettingsStandIn::CSettingsStandIn() : shared_(std::make_shared<Shared>()) {}

STDMETHODIMP CSettingsStandIn::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}
STDMETHODIMP CSettingsStandIn::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) *info = nullptr;
    return E_NOTIMPL;
}
STDMETHODIMP CSettingsStandIn::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return DISP_E_UNKNOWNNAME; }
STDMETHODIMP CSettingsStandIn::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
    return DISP_E_MEMBERNOTFOUND;
}

void CSettingsStandIn::Record(std::wstring line) {
    shared_->log.Add(path_.empty() ? std::move(line) : path_ + L"/" + line);
}

STDMETHODIMP CSettingsStandIn::get_Item(VARIANT* key, VARIANT* value) {
    return kcom::Guard([&]() -> HRESULT {
        Record(L"get_Item(" + (key ? VariantText(*key) : std::wstring(L"(null)")) + L")");
        if (!value) return E_POINTER;
        ::VariantInit(value);
        if (!key || key->vt != VT_BSTR) return E_INVALIDARG;
        std::wstring name = Text(key->bstrVal);
        if (CSettingsStandIn* child = Child(name, false)) {
            value->vt = VT_DISPATCH;
            value->pdispVal = static_cast<IKorSettings*>(child);
            value->pdispVal->AddRef();
            return S_OK;
        }
        if (const kcom::CComVariant* v = values_.Find(name)) return v->CopyTo(value);
        return shared_->missing;
    });
}

STDMETHODIMP CSettingsStandIn::put_Item(VARIANT* key, VARIANT value) {
    return kcom::Guard([&]() -> HRESULT {
        Record(L"put_Item(" + (key ? VariantText(*key) : std::wstring(L"(null)")) + L"," + VariantText(value) + L")");
        if (!key || key->vt != VT_BSTR) return E_INVALIDARG;
        Put(L"", key->bstrVal, value);
        return S_OK;
    });
}

STDMETHODIMP CSettingsStandIn::GetValue(BSTR section, BSTR name, VARIANT* value, long reserved1, long reserved2) {
    return kcom::Guard([&]() -> HRESULT {
        Record(L"GetValue(" + Text(section) + L"," + Text(name) + L"," + std::to_wstring(reserved1) + L"," +
               std::to_wstring(reserved2) + L")");
        if (!value) return E_POINTER;
        ::VariantInit(value);
        const CSettingsStandIn* node = Walk(section);
        const kcom::CComVariant* v = node ? node->values_.Find(name ? name : L"") : nullptr;
        return v ? v->CopyTo(value) : shared_->missing;
    });
}

STDMETHODIMP CSettingsStandIn::SetValue(BSTR section, BSTR name, VARIANT value, long arg1, long arg2, long arg3,
                                        long arg4, long arg5) {
    return kcom::Guard([&]() -> HRESULT {
        Record(L"SetValue(" + Text(section) + L"," + Text(name) + L"," + VariantText(value) + L"," +
               std::to_wstring(arg1) + L"," + std::to_wstring(arg2) + L"," + std::to_wstring(arg3) + L"," +
               std::to_wstring(arg4) + L"," + std::to_wstring(arg5) + L")");
        Put(section, name ? name : L"", value);
        return S_OK;
    });
}

STDMETHODIMP CSettingsStandIn::GetSubKeys(BSTR section, SAFEARRAY** names) {
    return kcom::Guard([&]() -> HRESULT {
        Record(L"GetSubKeys(" + Text(section) + L")");
        if (!names) return E_POINTER;
        *names = nullptr;
        const CSettingsStandIn* node = Walk(section);
        if (!node) return shared_->missing;
        kcom::CComSafeArray table;
        kcom::ThrowIfFailed(NewTable(static_cast<LONG>(node->children_.size()), 1, table));
        LONG row = 0;
        for (const auto& [n, child] : node->children_)
            kcom::ThrowIfFailed(PutCell(table, 0, row++, kcom::CComVariant(n.c_str())));
        *names = table.Detach();
        return S_OK;
    });
}

STDMETHODIMP CSettingsStandIn::GetValues(BSTR section, SAFEARRAY** values) {
    return kcom::Guard([&]() -> HRESULT {
        Record(L"GetValues(" + Text(section) + L")");
        if (!values) return E_POINTER;
        *values = nullptr;
        const CSettingsStandIn* node = Walk(section);
        if (!node) return shared_->missing;
        kcom::CComSafeArray table;
        const auto& items = node->values_.Items();
        kcom::ThrowIfFailed(NewTable(static_cast<LONG>(items.size()), 2, table));
        LONG row = 0;
        for (const auto& [n, v] : items) {
            kcom::ThrowIfFailed(PutCell(table, 0, row, kcom::CComVariant(n.c_str())));
            kcom::ThrowIfFailed(PutCell(table, 1, row, v));
            ++row;
        }
        *values = table.Detach();
        return S_OK;
    });
}

STDMETHODIMP CSettingsStandIn::GetProductRegRoot(BSTR* root) {
    return kcom::Guard([&]() -> HRESULT {
        Record(L"GetProductRegRoot()");
        if (!root) return E_POINTER;
        *root = nullptr;
        if (FAILED(shared_->productRootResult)) return shared_->productRootResult;
        if (shared_->productRoot) {
            *root = ::SysAllocString(shared_->productRoot->c_str());
            if (!*root) return E_OUTOFMEMORY;
        }
        return shared_->productRootResult;
    });
}

STDMETHODIMP CSettingsStandIn::SectionExists(BSTR section, VARIANT_BOOL* exists) {
    return kcom::Guard([&]() -> HRESULT {
        Record(L"SectionExists(" + Text(section) + L")");
        if (!exists) return E_POINTER;
        *exists = VARIANT_FALSE;
        if (FAILED(shared_->sectionsResult)) return shared_->sectionsResult;
        *exists = HasSection(section) ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    });
}

STDMETHODIMP CSettingsStandIn::CreateSection(BSTR section) {
    return kcom::Guard([&]() -> HRESULT {
        Record(L"CreateSection(" + Text(section) + L")");
        if (FAILED(shared_->sectionsResult)) return shared_->sectionsResult;
        AddSection(section);
        return S_OK;
    });
}

void CSettingsStandIn::Put(const wchar_t* section, const wchar_t* name, const VARIANT& value) {
    Walk(section, true)->values_.Put(name, value);
}

void CSettingsStandIn::Put(const wchar_t* section, const wchar_t* name, const wchar_t* text) {
    Put(section, name, kcom::CComVariant(text));
}

void CSettingsStandIn::Put(const wchar_t* section, const wchar_t* name, long number) {
    Put(section, name, kcom::CComVariant(number));
}

CSettingsStandIn* CSettingsStandIn::AddSection(const wchar_t* section) { return Walk(section, true); }

kcom::CComVariant CSettingsStandIn::Peek(const wchar_t* section, const wchar_t* name) const {
    const CSettingsStandIn* node = Walk(section);
    const kcom::CComVariant* v = node ? node->values_.Find(name) : nullptr;
    return v ? *v : kcom::CComVariant();
}

bool CSettingsStandIn::HasSection(const wchar_t* section) const { return Walk(section) != nullptr; }

void CSettingsStandIn::SetProductRoot(const wchar_t* root, HRESULT hr) {
    shared_->productRoot = root ? std::optional<std::wstring>(root) : std::nullopt;
    shared_->productRootResult = hr;
}

CSettingsStandIn* CSettingsStandIn::Walk(const wchar_t* section, bool create) {
    CSettingsStandIn* node = this;
    for (const auto& part : SplitPath(section)) {
        node = node->Child(part, create);
        if (!node) return nullptr;
    }
    return node;
}

const CSettingsStandIn* CSettingsStandIn::Walk(const wchar_t* section) const {
    const CSettingsStandIn* node = this;
    for (const auto& part : SplitPath(section)) {
        node = node->Child(part);
        if (!node) return nullptr;
    }
    return node;
}

CSettingsStandIn* CSettingsStandIn::Child(const std::wstring& name, bool create) {
    for (auto& [n, child] : children_)
        if (SameName(n, name)) return child.get();
    if (!create) return nullptr;
    Node child = Node::New();
    child->shared_ = shared_;
    child->path_ = path_.empty() ? name : path_ + L"\\" + name;
    children_.emplace_back(name, child);
    return child.get();
}

const CSettingsStandIn* CSettingsStandIn::Child(const std::wstring& name) const {
    for (const auto& [n, child] : children_)
        if (SameName(n, name)) return child.get();
    return nullptr;
}

// ---- query engine ----

STDMETHODIMP CQueryEngineStandIn::QueryIdFromContainer(SAFEARRAY*, IDispatch* pContainer, SAFEARRAY** ppsaRO,
                                                      QueryIdInfo* pInfo, SAFEARRAY*) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"QueryIdFromContainer(" + std::wstring(pContainer ? L"container" : L"(null)") + L"," +
                 (pInfo ? std::to_wstring(pInfo->timeout) + L"," + std::to_wstring(pInfo->delay) : L"(null)") + L")");
        if (!ppsaRO) return E_POINTER;
        *ppsaRO = nullptr;
        return queryResult_;
    });
}

STDMETHODIMP CQueryEngineStandIn::QueryIdFromSet(SAFEARRAY*, SAFEARRAY** ppsaRO) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"QueryIdFromSet()");
        if (ppsaRO) *ppsaRO = nullptr;
        return queryResult_;
    });
}

STDMETHODIMP CQueryEngineStandIn::QueryValue(IRuntimeID* pRO, SAFEARRAY* psaProp) {
    return kcom::Guard([&]() -> HRESULT {
        std::wstring names;
        LONG rows = 0;
        if (psaProp && ::SafeArrayGetDim(psaProp) == 2) rows = static_cast<LONG>(psaProp->rgsabound[0].cElements);
        lastColumns_ = rows ? static_cast<LONG>(psaProp->rgsabound[1].cElements) : 0;
        for (LONG row = 0; row < rows; ++row) {
            LONG index[2] = {0, row};
            kcom::CComVariant name;
            if (FAILED(::SafeArrayGetElement(psaProp, index, &name)) || name.vt != VT_BSTR) continue;
            if (!names.empty()) names += L",";
            names += Text(name.bstrVal);
            if (const kcom::CComVariant* v = values_.Find(Text(name.bstrVal)))
                kcom::ThrowIfFailed(PutCell(psaProp, 1, row, *v));
        }
        log_.Add(L"QueryValue(" + std::wstring(pRO ? L"id" : L"(null)") + L"," + names + L")");
        if (!psaProp) return E_INVALIDARG;
        return queryResult_;
    });
}

STDMETHODIMP CQueryEngineStandIn::RegisterQuery(BSTR progId, BSTR name, long arg1, long arg2, long arg3) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"RegisterQuery(" + Text(progId) + L"," + Text(name) + L"," + std::to_wstring(arg1) + L"," +
                 std::to_wstring(arg2) + L"," + std::to_wstring(arg3) + L")");
        return registerResult_;
    });
}

void CQueryEngineStandIn::PutValue(const wchar_t* property, const VARIANT& value) { values_.Put(property, value); }

// ---- record manager ----

namespace {

// An object with nothing but an identity: what a registration hands back.
class CToken : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IPersist {
public:
    BEGIN_COM_MAP(CToken)
        COM_INTERFACE_ENTRY(IPersist)
    END_COM_MAP()
    STDMETHOD(GetClassID)(CLSID* out) override {
        if (!out) return E_POINTER;
        *out = CLSID_NULL;
        return S_OK;
    }
};

// A test object with nothing but an identity and an empty script interface: what the record
// manager makes of a runtime identifier when no package services were set.
class CPlainTestObject : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IDispatch {
public:
    BEGIN_COM_MAP(CPlainTestObject)
        COM_INTERFACE_ENTRY(IDispatch)
    END_COM_MAP()
    STDMETHOD(GetTypeInfoCount)(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
    STDMETHOD(Invoke)(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }
};

}  // namespace

std::wstring CRecordMgrStandIn::Describe(const KorClassDescriptor& d) const {
    wchar_t mask[16];
    swprintf(mask, 16, L"0x%lX", static_cast<unsigned long>(d.mask));
    return L"{" + standin::Arg(d.name) + L"," + std::to_wstring(d.value) + L"," + mask + L"," +
           std::to_wstring(d.extra) + L"}";
}

STDMETHODIMP CRecordMgrStandIn::RegisterFactory(BSTR progId, KorClassDescriptor descriptor, long arg,
                                                IUnknown** registration) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"RegisterFactory(" + Text(progId) + L"," + Describe(descriptor) + L"," + std::to_wstring(arg) + L")");
        if (!registration) return E_POINTER;
        *registration = nullptr;
        if (FAILED(result_)) return result_;
        kcom::CComPtr<IPersist> token;
        HRESULT hr = kcom::CreateObject<CToken>(token.Put());
        if (FAILED(hr)) return hr;
        registrations_.emplace_back(token.get());
        *registration = token.Detach();
        return result_;
    });
}

STDMETHODIMP CRecordMgrStandIn::RegisterServer(IUnknown* registration, KorClassDescriptor descriptor, long arg) {
    return kcom::Guard([&]() -> HRESULT {
        std::wstring which = L"(null)";
        for (size_t i = 0; i < registrations_.size(); ++i)
            if (registrations_[i].IsEqualObject(registration)) which = L"#" + std::to_wstring(i);
        if (registration && which == L"(null)") which = L"other";
        log_.Add(L"RegisterServer(" + which + L"," + Describe(descriptor) + L"," + std::to_wstring(arg) + L")");
        return result_;
    });
}

STDMETHODIMP CRecordMgrStandIn::ReceiveData(FORMATETC* format, STGMEDIUM* medium, ULONG* answer) {
    return kcom::Guard([&]() -> HRESULT {
        if (!format || !medium || !answer) {
            log_.Add(L"ReceiveData(bad arguments)");
            return E_POINTER;
        }
        RecordedStep step;
        step.tick = ::GetTickCount();
        wchar_t name[128] = {};
        ::GetClipboardFormatNameW(format->cfFormat, name, 128);
        step.format = name;
        std::wstring shape = L"ReceiveData(" + step.format + L",td=" + (format->ptd ? L"set" : L"null") +
                             L",aspect=" + std::to_wstring(format->dwAspect) + L",lindex=" +
                             std::to_wstring(format->lindex) + L",tymed=" + std::to_wstring(format->tymed) +
                             L",medium=" + std::to_wstring(medium->tymed) + L",size=";
        if (medium->tymed != TYMED_HGLOBAL || !medium->hGlobal) {
            log_.Add(shape + L"0)");
            return E_INVALIDARG;
        }
        const SIZE_T size = ::GlobalSize(medium->hGlobal);
        shape += std::to_wstring(size);
        kcom::CGlobalLock<DWORD> block(medium->hGlobal);
        if (size < 12 || !block.get()) {
            log_.Add(shape + L")");
            return E_INVALIDARG;
        }
        step.object = reinterpret_cast<IDispatch*>(static_cast<UINT_PTR>(block.get()[0]));
        step.method = Arg(reinterpret_cast<const wchar_t*>(static_cast<UINT_PTR>(block.get()[1])));
        step.arguments = ArrayText(reinterpret_cast<SAFEARRAY*>(static_cast<UINT_PTR>(block.get()[2])));
        log_.Add(shape + L"," + step.method + L"," + step.arguments + L")");
        steps_.push_back(std::move(step));
        *answer = dataAnswer_;
        return dataResult_;
    });
}

std::wstring ArrayText(SAFEARRAY* psa) {
    if (!psa) return L"(null)";
    std::wstring text = L"[";
    VARTYPE vt = VT_EMPTY;
    if (FAILED(::SafeArrayGetVartype(psa, &vt)) || vt != VT_VARIANT) return L"[not VARIANT]";
    ULONG count = psa->cDims ? 1 : 0;
    for (USHORT d = 0; d < psa->cDims; ++d) count *= psa->rgsabound[d].cElements;
    kcom::CSafeArrayDataLock lock(psa);
    const VARIANT* data = lock.get<const VARIANT>();
    for (ULONG i = 0; i < count && data; ++i) {
        if (i) text += L',';
        text += VariantText(data[i]);
    }
    return text + L"]";
}

STDMETHODIMP CRecordMgrStandIn::BuildDescriptionForChildren(IDispatch*, SAFEARRAY** description, VARIANT) {
    log_.Add(L"BuildDescriptionForChildren()");
    if (description) *description = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CRecordMgrStandIn::Reserved1() {
    log_.Add(L"Reserved1()");
    return E_NOTIMPL;
}

STDMETHODIMP CRecordMgrStandIn::CreateTestObjFromRuntimeId(IRuntimeID* id, IDispatch** object) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(std::wstring(L"CreateTestObjFromRuntimeId(") + (id ? L"id" : L"(null)") + L")");
        if (!object) return E_POINTER;
        *object = nullptr;
        kcom::CComPtr<IDispatch> made;
        HRESULT hr = services_ ? services_->CreateTestObjFromRuntimeId(id, made.Put())
                               : kcom::CreateObject<CPlainTestObject, IDispatch>(made.Put());
        if (hr != S_OK || !made) return FAILED(hr) ? hr : S_FALSE;
        created_.push_back(made);
        *object = made.Detach();
        return S_OK;
    });
}

STDMETHODIMP CRecordMgrStandIn::CreateTestObjsForTable(SAFEARRAY**) {
    log_.Add(L"CreateTestObjsForTable()");
    return E_NOTIMPL;
}

STDMETHODIMP CRecordMgrStandIn::QueryClassService(GUID* service, long request, VARIANT* input, VARIANT* output) {
    return kcom::Guard([&]() -> HRESULT {
        std::wstring args = L"(null)";
        // The data word of an array value is the array in both the plain and the by-reference form.
        if (input) args = (input->vt & VT_ARRAY) ? ArrayText(input->parray) : VariantText(*input);
        log_.Add(L"QueryClassService(" + (service ? GuidText(*service) : std::wstring(L"(null)")) + L"," +
                 std::to_wstring(request) + L"," + args + L")");
        if (!service || !input || !output) return E_POINTER;
        ::VariantClear(output);
        output->vt = VT_I4;
        output->lVal = commandAnswer_;
        return S_OK;
    });
}

STDMETHODIMP CRecordMgrStandIn::Reserved2() {
    log_.Add(L"Reserved2()");
    return E_NOTIMPL;
}

STDMETHODIMP CRecordMgrStandIn::CreateTestObjFromWindow(HWND, IDispatch** object) {
    log_.Add(L"CreateTestObjFromWindow()");
    if (object) *object = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CRecordMgrStandIn::Reserved3() {
    log_.Add(L"Reserved3()");
    return E_NOTIMPL;
}

STDMETHODIMP CRecordMgrStandIn::FillRuntimeValuesForObjects(long, SAFEARRAY*, long) {
    log_.Add(L"FillRuntimeValuesForObjects()");
    return E_NOTIMPL;
}

STDMETHODIMP CRecordMgrStandIn::GetRecordingState(long* state) {
    log_.Add(L"GetRecordingState()");
    if (!state) return E_POINTER;
    *state = recordingState_;
    return stateResult_;
}

// ---- event connector and input channel ----

STDMETHODIMP CEventConnectorStandIn::Advise(IUnknown* sink, long reserved, REFIID iid, DWORD* cookie) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"Advise(" + std::wstring(sink ? L"sink" : L"(null)") + L"," + std::to_wstring(reserved) + L"," +
                 GuidText(iid) + L")");
        if (!cookie) return E_POINTER;
        *cookie = 0;
        if (!sink) return E_INVALIDARG;
        if (::IsEqualIID(iid, refusedIid_)) return refusal_;
        *cookie = sinks_.Add(sink);
        return S_OK;
    });
}

STDMETHODIMP CEventConnectorStandIn::Unadvise(DWORD cookie) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"Unadvise(" + std::to_wstring(cookie) + L")");
        return sinks_.Remove(cookie) ? S_OK : CONNECT_E_NOCONNECTION;
    });
}

STDMETHODIMP CInputChannelStandIn::RegisterDataTarget(IKorDataTarget* target, unsigned short mask, DWORD* cookie) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"RegisterDataTarget(" + std::wstring(target ? L"target" : L"(null)") + L"," + std::to_wstring(mask) +
                 L")");
        if (!cookie) return E_POINTER;
        *cookie = 0;
        if (!target) return E_INVALIDARG;
        *cookie = targets_.Add(target);
        return S_OK;
    });
}

STDMETHODIMP CInputChannelStandIn::UnregisterDataTarget(DWORD cookie) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"UnregisterDataTarget(" + std::to_wstring(cookie) + L")");
        return targets_.Remove(cookie) ? S_OK : E_INVALIDARG;
    });
}

// ---- host application ----

STDMETHODIMP CHostApplicationStandIn::ShowMessageBox(long owner, BSTR text, BSTR caption, long type, long* answer) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"ShowMessageBox(" + std::to_wstring(owner) + L"," + Text(text) + L"," + Text(caption) + L"," +
                 std::to_wstring(type) + L")");
        if (!answer) return E_POINTER;
        if (answer_) *answer = *answer_;
        return boxResult_;
    });
}

STDMETHODIMP CHostApplicationStandIn::GetValue(BSTR name, VARIANT* value) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"GetValue(" + Text(name) + L")");
        if (!value) return E_POINTER;
        ::VariantInit(value);
        const kcom::CComVariant* v = values_.Find(name ? name : L"");
        return v ? v->CopyTo(value) : E_FAIL;
    });
}

void CHostApplicationStandIn::Put(const wchar_t* name, const VARIANT& value) { values_.Put(name, value); }

namespace {

// Hands out one given object for every creation.
class CSingleObjectFactory : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IClassFactory {
public:
    BEGIN_COM_MAP(CSingleObjectFactory)
        COM_INTERFACE_ENTRY(IClassFactory)
    END_COM_MAP()
    STDMETHOD(CreateInstance)(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        if (!object_) return E_FAIL;
        return object_->QueryInterface(iid, out);
    }
    STDMETHOD(LockServer)(BOOL) override { return S_OK; }
    kcom::CComPtr<IUnknown> object_;
};

}  // namespace

CClassRegistration::CClassRegistration(REFCLSID clsid, kcom::CreatorFn creator, bool singleton) {
    kcom::CComPtr<IUnknown> factory;
    hr_ = singleton ? kcom::CreateClassObject<kcom::CComClassFactorySingleton>(creator, factory.Put())
                    : kcom::CreateClassObject<kcom::CComClassFactory>(creator, factory.Put());
    if (SUCCEEDED(hr_)) Register(clsid, factory);
}

void CClassRegistration::Register(REFCLSID clsid, IUnknown* classObject, DWORD context) {
    hr_ = ::CoRegisterClassObject(clsid, classObject, context, REGCLS_MULTIPLEUSE, &cookie_);
}

CClassRegistration::~CClassRegistration() {
    if (SUCCEEDED(hr_)) ::CoRevokeClassObject(cookie_);
}

namespace {

HRESULT WriteProgIdKey(const wchar_t* progId, REFCLSID clsid) {
    kcom::CRegKey key;
    const std::wstring path = std::wstring(progId) + L"\\CLSID";
    LONG rc = ::RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Put(),
                                nullptr);
    const std::wstring text = GuidText(clsid);
    if (rc == ERROR_SUCCESS)
        rc = ::RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    return HRESULT_FROM_WIN32(rc);
}

std::string SetUpMessage(const std::wstring& what, HRESULT hr) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
    return "stand-in set-up failed: " + kcom::Utf8(what) + " (" + code + ")";
}

}  // namespace

SetUpFailure::SetUpFailure(const std::wstring& what, HRESULT hr) : std::runtime_error(SetUpMessage(what, hr)) {}

CProgIdKey::CProgIdKey(const wchar_t* progId, REFCLSID clsid)
    : restore_(HKEY_CLASSES_ROOT, std::wstring(progId) + L"\\CLSID") {
    const HRESULT hr = WriteProgIdKey(progId, clsid);
    if (FAILED(hr)) throw SetUpFailure(L"HKEY_CLASSES_ROOT\\" + std::wstring(progId) + L"\\CLSID not written", hr);
}

CProgIdRegistration::CProgIdRegistration(const wchar_t* progId, REFCLSID clsid, kcom::CreatorFn creator)
    : CClassRegistration(clsid, creator) {
    const HRESULT hr = CClassRegistration::Result();
    if (FAILED(hr)) throw SetUpFailure(L"class of " + std::wstring(progId) + L" not registered", hr);
    key_.emplace(progId, clsid);
}

CObjectRegistration::CObjectRegistration(REFCLSID clsid, IUnknown* object, DWORD context) {
    kcom::CComObject<CSingleObjectFactory>* factory = nullptr;
    if (FAILED(kcom::CComObject<CSingleObjectFactory>::CreateInstance(&factory))) return;
    kcom::CComPtr<IClassFactory> keep(factory);
    factory->object_ = object;
    Register(clsid, keep, context);
}

}  // namespace standin
