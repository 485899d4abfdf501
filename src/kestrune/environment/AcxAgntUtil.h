#pragma once
// The agent utility: the package's one source of facts about ActiveX controls in the application
// under test. Every fact is one hook request; the answers are kept in window properties and maps.
#include <windows.h>
#include <map>
#include <string>
#include <utility>
#include "com/ComBSTR.h"
#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "com/ComSafeArray.h"
#include "host/ObjectRackClientImpl.h"
#include "contracts/Pelluce.h"
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
    STDMETHOD(GetCreateTime)(HWND window, LONG cookie, LONG* time) override;
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

    // The IDispatch marshalled into a reply stream; E_POINTER for a null stream.
    static HRESULT UnmarshalDispatchFromStream(IStream* stream, IDispatch** out) noexcept;
    // x and y as the cookie field carries them.
    static LONG PackPoint(short x, short y) noexcept;

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

    // One request: the record goes out and comes back holding the reply. Negative: not sent.
    long Send(const wchar_t* name, HWND target, CAcxParamHelper& params);
    // A request about one control: the record is addressed to the window and cookie as it goes.
    long Send(const wchar_t* name, HWND window, LONG cookie, CAcxParamHelper& params);
    bool IsExcludedFromProbe(HWND window) const;
    bool KeepsNegativeUncached(HWND window) const;
    HRESULT LoadSkipCacheClasses();
    LONG SkipCacheValue(const wchar_t* className) const;

    static WindowFacts ReadWindowFacts(HWND window);
    static void WriteWindowFacts(HWND window, const std::wstring& progId, const std::wstring& userType);
    static void StoreWindowValue(HWND window, HANDLE value);
    static void RemoveWindowValue(HWND window);

    // Request bodies without the caches.
    HRESULT RequestDispatch(const wchar_t* name, HWND window, LONG cookie, IDispatch** out, HRESULT failure);
    HRESULT RequestPropertyValue(const wchar_t* name, HWND window, LONG cookie, BSTR property, VARIANT* value);
    HRESULT RequestText(const wchar_t* name, HWND window, LONG cookie, BSTR* out);
    // A windowless control's text, asked once per window and cookie and kept in the given table.
    HRESULT KeptWlsText(std::map<WlsKey, kcom::CComBSTR>& kept, const wchar_t* name, HWND window, LONG cookie,
                        BSTR* out);
    HRESULT RequestWlsSize(HWND window, LONG cookie, RECT* rect);
    HRESULT RequestWlsVisible(HWND window, LONG cookie, BOOL* visible);
    HRESULT RequestCookies(HWND container, SAFEARRAY** cookies);
    HRESULT RequestInvoke(const wchar_t* name, HWND window, VARIANT& b, SAFEARRAY** args, VARIANT* result);

    UINT carrier_ = 0;
    kcom::CComPtr<IOutputChannel> channel_;
    LONG cacheEnabled_ = 0;
    std::map<WlsKey, kcom::CComBSTR> wlsProgIds_;
    std::map<WlsKey, kcom::CComBSTR> wlsUserTypes_;
    std::map<WlsKey, WlsState> wlsStates_;
    std::map<HWND, kcom::CComSafeArray> cookieLists_;
    std::map<std::wstring, LONG> skipCacheClasses_;
};
