#pragma once
// Dispatch work on one control, run on the control's own thread when the hook DLL's switcher
// says so. Lives on the stack for one operation.
#include <windows.h>
#include <oaidl.h>
#include <string>
#include <vector>
#include "com/ComPtr.h"
#include "com/ComVariant.h"
#include "contracts/ThreadContextSwitch.h"

class CAcxHandler : public IAcxSwitchTarget {
public:
    CAcxHandler() = default;
    ~CAcxHandler() override = default;
    CAcxHandler(const CAcxHandler&) = delete;
    CAcxHandler& operator=(const CAcxHandler&) = delete;

    // Slot order is the switcher's contract: MarshalToStream, GetMemberList, GetProperty.
    HRESULT MarshalToStream(IStream** stream, IUnknown* object, HRESULT* result, BOOL allowSwitch) override;
    // Readable property names separated by tabs.
    void GetMemberList(BSTR* names, BOOL allowSwitch) override;
    // A property by a dotted path; "Name(1)" and "Name(1,2)" pass integer arguments.
    HRESULT GetProperty(BSTR path, VARIANT* value, BOOL allowSwitch) override;

    void Attach(IDispatch* control);
    HRESULT FireEvent(BSTR eventName, SAFEARRAY* arguments);
    // The control's event names, each in double quotes.
    HRESULT GetObjectMemberNames(SAFEARRAY** names);

    DWORD OwningThread() const noexcept { return owningThread_; }
    DWORD CreatorThread() const noexcept { return creatorThread_; }

    struct PathSegment {
        std::wstring name;
        std::vector<kcom::CComVariant> args;  // in DISPPARAMS order
        std::wstring rest;                    // the path after this segment's "."
    };
    static HRESULT ParsePropertyPath(BSTR path, PathSegment& segment);
    // Object, boolean, empty and array values as the text a user reads.
    static void ToDisplayText(VARIANT* value);

    struct EventMember {
        std::wstring name;
        IID source;
        DISPID id;
    };
    static HRESULT BuildEventMemberTable(IUnknown* object, const wchar_t* name, std::vector<EventMember>& table);

private:
    CThreadContextSwitch* SwitcherFor(BOOL allowSwitch) const;
    // The control's "Object" when it has one, else the control itself.
    kcom::CComPtr<IDispatch> InnerObject();

    kcom::CComPtr<IDispatch> dispatch_;
    DWORD owningThread_ = 0;
    DWORD creatorThread_ = 0;
};

// The hook DLL's thread-context switcher in this process, or null. Once found it is kept.
CThreadContextSwitch* FindThreadContextSwitch() noexcept;

// Whether child is a same-sized, same-procedure child of parent with the same visible box.
bool IsSameWindow(HWND child, HWND parent);
