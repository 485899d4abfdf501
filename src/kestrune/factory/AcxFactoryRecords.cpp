// The factory's choices on recorder records: windowless records, windows recorded on their
// parent, and the messages that make a step.
#include <cwchar>
#include "com/ComError.h"
#include "com/ComVariant.h"
#include "environment/AcxHandler.h"
#include "factory/AcxFactory.h"
#include "factory/WindowRecord.h"

namespace {

// Non-ActiveX windows of these class families draw a control for their parent of the same size.
bool HasParentDrawnPrefix(const wchar_t* className) {
    return _wcsnicmp(className, L"Afx", 3) == 0 || _wcsnicmp(className, L"SS3", 3) == 0 ||
           _wcsnicmp(className, L"SPR", 3) == 0;
}

bool IsStepMessage(WORD message) {
    return (message >= 0x201 && message <= 0x209) || (message >= 0x100 && message <= 0x108) || message > WM_USER ||
           message == WM_SETFOCUS;
}

}  // namespace

HRESULT CAcxFactory::HandleRecord(FORMATETC* format, STGMEDIUM* medium, ULONG* mdRet, CRuntimeId& out) {
    return kcom::Guard([&]() -> HRESULT {
        if (!format || !medium || !mdRet) return E_POINTER;
        if (format->cfFormat == m_windowlessFormat) {
            if (!medium->hGlobal) return E_POINTER;
            if (!CWindowlessRecord::Fits(*medium)) {
                *mdRet = kNotRecorded;
                return E_INVALIDARG;
            }
            const CWindowlessRecord record(medium->hGlobal);
            out = WindowlessId(record.Window(), record.Cookie());
            return static_cast<IRuntimeID2*>(out) ? S_OK : E_OUTOFMEMORY;
        }
        if (format->cfFormat != WindowFormat()) return CStdFactoryBase::HandleRecord(format, medium, mdRet, out);
        if (!medium->hGlobal) return E_POINTER;
        if (!CWindowRecord::Fits(*medium)) {
            *mdRet = kNotRecorded;
            return E_INVALIDARG;
        }

        const CWindowRecord record(medium->hGlobal);
        HWND window = record.Window();
        if (!IsComboInImageCombo(window) && IsStandardOrMappedWindow(window)) return S_FALSE;
        if (IsSkippedWindow(window)) return S_FALSE;
        LONG isAcx = 0;
        if (!m_agent || FAILED(m_agent->IsAcxControl(window, &isAcx))) return E_FAIL;
        if (!isAcx) {
            wchar_t className[32] = {};
            if (::GetClassNameW(window, className, 32) <= 0) return E_FAIL;
            HWND parent = ::GetParent(window);
            if (!parent) return S_FALSE;
            if (HasParentDrawnPrefix(className)) {
                if (!IsSameWindow(window, parent)) return S_FALSE;
            } else if (!IsComboInImageCombo(window)) {
                return S_FALSE;
            }
            // The step belongs to the parent: the record itself is re-targeted.
            CWindowRecord::SetWindow(medium->hGlobal, parent);
        }
        return CStdFactoryBase::HandleRecord(format, medium, mdRet, out);
    });
}

bool CAcxFactory::FilterRecord(FORMATETC*, STGMEDIUM* medium, ULONG* mdRet, CRuntimeId id) {
    if (id.GetPackage() != WindowFormat()) return true;
    if (!medium || !medium->hGlobal || !mdRet) return false;
    const CWindowRecord record(medium->hGlobal);
    const WORD message = record.Message16();
    if (IsStepMessage(message)) return true;
    if (message == WM_COMMAND) {
        if (IsComboInImageCombo(CWindowRecord::ToWindow(record.LParam()))) *mdRet = kNotRecorded;
    } else if (message != WM_NOTIFY) {
        *mdRet = kNotRecorded;
    }
    return false;
}
