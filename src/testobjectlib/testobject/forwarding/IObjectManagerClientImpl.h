#pragma once
// IObjectManagerClient of a test object: the object manager's cookie and path are kept here, the
// collection name is the test object's.
#include <windows.h>
#include "com/ComBSTR.h"
#include "kestrune.h"
#include "testobject/forwarding/Forwarding.h"

template <class T>
class IObjectManagerClientImpl : public IObjectManagerClient {
public:
    // Nothing to write into is no failure.
    STDMETHOD(get_Cookie)(ULONG* cookie) override {
        if (cookie) *cookie = m_cookie;
        return S_OK;
    }
    STDMETHOD(put_Cookie)(ULONG cookie) override {
        m_cookie = cookie;
        return S_OK;
    }
    STDMETHOD(get_CollectionName)(BSTR* name) override { KOR_FORWARD(get_CollectionName, name); }
    STDMETHOD(put_CollectionName)(BSTR name) override { KOR_FORWARD(put_CollectionName, name); }
    // E_FAIL when no path is kept or the copy cannot be made.
    STDMETHOD(get_FullPath)(BSTR* path) override {
        if (!path) return E_POINTER;
        m_fullPath.CopyTo(path);
        return *path ? S_OK : E_FAIL;
    }
    STDMETHOD(put_FullPath)(BSTR path) override {
        return TestObjectGuard([&]() -> HRESULT {
            m_fullPath = path ? kcom::CComBSTR(path, ::SysStringLen(path)) : kcom::CComBSTR();
            return S_OK;
        });
    }

private:
    ULONG m_cookie = 0;
    kcom::CComBSTR m_fullPath;
};
