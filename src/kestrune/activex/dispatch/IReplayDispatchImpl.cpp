#include "activex/dispatch/IReplayDispatchImpl.h"
#include <cwchar>
#include <optional>
#include "activex/dispatch/DispatchError.h"
#include "testobject/clock/TestObjectClock.h"
#include "testobject/replay/ReplaySkeletonContext.h"

kcom::CComBSTR CReplayDispatch::MethodName(ITypeInfo* names, DISPID id) {
    kcom::CComBSTR name;
    if (!names || FAILED(names->GetDocumentation(id, name.Put(), nullptr, nullptr, nullptr)) || name.Length() == 0)
        return kcom::CComBSTR();
    // The replay interfaces name their actions "do_Click" and so on; the step is "Click".
    if (std::wcsncmp(name, L"do_", 3) == 0) return kcom::CComBSTR(name.c_str() + 3);
    return name;
}

HRESULT CReplayDispatch::Run(CComTestObject& owner, const IID& iid, ITypeInfo* names, void* target,
                             ReplayOperation operation, DISPID id, REFIID riid, LCID lcid, WORD flags,
                             DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) noexcept {
    std::optional<CReplaySkeletonContext> step;
    HRESULT hr = kcom::Guard([&] {
        const kcom::CComBSTR method = MethodName(names, id);
        step.emplace(&iid, id, method.IsNull() ? nullptr : method.c_str(), params,
                     CTestObjectClock::Current().TickCount());
        return S_OK;
    });
    if (FAILED(hr)) return hr;

    VARIANT context;
    ::VariantInit(&context);
    context.vt = VT_BYREF;
    context.byref = &*step;
    hr = CDispatchError::Guard(nullptr, [&] { return owner.BeginReplayStep(context); });
    if (FAILED(hr)) return hr;

    // The step's replay error is raised again in the retry loop's own frames and ends here, after
    // the step is closed, so that closing cannot disturb the error information it carries.
    CKorException* raised = nullptr;
    // The member's failure comes back from oleaut32 in an EXCEPINFO; without the caller's the
    // step reads it from one of its own.
    EXCEPINFO own{};
    hr = CDispatchError::Catch(
        [&] {
            return owner.ReplayWithRetry(id, riid, lcid, flags, params, result, excepInfo ? excepInfo : &own, argErr,
                                         target, operation);
        },
        raised);
    ::SysFreeString(own.bstrSource);
    ::SysFreeString(own.bstrDescription);
    ::SysFreeString(own.bstrHelpFile);
    const HRESULT end = CDispatchError::Guard(nullptr, [&] { return owner.EndReplayStep(); });
    if (raised) return CDispatchError::Answer(raised, excepInfo);
    if (FAILED(end) && SUCCEEDED(hr)) hr = E_FAIL;
    return hr;
}
