#pragma once
// IStdCaptureTextReplay of a test object that holds a standard window object: finding and
// clicking text are the inner object's; T supplies the visible text.
#include <windows.h>
#include "activex/dispatch/IReplayDispatchImpl.h"
#include "activex/forwarding/InnerCall.h"
#include "kestrune.h"

template <class T>
class IStdCaptureTextReplayImpl : public IReplayDispatchImpl<T, IStdCaptureTextReplay, &IID_IStdCaptureTextReplay> {
public:
    STDMETHOD(do_GetTextLocation)(BSTR text, long* left, long* top, long* right, long* bottom,
                                  VARIANT_BOOL* found) override {
        return CallInner<IStdCaptureTextReplay>(InnerOf<T>(this), [&](IStdCaptureTextReplay* i) {
            return i->do_GetTextLocation(text, left, top, right, bottom, found);
        });
    }
    STDMETHOD(do_ClickOnText)(BSTR text, BUTTON button) override {
        return CallInner<IStdCaptureTextReplay>(InnerOf<T>(this),
                                                [&](IStdCaptureTextReplay* i) { return i->do_ClickOnText(text, button); });
    }
};
