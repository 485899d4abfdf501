#pragma once
// Drag-and-drop recording of a test object that holds a standard window object: the inner
// object's.
#include <windows.h>
#include "activex/forwarding/InnerCall.h"
#include "kestrune.h"

template <class T>
class IDragDropRecordImpl : public IDragDropRecord {
public:
    STDMETHOD(RecordDrag)(long x, long y, long button) override {
        return CallInner<IDragDropRecord>(InnerOf<T>(this), [&](IDragDropRecord* i) { return i->RecordDrag(x, y, button); });
    }
    STDMETHOD(RecordDrop)(long x, long y, long button) override {
        return CallInner<IDragDropRecord>(InnerOf<T>(this), [&](IDragDropRecord* i) { return i->RecordDrop(x, y, button); });
    }
};
