#pragma once
// The strategy of a windowless control: its container window and its cookie in that container.
#include "activex/helpers/Helper.h"

class WlsHelper : public Helper {
public:
    // Gives the owner's description the control's offsets in its container.
    explicit WlsHelper(CKorActiveX* owner);

    HRESULT GetPropertyByName(BSTR name, VARIANT* value) override;
    HRESULT GetPropertyNames(BSTR* names) override;
    HRESULT FillRTAttribsValues(SAFEARRAY** table) override;
    HRESULT IsWindowed() override { return 0; }

    // Finds the control and reads its container and cookie into the owner and the outputs (both
    // 0 first); the find's result, or 0x80040202 when the identifier names no windowless control.
    virtual HRESULT GetHandles(HWND* window, LONG* cookie);
};
