#pragma once
// IKorActiveXBaseReplay of the ActiveX test object: each method reaches the operation of T that
// carries it. Each call through the dual's IDispatch is a replay step.
#include <windows.h>
#include "activex/dispatch/IReplayDispatchImpl.h"
#include "kestrune.h"
#include "testobject/forwarding/Forwarding.h"

template <class T>
class IKorActiveXBaseReplayImpl : public IReplayDispatchImpl<T, IKorActiveXBaseReplay, &IID_IKorActiveXBaseReplay> {
public:
    STDMETHOD(get_Object)(IDispatch** control) override {
        if (!control) return E_POINTER;
        *control = nullptr;
        return TestObjectGuard([&] { return Owner()->GetLpDispatch(control); });
    }
    STDMETHOD(GetPropertyByName)(BSTR name, VARIANT* value) override {
        return TestObjectGuard([&] { return Owner()->GetControlProperty(name, value); });
    }
    STDMETHOD(MakeVisible)(long report) override {
        return TestObjectGuard([&] { return Owner()->MakeControlVisible(report != 0); });
    }
    STDMETHOD(FireEvent)(VARIANT eventName, SAFEARRAY* args) override {
        return TestObjectGuard([&] { return Owner()->FireControlEvent(eventName, args); });
    }
    // The output is not cleared first.
    STDMETHOD(GetObject)(IDispatch** control) override {
        return TestObjectGuard([&] { return Owner()->GetLpDispatch(control); });
    }
    STDMETHOD(ReplayDoClick)(int x, int y, BUTTON button) override {
        return TestObjectGuard([&] { return Owner()->Click(x, y, static_cast<int>(button), 0); });
    }

private:
    T* Owner() noexcept { return static_cast<T*>(this); }
};
