#pragma once
// The strategy of a windowless control: its container window and its cookie in that container.
#include "activex/helpers/Helper.h"

class WlsHelper : public Helper {
public:
    // Gives the owner's description the control's offsets in its container.
    explicit WlsHelper(CKorActiveX* owner);

    HRESULT ReceiveData(FORMATETC* format, STGMEDIUM* medium, ULONG* status) override;
    // "Click" [x, y] for the left button, [x, y, 1] for the right one, relative to the control.
    HRESULT RecordClick(UINT message, WPARAM wParam, LPARAM lParam) override;
    HRESULT GetPropertyByName(BSTR name, VARIANT* value) override;
    HRESULT GetPropertyNames(BSTR* names) override;
    HRESULT FillRTAttribsValues(SAFEARRAY** table) override;
    HRESULT IsWindowed() override { return 0; }

    // Finds the control and reads its container and cookie into the owner and the outputs (both
    // 0 first); the find's result.
    virtual HRESULT OnRecordMessage(const void* record, ULONG* status);
    virtual HRESULT GetHandles(HWND* window, LONG* cookie);
};
