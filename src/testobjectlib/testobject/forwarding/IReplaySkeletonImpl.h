#pragma once
// IReplaySkeleton of a test object. Plain methods forward to the operation of their name. Hook
// methods first read the running step's method flags; the delegate bits of a hook let the
// delegate replay skeleton run the same method, and its default bits (the delegate bits shifted
// right by 16) then let the test object's own operation run, whose result wins.
#include <windows.h>
#include "com/ComPtr.h"
#include "kestrune.h"
#include "testobject/forwarding/Forwarding.h"

template <class T>
class IReplaySkeletonImpl : public IReplaySkeleton {
public:
    STDMETHOD(GetStepTimes)(ULONG* timeout, ULONG* delay) override { KOR_FORWARD(GetStepTimes, timeout, delay); }
    STDMETHOD(BeginReplayStep)(VARIANT context) override { KOR_FORWARD(BeginReplayStep, context); }
    STDMETHOD(EndReplayStep)() override { KOR_FORWARD(EndReplayStep); }
    STDMETHOD(GetInnerReplaySkeleton)(IReplaySkeleton** inner) override { KOR_FORWARD(GetInnerReplaySkeleton, inner); }
    STDMETHOD(BeforeReplayAttempts)() override {
        return RunHook(0x10000, [](IReplaySkeleton* d) { return d->BeforeReplayAttempts(); },
                       [](CComTestObject* o) { return o->BeforeReplayAttempts(); });
    }
    STDMETHOD(GetMethodInfoTable)() override { KOR_FORWARD(GetMethodInfoTable); }
    STDMETHOD(GetReplayMethodFlags)(ULONG* flags) override { KOR_FORWARD(GetReplayMethodFlags, flags); }
    // Both bits of each pair are needed.
    STDMETHOD(BeginReplayAttempt)(QueryIdInfo* context) override {
        return RunHook(0x50000, [&](IReplaySkeleton* d) { return d->BeginReplayAttempt(context); },
                       [&](CComTestObject* o) { return o->BeginReplayAttempt(context); });
    }
    // The delegate's object is handed out only when the default does not run after it (which
    // would overwrite it and leak it).
    STDMETHOD(ReplayFindObject)(QueryIdInfo* context, IUnknown** object) override {
        kcom::CComPtr<IUnknown> found;
        bool defaultRan = false;
        const HRESULT hr = RunHook(
            0x40000, [&](IReplaySkeleton* d) { return d->ReplayFindObject(context, object ? found.Put() : nullptr); },
            [&](CComTestObject* o) {
                defaultRan = true;
                return o->ReplayFindObject(context, object);
            });
        if (!defaultRan && object && found) *object = found.Detach();
        return hr;
    }
    STDMETHOD(SetRuntimeId)(IUnknown* object) override { KOR_FORWARD(SetRuntimeId, object); }
    STDMETHOD(AfterObjectFound)() override {
        return RunHook(0x80000, [](IReplaySkeleton* d) { return d->AfterObjectFound(); },
                       [](CComTestObject* o) { return o->AfterObjectFound(); });
    }
    STDMETHOD(BeforeActionSecond)() override {
        return RunHook(0x100000, [](IReplaySkeleton* d) { return d->BeforeActionSecond(); },
                       [](CComTestObject* o) { return o->BeforeActionSecond(); });
    }
    STDMETHOD(BeforeActionFirst)() override {
        return RunHook(0x200000, [](IReplaySkeleton* d) { return d->BeforeActionFirst(); },
                       [](CComTestObject* o) { return o->BeforeActionFirst(); });
    }
    STDMETHOD(WaitVisible)() override {
        return RunHook(0x400000, [](IReplaySkeleton* d) { return d->WaitVisible(); },
                       [](CComTestObject* o) { return o->WaitVisible(); });
    }
    STDMETHOD(WaitEnabled)() override {
        return RunHook(0x800000, [](IReplaySkeleton* d) { return d->WaitEnabled(); },
                       [](CComTestObject* o) { return o->WaitEnabled(); });
    }
    STDMETHOD(AfterReplayAction)() override {
        return RunHook(0x20000, [](IReplaySkeleton* d) { return d->AfterReplayAction(); },
                       [](CComTestObject* o) { return o->AfterReplayAction(); });
    }
    STDMETHOD(ReportReplayArguments)() override {
        return RunHook(0x1000000, [](IReplaySkeleton* d) { return d->ReportReplayArguments(); },
                       [](CComTestObject* o) { return o->ReportReplayArguments(); });
    }

private:
    // A failed flag read is the answer. Without the default bits the answer is the delegate's,
    // the failure to get the delegate, or the flag read's own success code.
    template <class Delegate, class Default>
    HRESULT RunHook(ULONG delegateBits, Delegate&& callDelegate, Default&& callDefault) noexcept {
        return TestObjectGuard([&]() -> HRESULT {
            ULONG flags = 0xFFFFFFFF;
            HRESULT hr = this->GetReplayMethodFlags(&flags);
            if (FAILED(hr)) return hr;
            if ((flags & delegateBits) == delegateBits) {
                kcom::CComPtr<IReplaySkeleton> delegate;
                const HRESULT got = this->GetInnerReplaySkeleton(delegate.Put());
                if (FAILED(got))
                    hr = got;
                else if (delegate)
                    hr = callDelegate(delegate.get());
            }
            const ULONG defaultBits = delegateBits >> 16;
            if ((flags & defaultBits) == defaultBits) return callDefault(TestObjectOf<T>(this));
            return hr;
        });
    }
};
