#pragma once
// What a property record asks of the test object that owns it.
#include <windows.h>
#include <oaidl.h>

#include "host.h"

class IPropertyOwner {
public:
    // The host rack, AddRef'd, or null with S_OK when none is set.
    virtual HRESULT GetRack(IObjectRack** rack) = 0;
    // The owner's own IDispatch, not AddRef'd; may be null.
    virtual IDispatch* GetOwnerDispatch() = 0;
    virtual HRESULT GetTestObjectClass(BSTR* name) = 0;
    virtual HRESULT GetGenTypeName(BSTR* name) = 0;
    virtual HRESULT GetLogicalNameForReport(BSTR* name) = 0;

protected:
    ~IPropertyOwner() = default;
};
