#pragma once
// Quillon's thread-context switcher: runs a control's dispatch work in the thread that owns the
// control. Found at run time through the exports below, never linked.
#include <windows.h>
#include <oaidl.h>
#include <objidl.h>

// The operations a switched call runs, declared in the slot order of the handler that derives
// from this class: MarshalToStream, GetMemberList, GetProperty, then the destructor.
class IAcxSwitchTarget {
public:
    virtual HRESULT MarshalToStream(IStream** stream, IUnknown* object, HRESULT* result, BOOL allowSwitch) = 0;
    virtual void GetMemberList(BSTR* names, BOOL allowSwitch) = 0;
    virtual HRESULT GetProperty(BSTR path, VARIANT* value, BOOL allowSwitch) = 0;
    virtual ~IAcxSwitchTarget() = default;
};

// What Run does, by opcode, in the target thread (every handler call gets allowSwitch FALSE):
//   0  handler->GetMemberList((BSTR*)arg1, FALSE); *result = S_OK
//   1  *result = handler->GetProperty((BSTR)arg1, (VARIANT*)arg2, FALSE)
//   2  no handler: reads the property named (BSTR)arg2 of (IDispatch*)arg1 into (VARIANT*)arg3
//      (GetIDsOfNames with locale 0x800, Invoke DISPATCH_PROPERTYGET with locale 0x400)
//   3  *result = handler->MarshalToStream((IStream**)arg1, (IUnknown*)arg2, (HRESULT*)arg3, FALSE)
// any other opcode: *result = E_INVALIDARG.
enum EAcxSwitchOpcode : LONG {
    AcxSwitchGetMemberList = 0,
    AcxSwitchGetProperty = 1,
    AcxSwitchReadProperty = 2,
    AcxSwitchMarshalToStream = 3,
};

// Callers rely on the third slot (NeedsSwitch) and the fourth (Run); the rest are the stand-in's.
class CThreadContextSwitch {
public:
    // The calling thread takes switched calls from now on; it must pump its messages.
    virtual BOOL RegisterThread() = 0;
    virtual BOOL UnregisterThread() = 0;
    // Non-zero when work for an object of threadId has to run there: a registered thread that is
    // not the caller.
    virtual BOOL NeedsSwitch(DWORD threadId) = 0;
    // Runs the opcode in threadId and waits for it; S_OK when it ran (its own HRESULT is in
    // *result), a failure when the thread takes no switched calls.
    virtual HRESULT Run(IAcxSwitchTarget* handler, DWORD threadId, LONG opcode, void* arg1, void* arg2,
                        void* arg3, HRESULT* result) = 0;
    virtual ULONG GetVersion() = 0;

protected:
    ~CThreadContextSwitch() = default;
};

// Exports, found with GetProcAddress.
typedef CThreadContextSwitch* (*PFN_CThreadContextSwitch_GetInstance)();
typedef HMODULE (*PFN_CThreadContextSwitch_GetHModule)();
