#pragma once
// IStdReplay of a test object that holds a standard window object: typing, mouse moves,
// preparation and reporting are the inner object's; T supplies the clicks.
#include <windows.h>
#include "activex/forwarding/InnerCall.h"
#include "kestrune.h"

template <class T>
class IStdReplayImpl : public IStdReplay {
public:
    STDMETHOD(DoType)(BSTR keys) override {
        return CallInner<IStdReplay>(InnerOf<T>(this), [&](IStdReplay* i) { return i->DoType(keys); });
    }
    STDMETHOD(DoMouseMove)(int x, int y) override {
        return CallInner<IStdReplay>(InnerOf<T>(this), [&](IStdReplay* i) { return i->DoMouseMove(x, y); });
    }
    STDMETHOD(PrepareObject)(long moveToTop, long waitEnabled, long waitVisible, long checkIconic) override {
        return CallInner<IStdReplay>(InnerOf<T>(this), [&](IStdReplay* i) {
            return i->PrepareObject(moveToTop, waitEnabled, waitVisible, checkIconic);
        });
    }
    STDMETHOD(EnableReport)(long enable) override {
        return CallInner<IStdReplay>(InnerOf<T>(this), [&](IStdReplay* i) { return i->EnableReport(enable); });
    }
};
