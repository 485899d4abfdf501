#include "LiveControls.h"
#include <algorithm>
#include "com/ComBSTR.h"
#include "com/ComSafeArray.h"
#include "com/ComVariant.h"
#include "RecordTable.h"

namespace {

// Reads a property through the control's IDispatch; false when it has no member of that name.
// A member that cannot be read answers VT_ERROR with the reason.
bool ReadProperty(IDispatch* object, const wchar_t* name, kcom::CComVariant& value) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
    if (!name || FAILED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) return false;
    DISPPARAMS none{};
    const HRESULT hr =
        object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, value.Put(), nullptr, nullptr);
    if (FAILED(hr)) {
        value.Clear();
        value.vt = VT_ERROR;
        value.scode = hr;
    }
    return true;
}

HRESULT Call(IDispatch* object, const wchar_t* name, WORD flags, std::vector<VARIANTARG>& reversedArgs,
             VARIANT* result) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversedArgs.data(), flags == DISPATCH_PROPERTYPUT ? &put : nullptr,
                      static_cast<UINT>(reversedArgs.size()), flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, nullptr);
}

// Readable properties without parameters, as the control's type information lists them; hidden
// members stay out.
std::wstring PropertyNames(IDispatch* object) {
    std::wstring names;
    UINT count = 0;
    kcom::CComPtr<ITypeInfo> info;
    if (FAILED(object->GetTypeInfoCount(&count)) || count != 1 || FAILED(object->GetTypeInfo(0, 0, info.Put())))
        return names;
    TYPEATTR* attr = nullptr;
    if (FAILED(info->GetTypeAttr(&attr))) return names;
    const WORD funcs = attr->cFuncs;
    info->ReleaseTypeAttr(attr);
    for (UINT i = 0; i < funcs; ++i) {
        FUNCDESC* f = nullptr;
        if (FAILED(info->GetFuncDesc(i, &f))) continue;
        const bool listed = f->invkind == INVOKE_PROPERTYGET &&
                            !(f->wFuncFlags & (FUNCFLAG_FHIDDEN | FUNCFLAG_FRESTRICTED)) &&
                            (f->cParams == 0 ||
                             (f->cParams == 1 && (f->lprgelemdescParam[0].paramdesc.wParamFlags & PARAMFLAG_FRETVAL)));
        const MEMBERID id = f->memid;
        info->ReleaseFuncDesc(f);
        kcom::CComBSTR name;
        if (listed && SUCCEEDED(info->GetDocumentation(id, name.Put(), nullptr, nullptr, nullptr)))
            names += (names.empty() ? L"" : L"\t") + std::wstring(name.c_str());
    }
    return names;
}

}  // namespace

HRESULT MarshalIntoRecord(IDispatch* object, CWireRecord& record) {
    if (!object) return E_POINTER;
    kcom::CComPtr<IStream> stream;
    HRESULT hr = ::CreateStreamOnHGlobal(nullptr, TRUE, stream.Put());
    if (SUCCEEDED(hr))
        hr = ::CoMarshalInterface(stream, IID_IDispatch, object, MSHCTX_LOCAL, nullptr, MSHLFLAGS_NORMAL);
    if (SUCCEEDED(hr)) hr = CWireRecord::StreamBytes(stream, record.stream);
    if (FAILED(hr)) return hr;
    record.hasStream = true;
    return S_OK;
}

HRESULT CLiveControls::Add(IUnknown* control) {
    if (!control) return E_POINTER;
    CEntry entry;
    HRESULT hr = control->QueryInterface(IID_IKorTestControlSite, reinterpret_cast<void**>(entry.site.Put()));
    if (SUCCEEDED(hr)) hr = entry.site->GetSite(&entry.window, &entry.cookie);
    if (FAILED(hr)) return hr;
    controls_.push_back(std::move(entry));
    return S_OK;
}

bool CLiveControls::Answer(EQuillonRequest kind, HWND about, CWireRecord& record) const {
    switch (kind) {
    case EQuillonRequest::GetCookieFromPoint:
    case EQuillonRequest::GetWlsCookiesFromContainer:
    case EQuillonRequest::GetContainers:
        return AnswerContainer(kind, about, record);
    case EQuillonRequest::GetListener:
    case EQuillonRequest::InvokeUser:
    case EQuillonRequest::SetAgentData:
        return false;
    default:
        break;
    }
    for (const CEntry& c : controls_) {
        if (c.window == about && c.cookie == record.cookie) {
            AnswerControl(kind, c, record);
            return true;
        }
    }
    return false;
}

bool CLiveControls::AnswerContainer(EQuillonRequest kind, HWND about, CWireRecord& record) const {
    std::vector<const CEntry*> inside;  // windowless controls of `about`
    bool known = false;
    for (const CEntry& c : controls_) {
        known = known || c.window == about;
        if (c.window == about && c.cookie) inside.push_back(&c);
    }
    if (kind == EQuillonRequest::GetContainers) {
        std::vector<HWND> containers;
        for (const CEntry& c : controls_)
            if (c.cookie && (c.window == about || ::IsChild(about, c.window)) &&
                std::find(containers.begin(), containers.end(), c.window) == containers.end())
                containers.push_back(c.window);
        if (containers.empty()) return false;
        SAFEARRAYBOUND bound{static_cast<ULONG>(containers.size()), 0};
        kcom::CComSafeArray psa(::SafeArrayCreate(VT_VARIANT, 1, &bound));
        if (!psa) throw std::bad_alloc();
        {
            kcom::CSafeArrayDataLock lock(psa);
            for (size_t i = 0; i < containers.size(); ++i) {
                lock.get<VARIANT>()[i].vt = VT_I4;
                lock.get<VARIANT>()[i].lVal = static_cast<LONG>(reinterpret_cast<UINT_PTR>(containers[i]));
            }
        }
        record.a.Clear();
        record.a.vt = VT_ARRAY | VT_VARIANT;
        record.a.parray = psa.Detach();
        record.result = static_cast<LONG>(containers.size());
        return true;
    }
    if (!known) return false;
    if (kind == EQuillonRequest::GetWlsCookiesFromContainer) {
        SAFEARRAYBOUND bounds[2] = {{1, 0}, {static_cast<ULONG>(inside.size()), 0}};  // n rows of one column
        kcom::CComSafeArray psa(::SafeArrayCreate(VT_I4, 2, bounds));
        if (!psa) throw std::bad_alloc();
        if (!inside.empty()) {
            kcom::CSafeArrayDataLock lock(psa);
            for (size_t i = 0; i < inside.size(); ++i) lock.get<LONG>()[i] = inside[i]->cookie;
        }
        record.a.Clear();
        record.a.vt = VT_ARRAY | VT_I4;
        record.a.parray = psa.Detach();
        record.result = 1;
        return true;
    }
    // The point comes in screen coordinates; the topmost visible windowless control there wins.
    const short x = static_cast<short>(record.cookie & 0xFFFF);
    POINT p{x, static_cast<short>((record.cookie - x) >> 16)};
    ::ScreenToClient(about, &p);
    LONG hit = 0;
    for (auto it = inside.rbegin(); it != inside.rend() && !hit; ++it) {
        RECT r{};
        BOOL visible = FALSE;
        if (SUCCEEDED((*it)->site->GetPlacement(&r, &visible)) && visible && ::PtInRect(&r, p)) hit = (*it)->cookie;
    }
    record.cookie = hit;
    record.window = static_cast<ULONG>(reinterpret_cast<UINT_PTR>(about));
    record.result = 1;
    return true;
}

void CLiveControls::AnswerControl(EQuillonRequest kind, const CEntry& control, CWireRecord& record) const {
    kcom::CComPtr<IDispatch> object;
    control.site.QueryInterface(object.Put());
    const wchar_t* name = record.a.vt == VT_BSTR && record.a.bstrVal ? record.a.bstrVal : nullptr;
    record.result = 0;
    switch (kind) {
    case EQuillonRequest::IsActiveX:
        record.result = 1;
        break;
    case EQuillonRequest::GetProgId:
    case EQuillonRequest::GetWlsProgId:
    case EQuillonRequest::GetUserType: {
        kcom::CComBSTR progId, userType;
        if (FAILED(control.site->GetIdentity(progId.Put(), userType.Put()))) break;
        record.a = kcom::CComVariant(kind == EQuillonRequest::GetUserType ? userType.c_str() : progId.c_str());
        record.result = 1;
        break;
    }
    case EQuillonRequest::Hwnd2IDispatch:
        record.result = SUCCEEDED(MarshalIntoRecord(object, record)) ? 1 : 0;
        break;
    case EQuillonRequest::GetActiveXProperty: {
        kcom::CComVariant value;
        const bool known = object && ReadProperty(object, name, value);
        record.a = value;
        record.result = known ? 1 : 0;
        break;
    }
    case EQuillonRequest::GetActiveXPropertiesName:
        record.a = kcom::CComVariant(object ? PropertyNames(object).c_str() : L"");
        record.result = 1;
        break;
    case EQuillonRequest::GetProperties: {
        auto read = [&](const wchar_t* property, kcom::CComVariant& value) {
            return ReadProperty(object, property, value);
        };
        record.result = object && AnswerPropertyTable(record, read) ? 1 : 0;
        break;
    }
    case EQuillonRequest::SetActiveXProperty: {
        std::vector<VARIANTARG> args(1, record.b);
        record.result = object && name && SUCCEEDED(Call(object, name, DISPATCH_PROPERTYPUT, args, nullptr)) ? 1 : 0;
        break;
    }
    case EQuillonRequest::InvokeActiveX: {
        const wchar_t* method = record.b.vt == VT_BSTR && record.b.bstrVal ? record.b.bstrVal : nullptr;
        if (!object || !method || record.a.vt != (VT_ARRAY | VT_VARIANT) || !record.a.parray) break;
        kcom::CSafeArrayDataLock lock(record.a.parray);
        if (!lock) break;
        // Shallow copies in reverse order: the array keeps owning them.
        std::vector<VARIANTARG> args;
        for (ULONG i = record.a.parray->rgsabound[0].cElements; i-- > 0;) args.push_back(lock.get<VARIANT>()[i]);
        kcom::CComVariant result;
        if (FAILED(Call(object, method, DISPATCH_METHOD, args, result.Put()))) break;
        record.b = result;
        record.result = 1;
        break;
    }
    case EQuillonRequest::GetWlsSize:
    case EQuillonRequest::GetWlsVisibleState: {
        RECT r{};
        BOOL visible = FALSE;
        if (FAILED(control.site->GetPlacement(&r, &visible))) break;
        if (kind == EQuillonRequest::GetWlsVisibleState) {
            record.a = kcom::CComVariant(static_cast<long>(visible ? 1 : 0));
        } else {
            record.hasBlob = true;
            record.blob.assign(reinterpret_cast<const BYTE*>(&r), reinterpret_cast<const BYTE*>(&r) + sizeof r);
            record.blobLength = sizeof r;
        }
        record.result = 1;
        break;
    }
    case EQuillonRequest::GetInprocUnknown: {
        kcom::CComPtr<IUnknown> identity;
        control.site.QueryInterface(identity.Put());
        record.cookie = static_cast<LONG>(reinterpret_cast<UINT_PTR>(identity.get()));
        record.result = 1;
        break;
    }
    case EQuillonRequest::GetCreateTime: {
        DWORD time = 0;
        control.site->GetCreateTime(&time);
        record.result = static_cast<LONG>(time);
        break;
    }
    case EQuillonRequest::GetCookieFromHandle:
        record.cookie = 0;
        record.result = 1;
        break;
    default:
        break;
    }
}
