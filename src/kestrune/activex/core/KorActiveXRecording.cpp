// The custom record object's say on the records of the control, before the strategy's own.
#include "activex/core/KorActiveX.h"
#include "factory/WindowRecord.h"

namespace {
// Answers of a custom record object.
constexpr long kHandled = 0;
constexpr long kPassOn = 2;
constexpr long kNotMine = 3;
// Record filter modes a custom record object may ask for.
constexpr long kOwnWindow = 0;
constexpr long kEveryWindow = 1;
constexpr long kOwnWindowAndChildren = 2;
}  // namespace

HRESULT CKorActiveX::CustomRecordDecision(HWND window, WORD message, DWORD wParam, DWORD lParam, FORMATETC* format,
                                          STGMEDIUM* medium, ULONG* status) {
    EnsureCustomObjects();
    if (!m_customRecorder) return S_FALSE;
    long answer = 1;
    HRESULT result = S_FALSE;
    // Identifies the object, which fills the control-window field.
    if (!m_customControlWindow) ReadCustomControlWindow();
    // A mode the object does not know asks it about nothing.
    bool ask = false;
    switch (m_recordFilterMode) {
    case kOwnWindow:
        ask = window == m_customControlWindow;
        break;
    case kEveryWindow:
        ask = true;
        break;
    case kOwnWindowAndChildren:
        ask = window == m_customControlWindow ||
              (m_customControlWindow && ::IsChild(m_customControlWindow, window));
        break;
    default:
        break;
    }
    if (ask) result = m_customRecorder->OnRecordMessage(window, message, wParam, lParam, &answer);
    if (FAILED(result)) return S_FALSE;
    if (answer == kHandled || answer == kNotMine) {
        *status = answer == kHandled ? 1 : 8;
        return S_OK;
    }
    if (answer == kPassOn) {
        kcom::CComPtr<IUnknown> outermost;
        kcom::CComPtr<IKorDataTarget> target;
        if (SUCCEEDED(GetOutermostDataTarget(outermost.Put())) && outermost &&
            SUCCEEDED(outermost.QueryInterface(target.Put())) && target)
            return target->ReceiveData(format, medium, status);
    }
    return S_FALSE;
}

HRESULT CKorActiveX::CustomRecordDecisionWnd(const void* data, FORMATETC* format, STGMEDIUM* medium, ULONG* status) {
    const CWindowRecord record(data);
    return CustomRecordDecision(record.Window(), record.Message16(), record.WParam(), record.LParam(), format, medium,
                                status);
}

HRESULT CKorActiveX::CustomRecordDecisionWls(const void* data, FORMATETC* format, STGMEDIUM* medium, ULONG* status) {
    const CWindowlessRecord record(data);
    return CustomRecordDecision(record.Window(), record.Message16(), record.WParam(), record.LParam(), format, medium,
                                status);
}
