#pragma once
// The host's standard window test object ("Quorvel.WinObject"), the inner object of every
// ActiveX test object: the inner test object of CInnerObjectStandIn that also performs the input
// it is asked for on its window of the application under test (posted messages, see
// InputDelivery.h), recording every call with its arguments.
//
// Its window: the "hwnd" of its own runtime identifier (SetRuntimeId or put_PropExpr of
// "objectid"), else of its outer object's "objectid", else the one a test set. Coordinates are
// client coordinates of that window; -9999 stands for the centre.
#include <windows.h>
#include <oleauto.h>
#include <string>
#include <utility>
#include <vector>
#include "InnerObjectStandIn.h"
#include "TestObjectInfoStub.h"
#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "com/ComVariant.h"
#include "host.h"
#include "kestrune.h"

namespace standin {

inline constexpr wchar_t kWinObjectProgId[] = L"Quorvel.WinObject";
// The stand-in's own class; the host's is not given.
inline constexpr CLSID kWinObjectClsid = {0x3E8D21A7, 0x5C4F, 0x4B62, {0x9E, 0x17, 0x0D, 0x6A, 0x38, 0xC2, 0x91, 0x4F}};

class CWinObjectStandIn : public CInnerObjectStandIn,
                          public DispTestObject,
                          public IStdObjectReplay,
                          public IStdCaptureTextReplay,
                          public IStdReplay,
                          public IStdKbdRecord,
                          public IDragDropRecord,
                          public IKorDataTarget,
                          public CTestObjectInfoStub,
                          public ISnapshotHelper,
                          public ICustomStep,
                          public IKorObjectChain {
public:
    // The class creator for a ProgID registration; each object made is remembered (weakly).
    static HRESULT Create(IUnknown* outer, REFIID iid, void** out);
    // The last object made that still lives, or null.
    static CWinObjectStandIn* Last() noexcept;
    // The live object whose outer object is this one, or null.
    static CWinObjectStandIn* OfOuter(IUnknown* outer) noexcept;

    CWinObjectStandIn();
    ~CWinObjectStandIn();

    BEGIN_COM_MAP(CWinObjectStandIn)
        COM_INTERFACE_ENTRY2(IDispatch, DispTestObject)
        COM_INTERFACE_ENTRY(DispTestObject)
        COM_INTERFACE_ENTRY(IStdObjectReplay)
        COM_INTERFACE_ENTRY(IStdCaptureTextReplay)
        COM_INTERFACE_ENTRY(IStdReplay)
        COM_INTERFACE_ENTRY(IStdKbdRecord)
        COM_INTERFACE_ENTRY(IDragDropRecord)
        COM_INTERFACE_ENTRY(IKorDataTarget)
        COM_INTERFACE_ENTRY(ITestObject)
        COM_INTERFACE_ENTRY(ITestObjectInfo)
        COM_INTERFACE_ENTRY(IReplaySkeleton)
        COM_INTERFACE_ENTRY(IObjectRackClient)
        COM_INTERFACE_ENTRY(IPersistStreamInit)
        COM_INTERFACE_ENTRY(ISnapshotHelper)
        COM_INTERFACE_ENTRY(ICustomStep)
        // A link of the chain only while a next object is set.
        if (next_) COM_INTERFACE_ENTRY(IKorObjectChain)
    END_COM_MAP()

    // IDispatch of the script interfaces: no type information of its own.
    STDMETHOD(GetTypeInfoCount)(UINT* count) override;
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
    STDMETHOD(Invoke)(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }

    // DispTestObject: Init is recorded; the rest is not this stand-in's.
    STDMETHOD(GetProperty)(BSTR, long*, long*, BSTR*, VARIANT*) override { return Unanswered(L"GetProperty"); }
    STDMETHOD(SetProperty)(BSTR, VARIANT, long*, long*, BSTR*) override { return Unanswered(L"SetProperty"); }
    STDMETHOD(QueryValue)(BSTR, VARIANT*, VARIANT*) override { return Unanswered(L"QueryValue"); }
    STDMETHOD(Check)(VARIANT*, VARIANT_BOOL*) override { return Unanswered(L"Check"); }
    STDMETHOD(Output)(VARIANT*) override { return Unanswered(L"Output"); }
    STDMETHOD(Highlight)(HighlightType, VARIANT) override { return Unanswered(L"Highlight"); }
    STDMETHOD(Init)() override;
    STDMETHOD(get_Exist)(long, VARIANT_BOOL*) override { return Unanswered(L"get_Exist"); }
    STDMETHOD(GetTOProperty)(BSTR, VARIANT*) override { return Unanswered(L"GetTOProperty"); }
    STDMETHOD(SetTOProperty)(BSTR, VARIANT) override { return Unanswered(L"SetTOProperty"); }
    STDMETHOD(GetROProperty)(BSTR, VARIANT*, VARIANT*) override { return Unanswered(L"GetROProperty"); }
    STDMETHOD(GetTOProperties)(IDispatch**) override { return Unanswered(L"GetTOProperties"); }
    STDMETHOD(ChildObjects)(IDispatch*, IDispatch**) override { return Unanswered(L"ChildObjects"); }
    STDMETHOD(CaptureBitmap)(BSTR, VARIANT_BOOL) override { return Unanswered(L"CaptureBitmap"); }
    STDMETHOD(WaitProperty)(BSTR, VARIANT, long, VARIANT_BOOL*) override { return Unanswered(L"WaitProperty"); }
    STDMETHOD(CheckProperty)(BSTR, VARIANT, long, VARIANT_BOOL*) override { return Unanswered(L"CheckProperty"); }
    STDMETHOD(ToString)(BSTR*) override { return Unanswered(L"ToString"); }

    // IStdObjectReplay and IStdReplay: the input itself.
    STDMETHOD(do_Click)(int x, int y, BUTTON button) override;
    STDMETHOD(do_DblClick)(int x, int y, BUTTON button) override;
    STDMETHOD(do_Type)(BSTR text) override;
    STDMETHOD(do_MouseMove)(int x, int y) override;
    STDMETHOD(do_Drag)(int x, int y, BUTTON button) override;
    STDMETHOD(do_Drop)(int x, int y, BUTTON button) override;
    STDMETHOD(do_hWnd)(long* window) override;
    STDMETHOD(DoClick)(int x, int y, BUTTON button) override;
    STDMETHOD(DoDblClick)(int x, int y, BUTTON button) override;
    STDMETHOD(DoType)(BSTR text) override;
    STDMETHOD(DoMouseMove)(int x, int y) override;
    STDMETHOD(PrepareObject)(long moveToTop, long waitEnabled, long waitVisible, long checkIconic) override;
    STDMETHOD(EnableReport)(long enable) override;

    // IStdCaptureTextReplay: the area it was asked for and the window it read, whose text it answers.
    STDMETHOD(do_GetVisibleText)(long left, long top, long right, long bottom, BSTR* text) override;
    STDMETHOD(do_GetTextLocation)(BSTR text, long* left, long* top, long* right, long* bottom,
                                  VARIANT_BOOL* found) override;
    STDMETHOD(do_ClickOnText)(BSTR text, BUTTON button) override;

    // Recording: recorded with their arguments.
    STDMETHOD(BeginKeyboardRecord)() override;
    STDMETHOD(EndKeyboardRecord)() override;
    STDMETHOD(RecordKey)(UINT message, WPARAM wParam, LPARAM lParam) override;
    STDMETHOD(FlushKeyboardRecord)() override;
    STDMETHOD(ResetKeyboardRecord)() override;
    STDMETHOD(RecordDrag)(long x, long y, long button) override;
    STDMETHOD(RecordDrop)(long x, long y, long button) override;
    // The inner recorder: the record's format name and message; it takes every record (status 1).
    // A left button release on its window becomes the outer object's "Click" [x, y] with the
    // record manager it was given.
    STDMETHOD(ReceiveData)(FORMATETC* format, STGMEDIUM* medium, ULONG* status) override;

    // ITestObject: as the inner object of every test object, and its own runtime identifier
    // (so it can stand as the container of identification); E_FAIL without one.
    STDMETHOD(FindObjectId)(IUnknown** object, QueryIdInfo* context) override;
    STDMETHOD(RefreshObject)() override { return CInnerObjectStandIn::RefreshObject(); }

    // ITestObjectInfo: only "objectid" is known; other names fail, so an outer object's fall-back ends.
    STDMETHOD(get_Prop)(BSTR name, long* flags, long* type, long* compareType, VARIANT* value) override;
    STDMETHOD(get_PropExpr)(BSTR name, long* flags, long* type, long* compareType, VARIANT* value) override;
    STDMETHOD(put_PropExpr)(BSTR name, long* flags, long* type, long* compareType, VARIANT value) override;
    // Its run-time attribute names as a one-column text table, once a test set them.
    STDMETHOD(GetRTAttribs)(SAFEARRAY** names, BSTR type) override;
    // A property it does not hold is absent (E_INVALIDARG), so that its outer object adds its own.
    STDMETHOD(put_InternalPropExpr)(BSTR name, long* flags, long* type, long* compareType, VARIANT value) override;

    // IReplaySkeleton as the delegate replay skeleton, every step recorded. ReplayFindObject
    // hands out the runtime identifier a test set (S_FALSE and none by default); SetRuntimeId
    // keeps the identifier as its own: its "hwnd" is the window from then on.
    STDMETHOD(ReplayFindObject)(QueryIdInfo* context, IUnknown** object) override;
    STDMETHOD(SetRuntimeId)(IUnknown* object) override;

    // "Snapshot(folder,kind,cache=<the agent utility's cache switch during the call>)"; the
    // name answered is "winobject.png".
    STDMETHOD(Snapshot)(BSTR folder, VARIANT* highlightId, long kind, BSTR* name, byte storeAsCurrent,
                        long reserved, IDispatch* object) override;

    // ICustomStep: the first two recorded (no dialog, type not supported); the rest not its own.
    STDMETHOD(GetCheckpointDialogClsid)(BSTR type, CLSID* clsid) override;
    STDMETHOD(GetSupportedCheckpointTypes)(BSTR type, BOOL* supported) override;
    STDMETHOD(GetCustomStepClsid)(BSTR, GUID*) override { return Unanswered(L"GetCustomStepClsid"); }
    STDMETHOD(GetCustomStepClsid2)(BSTR, GUID*) override { return Unanswered(L"GetCustomStepClsid2"); }
    STDMETHOD(GetCheckpointStepTypes)(BSTR, BOOL*) override { return Unanswered(L"GetCheckpointStepTypes"); }
    STDMETHOD(GetCheckpointTimeout)(BSTR, ULONG*) override { return Unanswered(L"GetCheckpointTimeout"); }

    STDMETHOD(GetNext)(IUnknown** next) override;

    // The window when no identifier names one.
    void SetWindow(HWND window) noexcept { window_ = window; }
    // The window input goes to now, or null.
    HWND Window();
    // What ReplayFindObject hands out.
    void SetFoundId(IUnknown* id, HRESULT hr = S_OK) {
        found_ = id;
        findResult_ = hr;
    }
    // The next link of the object chain (the object answers the chain only while one is set).
    void SetNext(IUnknown* next) { next_ = next; }
    // What the input and recording methods answer.
    void SetResult(HRESULT hr) noexcept { result_ = hr; }
    // What GetRTAttribs answers (none: E_NOTIMPL).
    void SetRuntimeAttributes(std::vector<std::wstring> names) { attributes_ = std::move(names); }

private:
    HRESULT Unanswered(const wchar_t* method);
    HRESULT Hook(const wchar_t* method);
    // Records the line, then runs the input on the window (E_FAIL without one).
    template <class Input>
    HRESULT Perform(std::wstring line, Input&& input);
    void RecordClick(DWORD lParam);
    HRESULT Click(const wchar_t* method, int x, int y, BUTTON button, bool doubleClick);
    HRESULT Type(const wchar_t* method, BSTR text);
    HRESULT MouseMove(const wchar_t* method, int x, int y);
    POINT ClientPoint(HWND window, int x, int y) const;

    kcom::CComVariant ownId_;  // VT_UNKNOWN runtime identifier, or empty
    kcom::CComPtr<IUnknown> found_;
    HRESULT findResult_ = S_FALSE;
    kcom::CComPtr<IUnknown> next_;
    HWND window_ = nullptr;
    HRESULT result_ = S_OK;
    std::vector<std::wstring> attributes_;
};

}  // namespace standin
