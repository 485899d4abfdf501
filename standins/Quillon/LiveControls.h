#pragma once
// The hook's answers about the test controls of the application: every fact is read from the
// live control when the request arrives, so a change inside the application shows in the next
// answer.
#include <windows.h>
#include <oaidl.h>
#include <vector>
#include "AutControls.h"
#include "com/ComPtr.h"
#include "contracts/QuillonRequests.h"
#include "WireRecord.h"

// Marshals an IDispatch into the record's stream for another process.
HRESULT MarshalIntoRecord(IDispatch* object, CWireRecord& record);

class CLiveControls {
public:
    HRESULT Add(IUnknown* control);
    // False when the request is about no live control: the scenario answers it then.
    bool Answer(EQuillonRequest kind, HWND about, CWireRecord& record) const;

private:
    struct CEntry {
        kcom::CComPtr<IKorTestControlSite> site;
        HWND window = nullptr;  // its own window, or its container's
        LONG cookie = 0;        // 0: windowed
    };
    bool AnswerContainer(EQuillonRequest kind, HWND about, CWireRecord& record) const;
    void AnswerControl(EQuillonRequest kind, const CEntry& control, CWireRecord& record) const;

    std::vector<CEntry> controls_;  // windowless ones of a container from bottom to top
};
