#pragma once
// The agent utility: the package's one source of facts about ActiveX controls in the application
// under test. Every fact is one hook request through the hook client; the answers are kept in
// window properties and maps.
#include <windows.h>
#include <map>
#include <string>
#include <utility>
#include "com/ComBSTR.h"
#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "com/ComSafeArray.h"
#include "host/ObjectRackClientImpl.h"
#include "hookclient/AcxHookClient.h"
#include "host.h"
#include "kestrune.h"

class CAcxAgntUtil : public kcom::CComObjectRootEx<kcom::CComMultiThreadModel>,
                     public IAcxAgntUtil2,
                     public IKorAcxDriver,
                     public IObjectRackClientImpl<CAcxAgntUtil> {
public:
    CAcxAgntUtil() = default;
    ~CAcxAgntUtil() override;

    BEGIN_COM_MAP(CAcxAgntUtil)
        COM_INTERFACE_ENTRY2(IUnknown, IAcxAgntUtil2)
        COM_INTERFACE_ENTRY(IAcxAgntUtil2)
        COM_INTERFACE_ENTRY2(IAcxAgntUtil, IAcxAgntUtil2)
        COM_INTERFACE_ENTRY(IKorAcxDriver)
        COM_INTERFACE_ENTRY(IObjectRackClient)
    END_COM_MAP()

    // IAcxAgntUtil
    STDMETHOD(IsAcxControl)(HWND window, LONG* isAcx) override;
    STDMETHOD(SetTestMode)(ACX_FLOW_EVENT event) override;
    STDMETHOD(ClearCachedInfo)(HWND window) override;
    STDMETHOD(AcxProgIDQuery)(HWND window, BSTR* progId) override;
    STDMETHOD(GetMarshalDisp)(HWND window, IDispatch** control) override;
    STDMETHOD(GetPropertyByHandle)(HWND window, BSTR name, VARIANT* value) override;
    STDMETHOD(GetAllPropertiesNameByHandle)(HWND window, VARIANT* names) override;
    // IAcxAgntUtil2
    STDMETHOD(GetWlsPropertyByHandle)(HWND window, LONG cookie, BSTR name, VARIANT* value) override;
    STDMETHOD(GetWlsAllPropertiesNameByHandle)(HWND window, LONG cookie, VARIANT* names) override;
    STDMETHOD(GetWlsCookiesFromContainer)(HWND container, SAFEARRAY** cookies) override;
    STDMETHOD(WlsProgIDQuery)(HWND window, LONG cookie, BSTR* progId) override;
    STDMETHOD(GetWlsSize)(HWND window, LONG cookie, RECT* rect) override;
    STDMETHOD(GetWlsMarshalDisp)(HWND window, LONG cookie, IDispatch** control) override;
    STDMETHOD(GetCookieFromPoint)(HWND window, short x, short y, HWND* control, LONG* cookie) override;
    STDMETHOD(GetInprocUnknown)(HWND window, LONG cookie, LONG* value) override;
    STDMETHOD(GetCreateTime)(HWND window, LONG* time, LONG cookie) override;
    STDMETHOD(GetCookieFromHandle)(HWND window, LONG* cookie) override;
    STDMETHOD(IsWlsVisible)(HWND window, LONG cookie, BOOL* visible) override;
    STDMETHOD(AcxUserTypeQuery)(HWND window, BSTR* userType) override;
    STDMETHOD(WlsUserTypeQuery)(HWND window, LONG cookie, BSTR* userType) override;
    STDMETHOD(GetListener)(HWND window, LONG cookie, IDispatch** listener) override;
    STDMETHOD(SetAgentData)(HWND window, VARIANT data) override;
    STDMETHOD(GetPropertiesByHandle)(HWND window, LONG cookie, SAFEARRAY* table) override;
    STDMETHOD(ClearWlsCachedInfo)(HWND window, LONG cookie) override;
    STDMETHOD(EnableCache)(LONG enable) override;
    STDMETHOD(ClearAllWindowProps)() override;
    STDMETHOD(IsCacheEnabled)(LONG* enabled) override;
    STDMETHOD(GetContainers)(HWND window, SAFEARRAY** containers) override;
    STDMETHOD(Reserved1)() override { return E_NOTIMPL; }
    STDMETHOD(Reserved2)() override { return E_NOTIMPL; }
    STDMETHOD(Reserved3)() override { return E_NOTIMPL; }
    STDMETHOD(Reserved4)() override { return E_NOTIMPL; }
    STDMETHOD(Reserved5)() override { return E_NOTIMPL; }
    STDMETHOD(Reserved6)() override { return E_NOTIMPL; }
    virtual HRESULT ResetCaches();
    // IKorAcxDriver (GetPropertyByHandle above serves both interfaces)
    STDMETHOD(SetPropertyByHandle)(HWND window, BSTR name, VARIANT value) override;
    STDMETHOD(InvokeMethodByHandle)(HWND window, BSTR method, SAFEARRAY** args, VARIANT* result) override;
    STDMETHOD(InvokeUserMessage)(HWND window, BSTR first, BSTR second, SAFEARRAY** args, VARIANT* result) override;
    // IObjectRackClient
    STDMETHOD(SetRack)(IObjectRack* rack) override;

private:
    using WlsKey = std::pair<HWND, LONG>;
    struct WlsState {
        LONG notVisible = 2;  // 0 visible, 1 not visible, 2 unknown
        RECT rect{};
        bool rectValid = false;
    };
    // What the window property says: nothing, not ActiveX, or ActiveX with what is known.
    struct WindowFacts {
        bool cached = false;
        bool isAcx = false;
        std::wstring progId;
        std::wstring userType;
    };

    bool KeepsNegativeUncached(HWND window) const;
    HRESULT LoadSkipCacheClasses();
    LONG SkipCacheValue(const wchar_t* className) const;

    static WindowFacts ReadWindowFacts(HWND window);
    static void WriteWindowFacts(HWND window, const std::wstring& progId, const std::wstring& userType);
    static void StoreWindowValue(HWND window, HANDLE value);
    static void RemoveWindowValue(HWND window);

    // A windowless control's text, asked once per window and cookie and kept in the given table.
    using TextRequest = HRESULT (CAcxHookClient::*)(HWND, LONG, BSTR*) noexcept;
    HRESULT KeptWlsText(std::map<WlsKey, kcom::CComBSTR>& kept, TextRequest request, HWND window, LONG cookie,
                        BSTR* out);

    CAcxHookClient hook_;
    LONG cacheEnabled_ = 0;
    std::map<WlsKey, kcom::CComBSTR> wlsProgIds_;
    std::map<WlsKey, kcom::CComBSTR> wlsUserTypes_;
    std::map<WlsKey, WlsState> wlsStates_;
    std::map<HWND, kcom::CComSafeArray> cookieLists_;
    std::map<std::wstring, LONG> skipCacheClasses_;
};
