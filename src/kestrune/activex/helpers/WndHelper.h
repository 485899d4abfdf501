#pragma once
// The strategy of a windowed control: the control is the window its runtime identifier names.
#include "activex/helpers/Helper.h"

class WndHelper : public Helper {
public:
    using Helper::Helper;

    HRESULT GetPropertyByName(BSTR name, VARIANT* value) override;
    HRESULT GetPropertyNames(BSTR* names) override;
    HRESULT FillRTAttribsValues(SAFEARRAY** table) override;
    HRESULT IsWindowed() override { return 1; }

    // Finds the control and reads its window from the ordinary-window package.
    virtual HRESULT GetWindowHandle(HWND* window);
};
