#include "FactorySiteStandIn.h"
#include "HostStandIn.h"
#include "com/ComError.h"
#include "com/ComVariant.h"

namespace standin {

STDMETHODIMP CFactorySiteStandIn::CreateTestObj(IUnknown* object, IUnknown** parent) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(std::wstring(L"CreateTestObj(") + (object ? L"object" : L"(null)") + L")");
        if (!parent) return E_POINTER;
        return SUCCEEDED(parent_.CopyTo(parent)) ? parentResult_ : E_FAIL;
    });
}

STDMETHODIMP CFactorySiteStandIn::ReceiveRecord(IKorDataTarget* target, KorClassDescriptor descriptor) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"ReceiveRecord(" + std::wstring(descriptor.name ? descriptor.name : L"(null)") + L"," +
                 std::to_wstring(descriptor.value) + L"," + std::to_wstring(descriptor.mask) + L"," +
                 std::to_wstring(descriptor.extra) + L")");
        received_.emplace_back(target);
        return receiveResult_;
    });
}

STDMETHODIMP CRuntimeValuesStandIn::BuildTable(SAFEARRAY* objects, long arg, SAFEARRAY** table) {
    return kcom::Guard([&]() -> HRESULT {
        const LONG count = objects && ::SafeArrayGetDim(objects) == 2 ? static_cast<LONG>(objects->rgsabound[0].cElements) : 0;
        log_.Add(L"BuildTable(" + std::to_wstring(count) + L"," + std::to_wstring(arg) + L")");
        if (!table) return E_POINTER;
        *table = nullptr;
        kcom::CComSafeArray built;
        kcom::ThrowIfFailed(NewTable(count + 1, static_cast<LONG>(names_.size() + 2), built));
        for (size_t i = 0; i < names_.size(); ++i)
            kcom::ThrowIfFailed(PutCell(built, static_cast<LONG>(i + 2), 0, kcom::CComVariant(names_[i].c_str())));
        for (LONG row = 0; row < count; ++row) {
            LONG index[2] = {0, row};
            kcom::CComVariant object;
            kcom::ThrowIfFailed(::SafeArrayGetElement(objects, index, object.Put()));
            kcom::ThrowIfFailed(PutCell(built, 0, row + 1, object));
        }
        *table = built.Detach();
        return S_OK;
    });
}

STDMETHODIMP CRuntimeValuesStandIn::TakeTable(SAFEARRAY* table) {
    return kcom::Guard([&]() -> HRESULT {
        log_.Add(L"TakeTable()");
        SAFEARRAY* copy = nullptr;
        if (table) kcom::ThrowIfFailed(::SafeArrayCopy(table, &copy));
        taken_.Reset(copy);
        return S_OK;
    });
}

}  // namespace standin
