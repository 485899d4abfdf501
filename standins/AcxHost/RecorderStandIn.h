#pragma once
// The host's recorder and the record manager's road for its records. The hook in the application
// under test sends each record of the application's input to this object's window (see
// QuillonStub.h, RECORD). The record goes to every factory registered here, and this object is
// their factory site: a test object that a factory hands over gets the same record at once.
#include <windows.h>
#include <vector>
#include "../common/CallLog.h"
#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "host.h"

namespace standin {

class CRecorderStandIn : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                         public ITestObjFactorySite,
                         public ITestObjFactorySite2 {
public:
    HRESULT FinalConstruct();
    void FinalRelease();

    BEGIN_COM_MAP(CRecorderStandIn)
        COM_INTERFACE_ENTRY(ITestObjFactorySite)
        COM_INTERFACE_ENTRY(ITestObjFactorySite2)
    END_COM_MAP()

    // Answers the parent set (S_FALSE without one).
    STDMETHOD(CreateTestObj)(IUnknown* object, IUnknown** parent) override;
    // Hands the record being delivered to the target, after giving it the record manager set.
    STDMETHOD(ReceiveRecord)(IKorDataTarget* target, KorClassDescriptor descriptor) override;

    // The window the hook sends records to.
    HWND Window() const noexcept { return window_; }
    // The factory gets the rack and this object as its site (held without references).
    HRESULT AddFactory(IUnknown* factory, IObjectRack* rack);
    void SetParent(IDispatch* parent) { parent_ = parent; }
    // The record manager that test objects handed over register their steps with.
    void SetRecordMgr(IKorDataTarget* recordMgr) { recordMgr_ = recordMgr; }
    // One line per record: "window <message>: factory <answer>[, object <status>]" or
    // "windowless <cookie> <message>: ...", messages in hex.
    CallLog& Log() noexcept { return log_; }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Deliver(ULONG_PTR kind, const void* data, DWORD size);

    HWND window_ = nullptr;
    std::vector<kcom::CComPtr<IKorDataTarget>> factories_;
    kcom::CComPtr<IDispatch> parent_;
    kcom::CComPtr<IKorDataTarget> recordMgr_;
    FORMATETC* format_ = nullptr;  // the record being delivered
    STGMEDIUM* medium_ = nullptr;
    std::wstring objectAnswer_;
    CallLog log_;
};

}  // namespace standin
