#pragma once
// A test object for replay steps: its method table and the answers of its step hooks are
// programmed, and the hooks note their calls in order. Beside it, the replay dispatcher's part of
// a step (begin, attempts, end on every path) and an operation whose runs are scripted.
#include <windows.h>
#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>
#include "TestHost.h"
#include "errors/KorException.h"
#include "testobject/clock/TestObjectClock.h"
#include "testobject/forwarding/TestableObject.h"
#include "testobject/replay/ReplaySkeletonContext.h"

// The default bits of every step hook: the hooks run the test object's own operations.
inline constexpr long kRunOwnHooks = 0x1FF;

// Overriding a step operation also answers the interface method of the same name: the hooks
// below run whatever the method flags say.
class CStepTestObject : public CTestableObject {
public:
    using CComTestObject::m_currentStep;
    using CComTestObject::m_inner;
    using CComTestObject::m_methodInfoTable;

    std::vector<std::wstring> calls;
    std::vector<std::pair<std::wstring, long>> methods;  // the method table: name, flags
    std::map<std::wstring, HRESULT> answers;             // what a noted hook answers; S_OK otherwise
    std::optional<std::pair<DWORD, DWORD>> stepTimes;    // answered as a parent object would
    std::function<void(const wchar_t*)> onNote;

    HRESULT Note(const wchar_t* name) {
        calls.emplace_back(name);
        if (onNote) onNote(name);
        auto it = answers.find(name);
        return it == answers.end() ? S_OK : it->second;
    }
    int Count(const wchar_t* name) const { return static_cast<int>(std::count(calls.begin(), calls.end(), name)); }

    HRESULT STDMETHODCALLTYPE GetMethodInfoTable() override {
        if (methods.empty()) return E_NOTIMPL;
        m_methodInfoTable.Create(static_cast<ULONG>(methods.size()), 2, VT_VARIANT);
        for (size_t r = 0; r < methods.size(); ++r) {
            kcom::CComVariant name(methods[r].first.c_str()), flags(methods[r].second);
            m_methodInfoTable.PutElement(&name, static_cast<LONG>(r), 0);
            m_methodInfoTable.PutElement(&flags, static_cast<LONG>(r), 1);
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetStepTimes(DWORD* timeout, DWORD* delay) override {
        if (!stepTimes) return CComTestObject::GetStepTimes(timeout, delay);
        *timeout = stepTimes->first;
        *delay = stepTimes->second;
        return S_OK;
    }
#define KOR_NOTED_HOOK(op, call, ...)                     \
    HRESULT STDMETHODCALLTYPE op(__VA_ARGS__) override {  \
        const HRESULT hr = Note(L"" #op);                 \
        return FAILED(hr) ? hr : call;                    \
    }
    KOR_NOTED_HOOK(BeforeReplayAttempts, S_OK)
    KOR_NOTED_HOOK(BeginReplayAttempt, S_OK, QueryIdInfo*)
    KOR_NOTED_HOOK(ReplayFindObject, CComTestObject::ReplayFindObject(context, object), QueryIdInfo* context,
                   IUnknown** object)
    KOR_NOTED_HOOK(SetRuntimeId, S_OK, IUnknown*)
    KOR_NOTED_HOOK(AfterObjectFound, S_OK)
    KOR_NOTED_HOOK(BeforeActionFirst, S_OK)
    KOR_NOTED_HOOK(BeforeActionSecond, S_OK)
    KOR_NOTED_HOOK(WaitVisible, S_OK)
    KOR_NOTED_HOOK(WaitEnabled, S_OK)
    KOR_NOTED_HOOK(AfterReplayAction, S_OK)
    KOR_NOTED_HOOK(ReportReplayArguments, CComTestObject::ReportReplayArguments())
    KOR_NOTED_HOOK(PrepareScriptInfo, S_OK)
    KOR_NOTED_HOOK(GetFlagsChangeSummary, S_OK)
#undef KOR_NOTED_HOOK
};

using StepObject = standin::Holder<CStepTestObject>;

inline StepObject NewStepObject(standin::CTestHost& host) {
    StepObject object = StepObject::New();
    object.as<IObjectRackClient>()->SetRack(host.Rack());
    return object;
}

// An operation whose runs are scripted: each run notes itself and answers result.
struct ScriptedOperation {
    CStepTestObject* object = nullptr;
    HRESULT result = S_OK;
    SCODE excepScode = 0;  // put into the EXCEPINFO, when one is given
    std::function<void(CReplaySkeletonContext&)> during;
    int runs = 0;

    static HRESULT Run(void* target, DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO* excepInfo, UINT*) {
        auto* self = static_cast<ScriptedOperation*>(target);
        ++self->runs;
        self->object->calls.emplace_back(L"operation");
        if (self->during) self->during(*self->object->m_currentStep);
        if (excepInfo && self->excepScode) excepInfo->scode = self->excepScode;
        return self->result;
    }
};

// What one step left: its answer, and the replay error that came out of the attempts.
struct StepOutcome {
    HRESULT hr = S_OK;
    bool raised = false;
    DWORD eventId = 0;
    kcom::CComPtr<IErrorInfo> errorInfo;
};

// The dispatcher's part of a step: begin, the attempts, and the end on every path.
inline StepOutcome RunStep(CStepTestObject* object, void* target, ReplayOperation operation,
                           DISPPARAMS* params = nullptr, EXCEPINFO* excepInfo = nullptr) {
    StepOutcome out;
    DISPPARAMS none{};
    params = params ? params : &none;
    CReplaySkeletonContext step(&IID_IDispatch, 1, L"Click", params, CTestObjectClock::Current().TickCount());
    VARIANT context;
    context.vt = VT_BYREF;
    context.byref = &step;
    CComTestObject& base = *object;  // the operations, not the interface methods of the same names
    out.hr = base.BeginReplayStep(context);
    if (FAILED(out.hr)) return out;
    try {
        out.hr = base.ReplayWithRetry(1, IID_NULL, 0, DISPATCH_METHOD, params, nullptr, excepInfo, nullptr, target,
                                      operation);
    } catch (CKorException* e) {
        out = {e->Error(), true, e->Extra(), e->ErrorInfo()};
        delete e;
    }
    base.EndReplayStep();
    return out;
}
