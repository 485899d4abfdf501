#pragma once
// The ActiveX test object's IDispatch with its two internal slots after the four of IDispatch.
// It has no IID: custom support reaches the slots by casting the object's IDispatch pointer.
#include <windows.h>
#include <oaidl.h>

struct IMultiDispatch : public IDispatch {
    // Adds a source of the merged interface; the default dispatch interface becomes source 0.
    STDMETHOD(AddDispatch)(IDispatch* source) = 0;
    // The default dispatch interface, add-ref'd.
    STDMETHOD(GetDefaultDispatch)(IDispatch** out) = 0;
};
