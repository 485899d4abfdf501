#pragma once
// A test control of the application under test: a COM object with the dual IKorTestControl, its
// class information, one connection point for its events and, when windowed, IOleWindow. A
// windowless control has no window: its container paints it and hands it the input that falls
// inside its rectangle.
#include <windows.h>
#include <ocidl.h>
#include <oleidl.h>
#include <map>
#include <string>
#include <vector>
#include "AutControls.h"
#include "HookScenario.h"
#include "com/ComBSTR.h"
#include "com/ComObject.h"
#include "com/ComPtr.h"

class CTestControl : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                     public IKorTestControl,
                     public IProvideClassInfo2,
                     public IConnectionPointContainer,
                     public IConnectionPoint,
                     public IOleWindow,
                     public IKorTestControlSite {
public:
    BEGIN_COM_MAP(CTestControl)
        COM_INTERFACE_ENTRY2(IDispatch, IKorTestControl)
        COM_INTERFACE_ENTRY(IKorTestControl)
        COM_INTERFACE_ENTRY(IProvideClassInfo)
        COM_INTERFACE_ENTRY(IProvideClassInfo2)
        COM_INTERFACE_ENTRY(IConnectionPointContainer)
        COM_INTERFACE_ENTRY(IConnectionPoint)
        COM_INTERFACE_ENTRY(IKorTestControlSite)
        if (!cookie_) { COM_INTERFACE_ENTRY(IOleWindow) }
    END_COM_MAP()

    // The type library of the test controls, from this program's resources. Registering it lets
    // the event interface reach sinks in other processes.
    static HRESULT LoadTypeLibrary(bool registerIt);

    // window: the control's own window (cookie 0) or the container of a windowless control.
    static HRESULT Create(const CScenarioControl& facts, const std::wstring& name, HWND window, LONG cookie,
                          const RECT& rect, bool visible, kcom::CComObject<CTestControl>** out);

    // Input the control received, in its own coordinates: logged, and a left click is an event.
    void OnInput(UINT message, WPARAM wParam, int x, int y);
    // Windowless placement, kept by the control and read by its container.
    bool IsVisible() const { return visible_; }
    const RECT& Rect() const { return rect_; }
    LONG Cookie() const { return cookie_; }
    const std::wstring& CaptionText() const { return caption_; }

    // IDispatch: answered from the interface half of the dual, so Invoke calls the vtable.
    STDMETHOD(GetTypeInfoCount)(UINT* count) noexcept override;
    STDMETHOD(GetTypeInfo)(UINT index, LCID, ITypeInfo** out) noexcept override;
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) noexcept override;
    STDMETHOD(Invoke)(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* excep, UINT* argErr) noexcept override;

    // IKorTestControl
    STDMETHOD(get_Text)(BSTR* value) noexcept override;
    STDMETHOD(put_Text)(BSTR value) noexcept override;
    STDMETHOD(get_Caption)(BSTR* value) noexcept override;
    STDMETHOD(put_Caption)(BSTR value) noexcept override;
    STDMETHOD(get_Value)(LONG* value) noexcept override;
    STDMETHOD(put_Value)(LONG value) noexcept override;
    STDMETHOD(get_Enabled)(VARIANT_BOOL* value) noexcept override;
    STDMETHOD(put_Enabled)(VARIANT_BOOL value) noexcept override;
    STDMETHOD(get_Name)(BSTR* value) noexcept override;
    STDMETHOD(get_Height)(LONG* value) noexcept override;
    STDMETHOD(get_Item)(LONG index, BSTR* value) noexcept override;
    STDMETHOD(put_Item)(LONG index, BSTR value) noexcept override;
    STDMETHOD(get_ListCount)(LONG* value) noexcept override;
    STDMETHOD(AddItem)(BSTR text, LONG* count) noexcept override;
    STDMETHOD(get_InputLog)(BSTR* lines) noexcept override;
    STDMETHOD(ClearInputLog)() noexcept override;
    STDMETHOD(get_Visible)(VARIANT_BOOL* value) noexcept override;
    STDMETHOD(put_Visible)(VARIANT_BOOL value) noexcept override;
    STDMETHOD(Move)(LONG left, LONG top, LONG width, LONG height) noexcept override;

    // IProvideClassInfo2
    STDMETHOD(GetClassInfo)(ITypeInfo** out) noexcept override;
    STDMETHOD(GetGUID)(DWORD kind, GUID* guid) noexcept override;

    // IConnectionPointContainer: the control is its own single connection point.
    STDMETHOD(EnumConnectionPoints)(IEnumConnectionPoints** out) noexcept override;
    STDMETHOD(FindConnectionPoint)(REFIID iid, IConnectionPoint** out) noexcept override;

    // IConnectionPoint
    STDMETHOD(GetConnectionInterface)(IID* iid) noexcept override;
    STDMETHOD(GetConnectionPointContainer)(IConnectionPointContainer** out) noexcept override;
    STDMETHOD(Advise)(IUnknown* sink, DWORD* cookie) noexcept override;
    STDMETHOD(Unadvise)(DWORD cookie) noexcept override;
    STDMETHOD(EnumConnections)(IEnumConnections** out) noexcept override;

    // IOleWindow (windowed controls only)
    STDMETHOD(GetWindow)(HWND* window) noexcept override;
    STDMETHOD(ContextSensitiveHelp)(BOOL) noexcept override { return E_NOTIMPL; }

    // IKorTestControlSite
    STDMETHOD(GetIdentity)(BSTR* progId, BSTR* userType) noexcept override;
    STDMETHOD(GetSite)(HWND* window, LONG* cookie) noexcept override;
    STDMETHOD(GetPlacement)(RECT* rect, BOOL* visible) noexcept override;
    STDMETHOD(GetCreateTime)(DWORD* time) noexcept override;

private:
    void Fire(DISPID event, DISPPARAMS& params);
    void Changed();
    void Repaint(const RECT* windowlessArea) const;

    HWND window_ = nullptr;
    LONG cookie_ = 0;
    RECT rect_{};
    bool visible_ = true;
    DWORD created_ = 0;
    std::wstring name_, progId_, userType_, text_, caption_;
    LONG value_ = 0;
    bool enabled_ = true;
    std::vector<std::wstring> items_;
    std::vector<std::wstring> log_;
    std::map<DWORD, kcom::CComPtr<IDispatch>> sinks_;
    DWORD nextSink_ = 1;
};

using CTestControlObject = kcom::CComObject<CTestControl>;
