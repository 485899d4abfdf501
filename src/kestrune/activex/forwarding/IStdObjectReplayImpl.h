#pragma once
// IStdObjectReplay of a test object that holds a standard window object: typing, mouse moves and
// the window handle are the inner object's; T supplies the clicks, drag and drop. Each call
// through the dual's IDispatch is a replay step.
#include <windows.h>
#include "activex/dispatch/IReplayDispatchImpl.h"
#include "activex/forwarding/InnerCall.h"
#include "kestrune.h"

template <class T>
class IStdObjectReplayImpl : public IReplayDispatchImpl<T, IStdObjectReplay, &IID_IStdObjectReplay> {
public:
    STDMETHOD(do_Type)(BSTR keys) override {
        return CallInner<IStdObjectReplay>(InnerOf<T>(this), [&](IStdObjectReplay* i) { return i->do_Type(keys); });
    }
    STDMETHOD(do_MouseMove)(int x, int y) override {
        return CallInner<IStdObjectReplay>(InnerOf<T>(this), [&](IStdObjectReplay* i) { return i->do_MouseMove(x, y); });
    }
    STDMETHOD(do_hWnd)(long* window) override {
        return CallInner<IStdObjectReplay>(InnerOf<T>(this), [&](IStdObjectReplay* i) { return i->do_hWnd(window); });
    }
};
