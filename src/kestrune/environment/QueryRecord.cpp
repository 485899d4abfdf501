#include "environment/QueryRecord.h"
#include "com/ComVariant.h"
#include "com/ComError.h"
#include "kestrune.h"

CQueryRecord CQueryRecord::ForMember(ErasedMember member, long adjustment) noexcept {
    CQueryRecord r;
    r.kind = MemberFunction;
    r.member = member;
    r.adjustment = adjustment;
    return r;
}

CQueryRecord CQueryRecord::ForDispatch(IDispatch* object, const wchar_t* method, bool takeReference) {
    CQueryRecord r;
    r.kind = DispatchMethod;
    r.object = object;
    if (method) r.name = method;
    if (takeReference) {
        r.reference_ = object;
        r.owned = true;
    }
    return r;
}

HRESULT CQueryRecord::InvokeDispatch(IRuntimeID* id, const VARIANT* parameter, VARIANT* result) const noexcept {
    if (!object || !result) return E_POINTER;
    return kcom::Guard([&]() -> HRESULT {
        std::wstring method = name.value_or(L"");
        LPOLESTR names[] = {method.data()};
        DISPID dispid = DISPID_UNKNOWN;
        HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid);
        if (FAILED(hr)) return hr;

        // DISPPARAMS hold the arguments last first. A missing parameter goes as VT_EMPTY.
        kcom::CComVariant args[2];
        if (parameter) kcom::ThrowIfFailed(args[0].Copy(*parameter));
        args[1] = kcom::CComVariant(static_cast<IUnknown*>(id));
        DISPPARAMS params = {args, nullptr, 2, 0};
        // The callee writes the result without clearing it; an earlier handler may have left a value.
        ::VariantClear(result);
        return object->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, nullptr,
                              nullptr);
    });
}
