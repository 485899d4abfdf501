#pragma once
// The strategy of a windowed control: the control is the window its runtime identifier names.
#include "activex/helpers/Helper.h"
#include "host.h"

class WndHelper : public Helper {
public:
    using Helper::Helper;

    HRESULT ReceiveData(FORMATETC* format, STGMEDIUM* medium, ULONG* status) override;
    // "Click" [x, y], both unsigned 16-bit.
    HRESULT RecordClick(UINT message, WPARAM wParam, LPARAM lParam) override;
    HRESULT GetPropertyByName(BSTR name, VARIANT* value) override;
    HRESULT GetPropertyNames(BSTR* names) override;
    HRESULT FillRTAttribsValues(SAFEARRAY** table) override;
    HRESULT IsWindowed() override { return 1; }
    HRESULT Click(int x, int y, int button) override;
    HRESULT DblClick(int x, int y, int button) override;
    // Client coordinates of the control window: through the inner standard window object, or,
    // for a windowed control known by a cookie, through the device-replay engine.
    HRESULT ClickAt(int x, int y, int button, bool doubleClick) override;
    HRESULT Prepare(bool foreground) override;
    HRESULT MakeVisibleCore() override;

    // Finds the control and reads its window from the ordinary-window package.
    virtual HRESULT GetWindowHandle(HWND* window);

private:
    // What the control window's own record becomes: the inner recorder's, a step, or nothing.
    HRESULT OnControlRecord(FORMATETC* format, STGMEDIUM* medium, ULONG* status, IKorDataTarget* inner);
    HRESULT ClickOrDouble(int x, int y, int button, bool doubleClick);
    HRESULT ClickByCookie(int x, int y, int button, bool doubleClick);
};
