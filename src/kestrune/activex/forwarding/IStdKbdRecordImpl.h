#pragma once
// Keyboard recording of a test object that holds a standard window object: all of it is the
// inner object's.
#include <windows.h>
#include "activex/forwarding/InnerCall.h"
#include "kestrune.h"

template <class T>
class IStdKbdRecordImpl : public IStdKbdRecord {
public:
    STDMETHOD(BeginKeyboardRecord)() override {
        return CallInner<IStdKbdRecord>(InnerOf<T>(this), [](IStdKbdRecord* i) { return i->BeginKeyboardRecord(); });
    }
    STDMETHOD(EndKeyboardRecord)() override {
        return CallInner<IStdKbdRecord>(InnerOf<T>(this), [](IStdKbdRecord* i) { return i->EndKeyboardRecord(); });
    }
    STDMETHOD(RecordKey)(UINT message, WPARAM wParam, LPARAM lParam) override {
        return CallInner<IStdKbdRecord>(InnerOf<T>(this),
                                        [&](IStdKbdRecord* i) { return i->RecordKey(message, wParam, lParam); });
    }
    STDMETHOD(FlushKeyboardRecord)() override {
        return CallInner<IStdKbdRecord>(InnerOf<T>(this), [](IStdKbdRecord* i) { return i->FlushKeyboardRecord(); });
    }
    STDMETHOD(ResetKeyboardRecord)() override {
        return CallInner<IStdKbdRecord>(InnerOf<T>(this), [](IStdKbdRecord* i) { return i->ResetKeyboardRecord(); });
    }
};
