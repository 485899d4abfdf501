#pragma once
// A user's custom record and replay objects for one control class, as the host's settings name
// them by ProgID ("KorTest.CustRecord", "KorTest.CustReplay"). Both keep the helper their test
// object gives them, as real ones do, and record their calls.
//
// The recorder answers 0 (handled) for every message it is asked about and records the step
// "CustClick [x, y]" on a left button-up through the helper's call-backs; a test may change the
// answer. The replayer's members: Click(X, Y), which asks the helper for the control's window and
// reports the step, and Tell(), the window handle's result as text.
#include <windows.h>
#include <oaidl.h>
#include <string>
#include "../common/CallLog.h"
#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "host.h"

namespace standin {

inline constexpr wchar_t kCustRecordProgId[] = L"KorTest.CustRecord";
inline constexpr wchar_t kCustReplayProgId[] = L"KorTest.CustReplay";
inline constexpr CLSID kCustRecordClsid = {0x6A1F3C52, 0x8B7E, 0x4D19, {0xA3, 0x5C, 0x2E, 0x91, 0x47, 0xD0, 0x6B, 0x13}};
inline constexpr CLSID kCustReplayClsid = {0x6A1F3C53, 0x8B7E, 0x4D19, {0xA3, 0x5C, 0x2E, 0x91, 0x47, 0xD0, 0x6B, 0x13}};

class CCustomObjectBase : public ICustomSupportObject {
public:
    STDMETHOD(SetContainer)(IKorCustomSupportContainer* container) override;
    STDMETHOD(GetRecordFilterMode)(long* mode) override;

    IKorCustomSupportContainer* Container() const noexcept { return container_; }
    // The helper's call-backs, through the container's QueryTestObject.
    kcom::CComPtr<IKorUtilities> Utilities() const;
    CallLog& Log() noexcept { return log_; }
    // The filter mode the next objects made ask for.
    static long& NextFilterMode() noexcept;

protected:
    kcom::CComPtr<IKorCustomSupportContainer> container_;
    CallLog log_;
};

class CCustomRecorderStandIn : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                               public ICustomRecorder,
                               public CCustomObjectBase {
public:
    BEGIN_COM_MAP(CCustomRecorderStandIn)
        COM_INTERFACE_ENTRY(ICustomRecorder)
        COM_INTERFACE_ENTRY(ICustomSupportObject)
    END_COM_MAP()
    static HRESULT Create(IUnknown* outer, REFIID iid, void** out);
    // The last object made, add-ref'd; null when none lives.
    static kcom::CComPtr<ICustomRecorder> Last();
    ~CCustomRecorderStandIn() override;

    STDMETHOD(OnRecordMessage)(HWND window, unsigned short message, WPARAM wParam, LPARAM lParam,
                               long* answer) override;
    // The answer of every recorder from now on.
    static long& Answer() noexcept;
};

class CCustomReplayerStandIn : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                               public ICustomReplayer,
                               public CCustomObjectBase,
                               public IDispatch {
public:
    BEGIN_COM_MAP(CCustomReplayerStandIn)
        COM_INTERFACE_ENTRY(ICustomReplayer)
        COM_INTERFACE_ENTRY(ICustomSupportObject)
        COM_INTERFACE_ENTRY(IDispatch)
    END_COM_MAP()
    static HRESULT Create(IUnknown* outer, REFIID iid, void** out);
    static kcom::CComPtr<ICustomReplayer> Last();
    ~CCustomReplayerStandIn() override;
    HRESULT FinalConstruct();

    STDMETHOD(GetTypeInfoCount)(UINT* count) override;
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo** out) override;
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    STDMETHOD(Invoke)(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                      UINT*) override;

private:
    kcom::CComPtr<ITypeInfo> info_;
};

// The stand-in object behind an interface one of the two classes handed out.
CCustomObjectBase* CustomObjectOf(IUnknown* object) noexcept;

}  // namespace standin
