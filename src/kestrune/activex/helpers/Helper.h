#pragma once
// The window-kind strategy of an ActiveX test object: every operation that differs between a
// control with a window of its own (WndHelper) and a windowless control drawn inside its
// container (WlsHelper). The owner owns its one strategy; the strategy keeps no state of its own
// besides its two pointers, the control's handles live in the owner.
#include <windows.h>
#include <objidl.h>
#include <oaidl.h>
#include "com/ComVariant.h"

class CKorActiveX;

class Helper {
public:
    explicit Helper(CKorActiveX* owner) noexcept : m_owner(owner) {}
    Helper(const Helper&) = delete;
    Helper& operator=(const Helper&) = delete;

    // A recorder record of the control: status 1 this object's and handled, 8 not this object's,
    // 10 its identity cannot be read, 3 a windowless control's window cannot be read.
    virtual HRESULT ReceiveData(FORMATETC* format, STGMEDIUM* medium, ULONG* status) = 0;
    virtual HRESULT RecordClick(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    virtual HRESULT GetPropertyByName(BSTR name, VARIANT* value) = 0;
    virtual HRESULT MakeVisible(bool report);
    // The control's property names, one text separated by TAB.
    virtual HRESULT GetPropertyNames(BSTR* names) = 0;
    virtual HRESULT Click(int x, int y, int button) = 0;
    virtual HRESULT DblClick(int x, int y, int button) = 0;
    // x and y relative to the control.
    virtual HRESULT ClickAt(int x, int y, int button, bool doubleClick) = 0;
    virtual HRESULT FillRTAttribsValues(SAFEARRAY** table) = 0;
    // 1 windowed, 0 windowless.
    virtual HRESULT IsWindowed() = 0;
    virtual HRESULT Prepare(bool foreground) = 0;
    // S_OK when the control is visible at the point a click aims at, else 0x80040205.
    virtual HRESULT MakeVisibleCore() = 0;
    virtual ~Helper() = default;

    // The owner's inner standard window object, not held.
    void SetInner(IUnknown* inner) noexcept { m_inner = inner; }

    // Status words of the record paths.
    static constexpr ULONG kStatusHandled = 1;
    static constexpr ULONG kStatusNotMine = 8;
    static constexpr ULONG kStatusIdentityUnreadable = 10;
    static constexpr ULONG kStatusWindowUnreadable = 3;

protected:
    // The text of an agent's answer of property names; the agent's failure, or S_OK with null
    // when the answer is no text.
    static HRESULT NamesFromAnswer(HRESULT answered, kcom::CComVariant& names, BSTR* out);
    // The control's left and top on the screen from the query value "size in pixels": the
    // query's failure, or E_UNEXPECTED for a value of another kind.
    HRESULT ScreenPosition(POINT& topLeft);
    // A click of the host's device-replay engine at a screen point: 0 for the left button, 2 for
    // any other.
    HRESULT EngineClick(POINT screen, int button, bool doubleClick);
    // The identifier found for the control: its window and cookie go to the owner, read from the
    // identifier itself, or from its windowless package.
    HRESULT FindHandles(bool windowless);

    CKorActiveX* m_owner;
    IUnknown* m_inner = nullptr;
};
