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

    // Finds the control and reads its window from the ordinary-window package.
    virtual HRESULT GetWindowHandle(HWND* window);

private:
    // What the control window's own record becomes: the inner recorder's, a step, or nothing.
    HRESULT OnControlRecord(FORMATETC* format, STGMEDIUM* medium, ULONG* status, IKorDataTarget* inner);
};
