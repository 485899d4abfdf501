#pragma once
// Stand-ins for the host's side of a test-object factory: the factory site, which answers a
// parent and takes kept records, and the component that gathers run-time values of several
// test objects. Each records the calls it receives.
#include <windows.h>
#include <oleauto.h>
#include <string>
#include <vector>
#include "../common/CallLog.h"
#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "com/ComSafeArray.h"
#include "host.h"

namespace standin {

class CFactorySiteStandIn : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                            public ITestObjFactorySite,
                            public ITestObjFactorySite2 {
public:
    BEGIN_COM_MAP(CFactorySiteStandIn)
        COM_INTERFACE_ENTRY(ITestObjFactorySite)
        if (!handsOver_ && ::IsEqualIID(iid, __uuidof(ITestObjFactorySite2))) return E_NOINTERFACE;
        COM_INTERFACE_ENTRY(ITestObjFactorySite2)
    END_COM_MAP()

    // Logs "CreateTestObj"; answers the parent set, with the result set.
    STDMETHOD(CreateTestObj)(IUnknown* object, IUnknown** parent) override;
    // Logs "ReceiveRecord(<name>,<value>,<mask>,<extra>)" and keeps the target.
    STDMETHOD(ReceiveRecord)(IKorDataTarget* target, KorClassDescriptor descriptor) override;

    void SetParent(IUnknown* parent, HRESULT hr = S_OK) { parent_ = parent; parentResult_ = hr; }
    void SetReceiveResult(HRESULT hr) noexcept { receiveResult_ = hr; }
    // false: the site does not answer its hand-over interface.
    void SetHandsOver(bool answers) noexcept { handsOver_ = answers; }
    const std::vector<kcom::CComPtr<IKorDataTarget>>& Received() const noexcept { return received_; }
    CallLog& Log() noexcept { return log_; }

private:
    kcom::CComPtr<IUnknown> parent_;
    HRESULT parentResult_ = S_OK;
    HRESULT receiveResult_ = S_OK;
    bool handsOver_ = true;
    std::vector<kcom::CComPtr<IKorDataTarget>> received_;
    CallLog log_;
};

class CRuntimeValuesStandIn : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                              public IKorRuntimeValues {
public:
    BEGIN_COM_MAP(CRuntimeValuesStandIn)
        COM_INTERFACE_ENTRY(IKorRuntimeValues)
    END_COM_MAP()

    // Logs "BuildTable(<objects>,<arg>)"; the table names the properties set, one row per object.
    STDMETHOD(BuildTable)(SAFEARRAY* objects, long arg, SAFEARRAY** table) override;
    // Logs "TakeTable" and keeps a copy.
    STDMETHOD(TakeTable)(SAFEARRAY* table) override;

    void SetNames(std::vector<std::wstring> names) { names_ = std::move(names); }
    SAFEARRAY* Taken() const noexcept { return taken_; }
    CallLog& Log() noexcept { return log_; }

private:
    std::vector<std::wstring> names_;
    kcom::CComSafeArray taken_;
    CallLog log_;
};

}  // namespace standin
