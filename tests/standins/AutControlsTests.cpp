// The test controls of the application under test, reached from this process: their type
// information and events across the two processes, the hook's answers read from the live
// controls, and the input each control really received.
#include <gtest/gtest.h>
#include <windows.h>
#include <olectl.h>
#include <ocidl.h>
#include <string>
#include <vector>
#include "AutTestBed.h"
#include "com/ComBSTR.h"
#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "com/ComVariant.h"
#include "AutControls.h"

namespace {

std::wstring Text(const VARIANT& v) { return v.vt == VT_BSTR && v.bstrVal ? v.bstrVal : L"<not a string>"; }

// An event sink of this process: records each event with its arguments in DISPPARAMS order.
class CEventSink : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IDispatch {
public:
    BEGIN_COM_MAP(CEventSink)
        COM_INTERFACE_ENTRY(IDispatch)
        COM_INTERFACE_ENTRY_IID(DIID_DKorTestControlEvents, IDispatch)
    END_COM_MAP()

    std::vector<std::pair<DISPID, std::vector<LONG>>> events;

    STDMETHOD(GetTypeInfoCount)(UINT* count) noexcept override {
        *count = 0;
        return S_OK;
    }
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo**) noexcept override { return E_NOTIMPL; }
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept override { return E_NOTIMPL; }
    STDMETHOD(Invoke)(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                      UINT*) noexcept override {
        std::vector<LONG> args;
        for (UINT i = 0; params && i < params->cArgs; ++i) args.push_back(params->rgvarg[i].lVal);
        events.emplace_back(id, args);
        return S_OK;
    }
};

// Pumps this thread's messages (incoming calls from the application arrive as messages) until
// done(); the time-out only catches a hang, since the wait ends as soon as done() holds.
template <class F>
bool PumpUntil(F done) {
    constexpr DWORD kHangTimeoutMs = 60000;
    for (const DWORD start = ::GetTickCount(); !done() && ::GetTickCount() - start < kHangTimeoutMs;) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return done();
}

class AutControls : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(aut_.Start(kAutControlsScenario));
        main_ = aut_.Window(L"main");
        ctl_ = aut_.Window(L"ctl");
        ASSERT_HRESULT_SUCCEEDED(AutControlDispatch(ctl_, 0, control_.Put()));
    }

    CAutProcess aut_;
    HWND main_ = nullptr, ctl_ = nullptr;
    kcom::CComPtr<IDispatch> control_;
};

TEST_F(AutControls, TypeInformationCrossesTheProcesses) {
    UINT count = 0;
    ASSERT_HRESULT_SUCCEEDED(control_->GetTypeInfoCount(&count));
    ASSERT_EQ(1u, count);
    kcom::CComPtr<ITypeInfo> info;
    ASSERT_HRESULT_SUCCEEDED(control_->GetTypeInfo(0, 0, info.Put()));
    TYPEATTR* attr = nullptr;
    ASSERT_HRESULT_SUCCEEDED(info->GetTypeAttr(&attr));
    EXPECT_EQ(TKIND_DISPATCH, attr->typekind);
    EXPECT_TRUE(::IsEqualGUID(IID_IKorTestControl, attr->guid));
    const WORD funcs = attr->cFuncs;
    info->ReleaseTypeAttr(attr);
    std::vector<std::wstring> getters;
    for (WORD i = 0; i < funcs; ++i) {
        FUNCDESC* f = nullptr;
        ASSERT_HRESULT_SUCCEEDED(info->GetFuncDesc(i, &f));
        kcom::CComBSTR name;
        UINT n = 0;
        ASSERT_HRESULT_SUCCEEDED(info->GetNames(f->memid, name.Put(), 1, &n));
        if (f->invkind == INVOKE_PROPERTYGET && !(f->wFuncFlags & FUNCFLAG_FHIDDEN))
            getters.push_back(name.c_str() + std::wstring(f->cParams ? L"(1)" : L""));
        info->ReleaseFuncDesc(f);
    }
    EXPECT_EQ((std::vector<std::wstring>{L"Text", L"Caption", L"Value", L"Enabled", L"Name", L"Height", L"Item(1)",
                                          L"ListCount"}),
              getters);

    // The event interface, through the class information.
    kcom::CComQIPtr<IProvideClassInfo2> classInfo(control_.get());
    ASSERT_TRUE(classInfo);
    GUID source{};
    ASSERT_HRESULT_SUCCEEDED(classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source));
    EXPECT_TRUE(::IsEqualGUID(DIID_DKorTestControlEvents, source));
    kcom::CComPtr<ITypeInfo> coclass;
    ASSERT_HRESULT_SUCCEEDED(classInfo->GetClassInfo(coclass.Put()));
    ASSERT_HRESULT_SUCCEEDED(coclass->GetTypeAttr(&attr));
    EXPECT_EQ(TKIND_COCLASS, attr->typekind);
    const WORD impl = attr->cImplTypes;
    coclass->ReleaseTypeAttr(attr);
    std::vector<std::wstring> events;
    for (UINT i = 0; i < impl; ++i) {
        INT flags = 0;
        ASSERT_HRESULT_SUCCEEDED(coclass->GetImplTypeFlags(i, &flags));
        if (!(flags & IMPLTYPEFLAG_FSOURCE)) continue;
        HREFTYPE ref = 0;
        kcom::CComPtr<ITypeInfo> sourceInfo;
        ASSERT_HRESULT_SUCCEEDED(coclass->GetRefTypeOfImplType(i, &ref));
        ASSERT_HRESULT_SUCCEEDED(coclass->GetRefTypeInfo(ref, sourceInfo.Put()));
        ASSERT_HRESULT_SUCCEEDED(sourceInfo->GetTypeAttr(&attr));
        const WORD n = attr->cFuncs;
        sourceInfo->ReleaseTypeAttr(attr);
        for (WORD k = 0; k < n; ++k) {
            FUNCDESC* f = nullptr;
            ASSERT_HRESULT_SUCCEEDED(sourceInfo->GetFuncDesc(k, &f));
            kcom::CComBSTR name;
            ASSERT_HRESULT_SUCCEEDED(sourceInfo->GetDocumentation(f->memid, name.Put(), nullptr, nullptr, nullptr));
            events.push_back(name.c_str() + std::to_wstring(f->memid));
            sourceInfo->ReleaseFuncDesc(f);
        }
    }
    EXPECT_EQ((std::vector<std::wstring>{L"Clicked1", L"Changed2"}), events);
}

TEST_F(AutControls, EventsReachASinkInTheTestProcess) {
    kcom::CComQIPtr<IConnectionPointContainer> points(control_.get());
    ASSERT_TRUE(points);
    kcom::CComPtr<IConnectionPoint> point;
    ASSERT_HRESULT_SUCCEEDED(points->FindConnectionPoint(DIID_DKorTestControlEvents, point.Put()));
    kcom::CComObject<CEventSink>* sink = nullptr;
    ASSERT_HRESULT_SUCCEEDED(kcom::CComObject<CEventSink>::CreateInstance(&sink));
    kcom::CComPtr<IDispatch> hold(sink);
    DWORD cookie = 0;
    ASSERT_HRESULT_SUCCEEDED(point->Advise(hold, &cookie));

    // A property set from here fires the event back into this process during the call.
    ASSERT_HRESULT_SUCCEEDED(DispPut(control_, L"Text", kcom::CComVariant(L"Beta")));
    ASSERT_EQ(1u, sink->events.size());
    EXPECT_EQ(2, sink->events[0].first);

    // A click the control's window really received: posted, since the event comes back here.
    ::PostMessageW(ctl_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(30, 12));
    ::PostMessageW(ctl_, WM_LBUTTONUP, 0, MAKELPARAM(30, 12));
    ASSERT_TRUE(PumpUntil([&] { return sink->events.size() == 2; }));
    EXPECT_EQ(1, sink->events[1].first);
    EXPECT_EQ((std::vector<LONG>{12, 30}), sink->events[1].second);

    // The connections as another client of the control sees them: our own sink comes back, then
    // none. Across processes Wine's proxy reads this reply's count and HRESULT from bytes never
    // written, so only the connection handed out tells.
    kcom::CComPtr<IEnumConnections> connections;
    ASSERT_HRESULT_SUCCEEDED(point->EnumConnections(connections.Put()));
    CONNECTDATA data{};
    ULONG fetched = 0;
    connections->Next(1, &data, &fetched);
    kcom::CComPtr<IUnknown> connected;
    connected.Attach(data.pUnk);
    ASSERT_TRUE(connected);
    EXPECT_EQ(cookie, data.dwCookie);
    EXPECT_TRUE(connected.IsEqualObject(hold));
    data = CONNECTDATA{};
    connections->Next(1, &data, &fetched);
    EXPECT_EQ(nullptr, data.pUnk);

    ASSERT_HRESULT_SUCCEEDED(point->Unadvise(cookie));
    ASSERT_HRESULT_SUCCEEDED(DispPut(control_, L"Value", kcom::CComVariant(5L)));
    EXPECT_EQ(2u, sink->events.size());
    EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(cookie));
}

}  // namespace

namespace {

// What came back in a request's record.
struct CReply {
    long result = 0;
    LONG cookie = 0;
    HWND window = nullptr;
    kcom::CComVariant a, b;
    std::vector<BYTE> blob;
};

// One answered request; a and b travel in the record's two VARIANTs.
CReply Ask(EQuillonRequest request, HWND window, LONG cookie = 0, const kcom::CComVariant& a = {},
           const kcom::CComVariant& b = {}) {
    CAcxParamHelper params;
    a.CopyTo(&params.varA);
    b.CopyTo(&params.varB);
    EXPECT_EQ(0, AutRequest(request, window, params, cookie)) << QuillonRequestName(request);
    CReply reply;
    reply.result = params.lResult;
    reply.cookie = params.lCookie;
    reply.window = params.hWnd;
    reply.a = params.varA;
    reply.b = params.varB;
    if (params.pBlob) reply.blob.assign(params.pBlob, params.pBlob + params.cbBlob);
    return reply;
}

// left, top, right, bottom
std::vector<LONG> WlsRect(HWND container, LONG cookie) {
    CReply size = Ask(EQuillonRequest::GetWlsSize, container, cookie);
    if (size.result != 1 || size.blob.size() != 16) return {};
    const LONG* r = reinterpret_cast<const LONG*>(size.blob.data());
    return std::vector<LONG>(r, r + 4);
}

// The cookie the hook finds at a point of the container's client area.
LONG CookieAt(HWND container, int x, int y) {
    POINT p{x, y};
    ::ClientToScreen(container, &p);
    CReply reply = Ask(EQuillonRequest::GetCookieFromPoint, container,
                       static_cast<LONG>(static_cast<short>(p.x)) + (static_cast<LONG>(p.y) << 16));
    EXPECT_EQ(1, reply.result);
    EXPECT_EQ(container, reply.window);
    return reply.cookie;
}

void Click(HWND window, UINT down, int x, int y) {
    ::SendMessageW(window, down, down == WM_LBUTTONDOWN ? MK_LBUTTON : MK_RBUTTON, MAKELPARAM(x, y));
    ::SendMessageW(window, down + 1, 0, MAKELPARAM(x, y));
}

TEST_F(AutControls, HookAnswersFollowTheLiveControls) {
    EXPECT_EQ(L"Alpha", Text(Ask(EQuillonRequest::GetActiveXProperty, ctl_, 0, L"Text").a));
    ASSERT_HRESULT_SUCCEEDED(DispPut(control_, L"Text", kcom::CComVariant(L"Gamma")));
    EXPECT_EQ(L"Gamma", Text(Ask(EQuillonRequest::GetActiveXProperty, ctl_, 0, L"text").a));

    // A request writes, the control's IDispatch reads: the control's type information converts.
    EXPECT_EQ(1, Ask(EQuillonRequest::SetActiveXProperty, ctl_, 0, L"Value", L"12").result);
    kcom::CComVariant value;
    ASSERT_HRESULT_SUCCEEDED(DispGet(control_, L"Value", value.Put()));
    EXPECT_EQ(VT_I4, value.vt);
    EXPECT_EQ(12, value.lVal);
    EXPECT_EQ(0, Ask(EQuillonRequest::SetActiveXProperty, ctl_, 0, L"Value", L"twelve").result);

    // A windowless control's rectangle and visibility.
    kcom::CComPtr<IDispatch> eight;
    ASSERT_HRESULT_SUCCEEDED(AutControlDispatch(main_, 8, eight.Put()));
    EXPECT_EQ((std::vector<LONG>{150, 80, 250, 110}), WlsRect(main_, 8));
    ASSERT_HRESULT_SUCCEEDED(DispCall(eight, L"Move", {160L, 90L, 50L, 20L}, nullptr));
    EXPECT_EQ((std::vector<LONG>{160, 90, 210, 110}), WlsRect(main_, 8));
    EXPECT_EQ(20, Ask(EQuillonRequest::GetActiveXProperty, main_, 8, L"Height").a.lVal);
    EXPECT_EQ(1, Ask(EQuillonRequest::GetWlsVisibleState, main_, 8).a.lVal);
    ASSERT_HRESULT_SUCCEEDED(DispPut(eight, L"Visible", kcom::CComVariant(false)));
    CReply hidden = Ask(EQuillonRequest::GetWlsVisibleState, main_, 8);
    EXPECT_EQ(1, hidden.result);
    EXPECT_EQ(0, hidden.a.lVal);

    // The windowed control's own window moves and hides.
    ASSERT_HRESULT_SUCCEEDED(DispCall(control_, L"Move", {5L, 6L, 70L, 30L}, nullptr));
    RECT moved{};
    ::GetWindowRect(ctl_, &moved);
    EXPECT_EQ(30, moved.bottom - moved.top);
    ASSERT_HRESULT_SUCCEEDED(DispPut(control_, L"Visible", kcom::CComVariant(false)));
    EXPECT_FALSE(::IsWindowVisible(ctl_));
}

TEST_F(AutControls, WindowlessControlsAreFoundByContainerCookieAndPoint) {
    CReply cookies = Ask(EQuillonRequest::GetWlsCookiesFromContainer, main_);
    ASSERT_EQ(VT_ARRAY | VT_I4, cookies.a.vt);
    ASSERT_EQ(2u, cookies.a.parray->cDims);
    ASSERT_EQ(3u, cookies.a.parray->rgsabound[0].cElements);  // rows
    const LONG* rows = static_cast<const LONG*>(cookies.a.parray->pvData);
    EXPECT_EQ((std::vector<LONG>{7, 8, 9}), std::vector<LONG>(rows, rows + 3));
    CReply none = Ask(EQuillonRequest::GetWlsCookiesFromContainer, ctl_);
    EXPECT_EQ(1, none.result);
    EXPECT_EQ(0u, none.a.parray->rgsabound[0].cElements);

    CAcxParamHelper containers;
    containers.lResult = static_cast<LONG>(reinterpret_cast<UINT_PTR>(main_));
    ASSERT_EQ(0, AutRequest(EQuillonRequest::GetContainers, main_, containers));
    EXPECT_EQ(1, containers.lResult);

    EXPECT_EQ(7, CookieAt(main_, 30, 90));
    EXPECT_EQ(9, CookieAt(main_, 349, 109));
    EXPECT_EQ(0, CookieAt(main_, 5, 200));
    kcom::CComPtr<IDispatch> seven, eight;
    ASSERT_HRESULT_SUCCEEDED(AutControlDispatch(main_, 7, seven.Put()));
    ASSERT_HRESULT_SUCCEEDED(AutControlDispatch(main_, 8, eight.Put()));
    ASSERT_HRESULT_SUCCEEDED(DispCall(eight, L"Move", {25L, 85L, 50L, 10L}, nullptr));
    EXPECT_EQ(8, CookieAt(main_, 30, 90));  // the later control lies above
    ASSERT_HRESULT_SUCCEEDED(DispPut(eight, L"Visible", kcom::CComVariant(false)));
    EXPECT_EQ(7, CookieAt(main_, 30, 90));
    ASSERT_HRESULT_SUCCEEDED(DispPut(seven, L"Visible", kcom::CComVariant(false)));
    EXPECT_EQ(0, CookieAt(main_, 30, 90));

    // Identity of each control, and what distinguishes windowed from windowless.
    EXPECT_EQ(L"Forms.CommandButton.1", Text(Ask(EQuillonRequest::GetWlsProgId, main_, 9).a));
    EXPECT_EQ(L"Kor Test Button", Text(Ask(EQuillonRequest::GetUserType, main_, 7).a));
    EXPECT_EQ(L"KorTest.WndCtl", Text(Ask(EQuillonRequest::GetProgId, ctl_).a));
    EXPECT_EQ(1, Ask(EQuillonRequest::IsActiveX, ctl_).result);
    EXPECT_EQ(0, Ask(EQuillonRequest::IsActiveX, main_).result);
    kcom::CComVariant name;
    ASSERT_HRESULT_SUCCEEDED(DispGet(seven, L"Name", name.Put()));
    EXPECT_EQ(L"main:7", Text(name));
    CReply inproc = Ask(EQuillonRequest::GetInprocUnknown, main_, 7);
    EXPECT_EQ(1, inproc.result);
    EXPECT_NE(0, inproc.cookie);
    EXPECT_NE(inproc.cookie, Ask(EQuillonRequest::GetInprocUnknown, main_, 8).cookie);
    EXPECT_NE(0, Ask(EQuillonRequest::GetCreateTime, ctl_).result);
    CReply handle = Ask(EQuillonRequest::GetCookieFromHandle, ctl_);
    EXPECT_EQ(1, handle.result);
    EXPECT_EQ(0, handle.cookie);
    kcom::CComQIPtr<IOleWindow> window(control_.get());
    ASSERT_TRUE(window);
    HWND own = nullptr;
    ASSERT_HRESULT_SUCCEEDED(window->GetWindow(&own));
    EXPECT_EQ(ctl_, own);
    EXPECT_FALSE(kcom::CComQIPtr<IOleWindow>(seven.get()));
}

TEST_F(AutControls, EachControlLogsOnlyTheInputItReceived) {
    kcom::CComPtr<IDispatch> seven, eight;
    ASSERT_HRESULT_SUCCEEDED(AutControlDispatch(main_, 7, seven.Put()));
    ASSERT_HRESULT_SUCCEEDED(AutControlDispatch(main_, 8, eight.Put()));
    Click(main_, WM_LBUTTONDOWN, 30, 90);
    ::SendMessageW(main_, WM_KEYDOWN, 'A', 0);
    Click(ctl_, WM_RBUTTONDOWN, 50, 20);
    Click(main_, WM_LBUTTONDOWN, 5, 200);  // nobody's
    EXPECT_EQ((std::vector<std::wstring>{L"WM_SETFOCUS", L"WM_LBUTTONDOWN 10,10", L"WM_LBUTTONUP 10,10",
                                         L"WM_KEYDOWN 0x41"}),
              InputLog(seven));
    EXPECT_EQ((std::vector<std::wstring>{L"WM_RBUTTONDOWN 50,20", L"WM_RBUTTONUP 50,20"}), InputLog(control_));
    EXPECT_TRUE(InputLog(eight).empty());

    // A click moves the windowless focus; a hidden control gets nothing.
    ASSERT_HRESULT_SUCCEEDED(DispCall(seven, L"ClearInputLog", {}, nullptr));
    Click(main_, WM_LBUTTONDOWN, 160, 90);
    EXPECT_EQ((std::vector<std::wstring>{L"WM_KILLFOCUS"}), InputLog(seven));
    EXPECT_EQ((std::vector<std::wstring>{L"WM_SETFOCUS", L"WM_LBUTTONDOWN 10,10", L"WM_LBUTTONUP 10,10"}),
              InputLog(eight));
    ASSERT_HRESULT_SUCCEEDED(DispPut(eight, L"Visible", kcom::CComVariant(false)));
    ASSERT_HRESULT_SUCCEEDED(DispCall(eight, L"ClearInputLog", {}, nullptr));
    Click(main_, WM_LBUTTONDOWN, 160, 90);
    EXPECT_TRUE(InputLog(eight).empty());
}

TEST_F(AutControls, PropertyListsTablesAndMethodsReadTheControl) {
    EXPECT_EQ(L"Text\tCaption\tValue\tEnabled\tName\tHeight\tListCount",
              Text(Ask(EQuillonRequest::GetActiveXPropertiesName, ctl_).a));
    CReply unknown = Ask(EQuillonRequest::GetActiveXProperty, ctl_, 0, L"Nothing");
    EXPECT_EQ(0, unknown.result);
    EXPECT_EQ(VT_EMPTY, unknown.a.vt);

    // Three names in column 0 of a 3 x 2 table; one value per row comes back.
    CAcxParamHelper table;
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {3, 0}};
    table.varA.vt = VT_ARRAY | VT_VARIANT;
    table.varA.parray = ::SafeArrayCreate(VT_VARIANT, 2, bounds);
    const wchar_t* names[3] = {L"Caption", L"Item", L"Nothing"};
    for (LONG row = 0; row < 3; ++row) {
        LONG at[2] = {0, row};
        kcom::CComVariant cell(names[row]);
        ASSERT_HRESULT_SUCCEEDED(::SafeArrayPutElement(table.varA.parray, at, &cell));
    }
    ASSERT_EQ(0, AutRequest(EQuillonRequest::GetProperties, ctl_, table));
    ASSERT_EQ(1, table.lResult);
    ASSERT_EQ(VT_ARRAY | VT_VARIANT, table.varB.vt);
    std::vector<kcom::CComVariant> values(3);
    for (LONG row = 0; row < 3; ++row) {
        LONG at[2] = {0, row};
        ASSERT_HRESULT_SUCCEEDED(::SafeArrayGetElement(table.varB.parray, at, values[row].Put()));
    }
    EXPECT_EQ(L"Hello", Text(values[0]));
    EXPECT_EQ(VT_ERROR, values[1].vt);  // needs its index
    EXPECT_EQ(DISP_E_BADPARAMCOUNT, values[1].scode);
    EXPECT_EQ(VT_EMPTY, values[2].vt);

    // A method invoked by request, its effect read through the parameter property.
    CAcxParamHelper invoke;
    SAFEARRAYBOUND one{1, 0};
    invoke.varA.vt = VT_ARRAY | VT_VARIANT;
    invoke.varA.parray = ::SafeArrayCreate(VT_VARIANT, 1, &one);
    LONG first = 0;
    kcom::CComVariant item(L"first");
    ASSERT_HRESULT_SUCCEEDED(::SafeArrayPutElement(invoke.varA.parray, &first, &item));
    invoke.varB.vt = VT_BSTR;
    invoke.varB.bstrVal = ::SysAllocString(L"AddItem");
    ASSERT_EQ(0, AutRequest(EQuillonRequest::InvokeActiveX, ctl_, invoke));
    EXPECT_EQ(1, invoke.lResult);
    EXPECT_EQ(VT_ARRAY | VT_VARIANT, invoke.varA.vt);
    EXPECT_EQ(1, invoke.varB.lVal);
    kcom::CComVariant got;
    ASSERT_HRESULT_SUCCEEDED(DispGet(control_, L"Item", got.Put(), {0L}));
    EXPECT_EQ(L"first", Text(got));
    // The type information's Invoke reports the control's own failure as an exception.
    EXPECT_EQ(DISP_E_EXCEPTION, DispGet(control_, L"Item", got.Put(), {1L}));
}

TEST(AutControlReplies, ANamedRequestOfANamedControlCanStillBeOverridden) {
    CAutProcess aut;
    ASSERT_HRESULT_SUCCEEDED(aut.Start(std::wstring(kAutControlsScenario) +
                                       L"reply main:7 GET_WLS_SIZE_MSG blob=0102\n"
                                       L"reply ctl GET_PROGID_MSG a=i4:5\n"));
    HWND main = aut.Window(L"main"), ctl = aut.Window(L"ctl");
    EXPECT_EQ(2u, Ask(EQuillonRequest::GetWlsSize, main, 7).blob.size());
    EXPECT_EQ((std::vector<LONG>{150, 80, 250, 110}), WlsRect(main, 8));
    CReply progId = Ask(EQuillonRequest::GetProgId, ctl);
    EXPECT_EQ(1, progId.result);
    EXPECT_EQ(VT_I4, progId.a.vt);
    EXPECT_EQ(L"Kor Test Control", Text(Ask(EQuillonRequest::GetUserType, ctl).a));
}

TEST(AutControlReplies, AWindowedControlCanHostWindowlessOnes) {
    CAutProcess aut;
    ASSERT_HRESULT_SUCCEEDED(aut.Start(std::wstring(kAutControlsScenario) +
                                       L"windowless ctl 5 KorTest.Inner rect=2,2,20,20 caption=In\n"));
    HWND ctl = aut.Window(L"ctl");
    CReply cookies = Ask(EQuillonRequest::GetWlsCookiesFromContainer, ctl);
    ASSERT_EQ(VT_ARRAY | VT_I4, cookies.a.vt);
    ASSERT_EQ(1u, cookies.a.parray->rgsabound[0].cElements);
    EXPECT_EQ(5, static_cast<const LONG*>(cookies.a.parray->pvData)[0]);
    EXPECT_EQ(5, CookieAt(ctl, 3, 3));
    EXPECT_EQ(0, CookieAt(ctl, 50, 20));
    kcom::CComPtr<IDispatch> inner, outer;
    ASSERT_HRESULT_SUCCEEDED(AutControlDispatch(ctl, 5, inner.Put()));
    ASSERT_HRESULT_SUCCEEDED(AutControlDispatch(ctl, 0, outer.Put()));
    Click(ctl, WM_LBUTTONDOWN, 3, 3);
    Click(ctl, WM_LBUTTONDOWN, 50, 20);
    EXPECT_EQ((std::vector<std::wstring>{L"WM_SETFOCUS", L"WM_LBUTTONDOWN 1,1", L"WM_LBUTTONUP 1,1"}), InputLog(inner));
    EXPECT_EQ((std::vector<std::wstring>{L"WM_LBUTTONDOWN 50,20", L"WM_LBUTTONUP 50,20"}), InputLog(outer));
}

}  // namespace
