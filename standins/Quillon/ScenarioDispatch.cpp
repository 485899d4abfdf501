#include "ScenarioDispatch.h"
#include "com/ComError.h"
#include "com/ComObject.h"
#include <iterator>

namespace {

class CScenarioDispatch : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IDispatch {
public:
    BEGIN_COM_MAP(CScenarioDispatch)
        COM_INTERFACE_ENTRY(IDispatch)
    END_COM_MAP()

    CScenarioTarget* target = nullptr;
    bool listener = false;

    STDMETHOD(GetTypeInfoCount)(UINT* count) noexcept override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo** out) noexcept override {
        if (!out) return E_POINTER;
        *out = nullptr;
        return DISP_E_BADINDEX;
    }
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) noexcept override {
        if (!names || !ids) return E_POINTER;
        HRESULT hr = S_OK;
        for (UINT i = 0; i < count; ++i) {
            ids[i] = i == 0 ? Lookup(names[i]) : DISPID_UNKNOWN;
            if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
        }
        return hr;
    }
    STDMETHOD(Invoke)(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                      UINT*) noexcept override {
        return kcom::Guard([&]() -> HRESULT {
            kcom::CComVariant value;
            if (id == DispidProcessId) value = kcom::CComVariant(static_cast<long>(::GetCurrentProcessId()));
            else if (id == DispidThreadId) value = kcom::CComVariant(static_cast<long>(::GetCurrentThreadId()));
            else if (id == DispidRole) value = kcom::CComVariant(listener ? L"listener" : L"control");
            else if (id >= DispidMethodBase && id < DispidMethodBase + static_cast<DISPID>(target->methods.size())) {
                if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
                auto it = target->methods.begin();
                std::advance(it, id - DispidMethodBase);
                value = it->second;
            } else if (id >= 1 && id <= static_cast<DISPID>(target->props.size())) {
                kcom::CComVariant& prop = target->props[static_cast<size_t>(id - 1)].second;
                if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
                    if (!params || params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
                    prop = params->rgvarg[0];
                    return S_OK;
                }
                value = prop;
            } else {
                return DISP_E_MEMBERNOTFOUND;
            }
            if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) return DISP_E_MEMBERNOTFOUND;
            return result ? value.Detach(result) : S_OK;
        });
    }

private:
    DISPID Lookup(const wchar_t* name) const {
        if (!name) return DISPID_UNKNOWN;
        if (_wcsicmp(name, L"ProcessId") == 0) return DispidProcessId;
        if (_wcsicmp(name, L"ThreadId") == 0) return DispidThreadId;
        if (_wcsicmp(name, L"Role") == 0) return DispidRole;
        for (size_t i = 0; i < target->props.size(); ++i)
            if (_wcsicmp(target->props[i].first.c_str(), name) == 0) return static_cast<DISPID>(i + 1);
        DISPID id = DispidMethodBase;
        for (auto& m : target->methods) {
            if (_wcsicmp(m.first.c_str(), name) == 0) return id;
            ++id;
        }
        return DISPID_UNKNOWN;
    }
};

}  // namespace

HRESULT CreateScenarioDispatch(CScenarioTarget* target, bool listener, IDispatch** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!target) return E_INVALIDARG;
    kcom::CComObject<CScenarioDispatch>* object = nullptr;
    HRESULT hr = kcom::CComObject<CScenarioDispatch>::CreateInstance(&object);
    if (FAILED(hr)) return hr;
    object->target = target;
    object->listener = listener;
    return object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(out));
}
