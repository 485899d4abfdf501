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
    HRESULT Click(int x, int y, int button) override;
    HRESULT DblClick(int x, int y, int button) override;
    // Through the device-replay engine where the control shows, else as button messages to its
    // container.
    HRESULT ClickAt(int x, int y, int button, bool doubleClick) override;
    // Identifies the control; without its container or cookie the replay error is raised.
    HRESULT Prepare(bool foreground) override;
    HRESULT MakeVisibleCore() override;

    virtual HRESULT OnRecordMessage(const void* record, ULONG* status);
    // Finds the control and reads its container and cookie into the owner and the outputs (both
    // 0 first); the find's result, or 0x80040202 when the identifier names no windowless control.
    virtual HRESULT GetHandles(HWND* window, LONG* cookie);
    virtual HRESULT MakeVisibleThroughContainer(int x, int y);

private:
    bool IsVisible();
};
