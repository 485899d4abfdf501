// Hook requests carried by Pelluce into a real application-under-test process and answered by
// the hook side of Quillon there.
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <string>
#include <thread>
#include "AutProcess.h"
#include "com/ComBSTR.h"
#include "com/ComPtr.h"
#include "com/ComSafeArray.h"
#include "com/ComVariant.h"
#include "com/Handles.h"
#include "PelluceStub.h"
#include "contracts/QuillonRequests.h"

namespace {

const wchar_t kScenario[] = LR"(
window main - text=Main
window grid KorGrid parent=main rect=10,10,200,100
window plain STATIC parent=main text=plain rect=10,120,100,30
fact grid activex=5 progid=MSFlexGrid.Grid.1 usertype="Flex Grid" dispatch=1 listener=1
fact grid createtime=777 inproc=i4:0x1234 handlecookie=9
prop grid Caption=bstr:Hello Rows=i4:3 Flag=bool:1
method grid Add=i4:42
fact grid:7 progid=Wls.Button rect=i4[]:1,2,31,22 visible=1
fact main cookies=i4[3x1]:7,8,9 containers=grid,plain containercount=2
point main -1 5 grid 7 after=2
reply plain GET_WLS_SIZE_MSG result=1 blob=0102030405060708090A0B0C
reply plain GET_USERTYPE_MSG hang=1000
reply plain GET_PROGID_MSG answer=0
)";
constexpr DWORD kHangMs = 1000;     // plain's user type, above
constexpr DWORD kChannelMs = 2000;  // what an answer at once is given

// A bound on a send that must not wait a time-out of timeoutMs: what it does wait, its own time
// measured where the hook answers at once, and half that time-out for the lateness of waits. Its
// own time counts up to half the time-out, so that one time-out more fails on any machine.
DWORD NotWaiting(DWORD timeoutMs, DWORD waitedMs, DWORD ownMs) {
    return waitedMs + std::min(ownMs, timeoutMs / 2) + timeoutMs / 2;
}

class HookRoundTrip : public ::testing::Test {
protected:
    void SetUp() override {
        PelluceStub_Reset();
        ASSERT_HRESULT_SUCCEEDED(aut_.Start(kScenario));
        ASSERT_HRESULT_SUCCEEDED(PelluceStub_CreateChannel(kChannelMs, channel_.Put()));
        ASSERT_HRESULT_SUCCEEDED(PelluceStub_CreateChannel(kHangMs + kChannelMs, stalled_.Put()));
        carrier_ = ::RegisterWindowMessageW(kQuillonCarrierMessage);
    }

    long Send(EQuillonRequest request, HWND target, CAcxParamHelper& params, IOutputChannel* channel = nullptr) {
        return CPelluce::SendMessageByOCh(carrier_, target, RegisterQuillonMessage(request), params,
                                          channel ? channel : channel_.get());
    }
    long Send(EQuillonRequest request, const wchar_t* window, CAcxParamHelper& params, LONG cookie = 0) {
        params.hWnd = aut_.Window(window);
        params.lCookie = cookie;
        return Send(request, params.hWnd, params);
    }
    // How long the request takes here and now when the hook answers it at once.
    DWORD OwnMs(EQuillonRequest request, const wchar_t* window) {
        CAcxParamHelper params;
        const DWORD start = ::GetTickCount();
        EXPECT_EQ(0, Send(request, window, params)) << QuillonRequestName(request);
        return ::GetTickCount() - start;
    }

    CAutProcess aut_;
    kcom::CComPtr<IOutputChannel> channel_;
    kcom::CComPtr<IOutputChannel> stalled_;  // a reply behind the hang still beats it
    UINT carrier_ = 0;
};

std::wstring Text(const VARIANT& v) { return v.vt == VT_BSTR && v.bstrVal ? v.bstrVal : L"<not a string>"; }

void PutText(VARIANT& v, const wchar_t* text) {
    v.vt = VT_BSTR;
    v.bstrVal = ::SysAllocString(text);
}

TEST_F(HookRoundTrip, ApplicationPublishesRealWindowsAndANotifyRecord) {
    HWND grid = aut_.Window(L"grid");
    ASSERT_TRUE(::IsWindow(grid));
    DWORD pid = 0;
    EXPECT_EQ(aut_.ThreadId(), ::GetWindowThreadProcessId(grid, &pid));
    EXPECT_EQ(aut_.ProcessId(), pid);
    EXPECT_EQ(aut_.Window(L"main"), ::GetParent(grid));
    wchar_t cls[64] = {};
    ::GetClassNameW(grid, cls, 64);
    EXPECT_STREQ(L"KorGrid", cls);
    wchar_t text[64] = {};
    ::GetWindowTextW(aut_.Window(L"plain"), text, 64);
    EXPECT_STREQ(L"plain", text);

    kcom::CHandle process(::OpenProcess(PROCESS_VM_READ, FALSE, aut_.ProcessId()));
    ASSERT_TRUE(process);
    NMHDR notify{};
    SIZE_T read = 0;
    ASSERT_TRUE(::ReadProcessMemory(process, reinterpret_cast<LPCVOID>(aut_.NotifyAddress()), &notify, sizeof notify, &read));
    EXPECT_EQ(sizeof notify, read);
    EXPECT_NE(nullptr, notify.hwndFrom);
    EXPECT_EQ(1u, notify.idFrom);
}

TEST_F(HookRoundTrip, ScalarAndStringRepliesComeBackInTheRecord) {
    CAcxParamHelper probe;
    ASSERT_EQ(0, Send(EQuillonRequest::IsActiveX, L"grid", probe));
    EXPECT_EQ(5, probe.lResult);
    EXPECT_EQ(aut_.Window(L"grid"), probe.hWnd);

    CAcxParamHelper plain;
    ASSERT_EQ(0, Send(EQuillonRequest::IsActiveX, L"plain", plain));
    EXPECT_EQ(0, plain.lResult);  // answered: not an ActiveX control

    CAcxParamHelper progId;
    ASSERT_EQ(0, Send(EQuillonRequest::GetProgId, L"grid", progId));
    EXPECT_EQ(1, progId.lResult);
    EXPECT_EQ(L"MSFlexGrid.Grid.1", Text(progId.varA));

    CAcxParamHelper wls;
    ASSERT_EQ(0, Send(EQuillonRequest::GetWlsProgId, L"grid", wls, 7));
    EXPECT_EQ(L"Wls.Button", Text(wls.varA));

    CAcxParamHelper numbers;
    ASSERT_EQ(0, Send(EQuillonRequest::GetCreateTime, L"grid", numbers));
    EXPECT_EQ(777, numbers.lResult);
    ASSERT_EQ(0, Send(EQuillonRequest::GetInprocUnknown, L"grid", numbers));
    EXPECT_EQ(1, numbers.lResult);
    EXPECT_EQ(0x1234, numbers.lCookie);

    CAcxParamHelper prop;
    PutText(prop.varA, L"Rows");
    ASSERT_EQ(0, Send(EQuillonRequest::GetActiveXProperty, L"grid", prop));
    EXPECT_EQ(1, prop.lResult);
    EXPECT_EQ(VT_I4, prop.varA.vt);
    EXPECT_EQ(3, prop.varA.lVal);

    CAcxParamHelper names;
    ASSERT_EQ(0, Send(EQuillonRequest::GetActiveXPropertiesName, L"grid", names));
    EXPECT_EQ(L"Caption\tRows\tFlag", Text(names.varA));
}

TEST_F(HookRoundTrip, BlobsArriveWithTheirOwnLength) {
    CAcxParamHelper size;
    ASSERT_EQ(0, Send(EQuillonRequest::GetWlsSize, L"grid", size, 7));
    EXPECT_EQ(1, size.lResult);
    ASSERT_NE(nullptr, size.pBlob);
    ASSERT_EQ(16u, size.cbBlob);
    const RECT* r = reinterpret_cast<const RECT*>(size.pBlob);
    EXPECT_EQ(1, r->left);
    EXPECT_EQ(2, r->top);
    EXPECT_EQ(31, r->right);
    EXPECT_EQ(22, r->bottom);

    CAcxParamHelper shortBlob;
    ASSERT_EQ(0, Send(EQuillonRequest::GetWlsSize, L"plain", shortBlob));
    EXPECT_EQ(12u, shortBlob.cbBlob);
    ASSERT_NE(nullptr, shortBlob.pBlob);
    EXPECT_EQ(0x0C, shortBlob.pBlob[11]);
}

TEST_F(HookRoundTrip, ArraysKeepTheirShapeAndBounds) {
    CAcxParamHelper cookies;
    ASSERT_EQ(0, Send(EQuillonRequest::GetWlsCookiesFromContainer, L"main", cookies));
    ASSERT_EQ(VT_ARRAY | VT_I4, cookies.varA.vt);
    SAFEARRAY* psa = cookies.varA.parray;
    ASSERT_EQ(2u, psa->cDims);
    EXPECT_EQ(3u, psa->rgsabound[0].cElements);  // rows
    EXPECT_EQ(1u, psa->rgsabound[1].cElements);  // one column
    LONG cell = 0, index[2] = {0, 2};            // {column, row}
    ASSERT_HRESULT_SUCCEEDED(::SafeArrayGetElement(psa, index, &cell));
    EXPECT_EQ(9, cell);

    // Two names asked for in column 0 of a 2 x 2 table; the values come back one per row.
    CAcxParamHelper props;
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
    props.varA.vt = VT_ARRAY | VT_VARIANT;
    props.varA.parray = ::SafeArrayCreate(VT_VARIANT, 2, bounds);
    kcom::CComVariant caption(L"Caption"), missing(L"Nothing");
    LONG at[2] = {0, 0};
    ASSERT_HRESULT_SUCCEEDED(::SafeArrayPutElement(props.varA.parray, at, &caption));
    at[1] = 1;
    ASSERT_HRESULT_SUCCEEDED(::SafeArrayPutElement(props.varA.parray, at, &missing));
    ASSERT_EQ(0, Send(EQuillonRequest::GetProperties, L"grid", props));
    EXPECT_EQ(1, props.lResult);
    ASSERT_EQ(VT_ARRAY | VT_VARIANT, props.varB.vt);
    EXPECT_EQ(2u, props.varB.parray->rgsabound[0].cElements);
    kcom::CComVariant value;
    LONG row0[2] = {0, 0}, row1[2] = {0, 1};
    ASSERT_HRESULT_SUCCEEDED(::SafeArrayGetElement(props.varB.parray, row0, &value));
    EXPECT_EQ(L"Hello", Text(value));
    value.Clear();
    ASSERT_HRESULT_SUCCEEDED(::SafeArrayGetElement(props.varB.parray, row1, &value));
    EXPECT_EQ(VT_EMPTY, value.vt);

    // The window travels in the result field; the reply's count there may differ from the array.
    CAcxParamHelper containers;
    containers.lResult = static_cast<LONG>(reinterpret_cast<UINT_PTR>(aut_.Window(L"main")));
    ASSERT_EQ(0, Send(EQuillonRequest::GetContainers, aut_.Window(L"main"), containers));
    EXPECT_EQ(2, containers.lResult);
    ASSERT_EQ(VT_ARRAY | VT_VARIANT, containers.varA.vt);
    EXPECT_EQ(1u, containers.varA.parray->cDims);
    EXPECT_EQ(2u, containers.varA.parray->rgsabound[0].cElements);
}

TEST_F(HookRoundTrip, MarshalledDispatchIsServedByTheApplication) {
    CAcxParamHelper params;
    ASSERT_EQ(0, Send(EQuillonRequest::Hwnd2IDispatch, L"grid", params));
    ASSERT_EQ(1, params.lResult);
    ASSERT_NE(nullptr, params.pStream);
    LARGE_INTEGER zero{};
    ASSERT_HRESULT_SUCCEEDED(params.pStream->Seek(zero, STREAM_SEEK_SET, nullptr));
    kcom::CComPtr<IDispatch> control;
    ASSERT_HRESULT_SUCCEEDED(::CoUnmarshalInterface(params.pStream, IID_IDispatch, reinterpret_cast<void**>(control.Put())));

    auto get = [&](const wchar_t* name, VARIANT* out) {
        DISPID id = 0;
        LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
        HRESULT hr = control->GetIDsOfNames(IID_NULL, names, 1, 0x800, &id);
        if (FAILED(hr)) return hr;
        DISPPARAMS none{};
        return control->Invoke(id, IID_NULL, 0x400, DISPATCH_PROPERTYGET, &none, out, nullptr, nullptr);
    };
    kcom::CComVariant pid, caption;
    ASSERT_HRESULT_SUCCEEDED(get(L"ProcessId", &pid));
    EXPECT_EQ(static_cast<LONG>(aut_.ProcessId()), pid.lVal);
    EXPECT_NE(static_cast<LONG>(::GetCurrentProcessId()), pid.lVal);
    ASSERT_HRESULT_SUCCEEDED(get(L"Caption", &caption));
    EXPECT_EQ(L"Hello", Text(caption));

    // A property written through the proxy is what the hook answers next.
    DISPID id = 0;
    LPOLESTR names[1] = {const_cast<LPOLESTR>(L"Caption")};
    ASSERT_HRESULT_SUCCEEDED(control->GetIDsOfNames(IID_NULL, names, 1, 0x800, &id));
    kcom::CComVariant changed(L"Changed");
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS put{&changed, &named, 1, 1};
    ASSERT_HRESULT_SUCCEEDED(control->Invoke(id, IID_NULL, 0x400, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr, nullptr));
    CAcxParamHelper read;
    PutText(read.varA, L"caption");
    ASSERT_EQ(0, Send(EQuillonRequest::GetActiveXProperty, L"grid", read));
    EXPECT_EQ(L"Changed", Text(read.varA));

    CAcxParamHelper listener;
    ASSERT_EQ(0, Send(EQuillonRequest::GetListener, L"grid", listener));
    ASSERT_NE(nullptr, listener.pStream);
    kcom::CComPtr<IDispatch> sink;
    ASSERT_HRESULT_SUCCEEDED(::CoUnmarshalInterface(listener.pStream, IID_IDispatch, reinterpret_cast<void**>(sink.Put())));
    control = sink;
    kcom::CComVariant role;
    ASSERT_HRESULT_SUCCEEDED(get(L"Role", &role));
    EXPECT_EQ(L"listener", Text(role));

    CAcxParamHelper none;
    ASSERT_EQ(0, Send(EQuillonRequest::Hwnd2IDispatch, L"plain", none));
    EXPECT_EQ(0, none.lResult);
    EXPECT_EQ(nullptr, none.pStream);
}

TEST_F(HookRoundTrip, SettersAndInvocationsAreRecordedByTheHook) {
    CAcxParamHelper set;
    PutText(set.varA, L"Rows");
    set.varB.vt = VT_I4;
    set.varB.lVal = 12;
    ASSERT_EQ(0, Send(EQuillonRequest::SetActiveXProperty, L"grid", set));
    EXPECT_EQ(1, set.lResult);

    CAcxParamHelper invoke;
    SAFEARRAYBOUND bound{2, 0};
    invoke.varA.vt = VT_ARRAY | VT_VARIANT;
    invoke.varA.parray = ::SafeArrayCreate(VT_VARIANT, 1, &bound);
    kcom::CComVariant one(1L), two(L"two");
    LONG i = 0;
    ASSERT_HRESULT_SUCCEEDED(::SafeArrayPutElement(invoke.varA.parray, &i, &one));
    i = 1;
    ASSERT_HRESULT_SUCCEEDED(::SafeArrayPutElement(invoke.varA.parray, &i, &two));
    PutText(invoke.varB, L"Add");
    ASSERT_EQ(0, Send(EQuillonRequest::InvokeActiveX, L"grid", invoke));
    EXPECT_EQ(1, invoke.lResult);
    EXPECT_EQ(VT_ARRAY | VT_VARIANT, invoke.varA.vt);
    EXPECT_EQ(VT_I4, invoke.varB.vt);
    EXPECT_EQ(42, invoke.varB.lVal);

    CAcxParamHelper data;
    PutText(data.varA, L"payload");
    ASSERT_EQ(0, Send(EQuillonRequest::SetAgentData, L"grid", data));
    EXPECT_EQ(1, data.lResult);

    const std::vector<std::wstring> log = aut_.HookLog();
    ASSERT_EQ(3u, log.size());
    EXPECT_EQ(L"SET_ACTIVEX_PROPERTY_MSG grid:0 Rows=i4:12", log[0]);
    EXPECT_EQ(L"INVOKE_ACTIVEX_MSG grid:0 bstr:Add var[]:i4:1|bstr:two", log[1]);
    EXPECT_EQ(L"SET_AGENT_DATA grid:0 bstr:payload", log[2]);

    CAcxParamHelper read;
    PutText(read.varA, L"Rows");
    ASSERT_EQ(0, Send(EQuillonRequest::GetActiveXProperty, L"grid", read));
    EXPECT_EQ(12, read.varA.lVal);
}

TEST_F(HookRoundTrip, EveryRequestNameReachesTheHookAndIsCountedOnBothSides) {
    EXPECT_EQ(0, PelluceStub_GetCount(L"GET_PROGID_MSG"));
    CAcxParamHelper twice;
    for (int i = 0; i < 2; ++i) ASSERT_EQ(0, Send(EQuillonRequest::GetWlsSize, L"grid", twice, 7));
    for (int i = 0; i < static_cast<int>(EQuillonRequest::Count); ++i) {
        const auto request = static_cast<EQuillonRequest>(i);
        CAcxParamHelper params;
        params.hWnd = aut_.Window(L"grid");
        if (request == EQuillonRequest::GetContainers) params.lResult = static_cast<LONG>(reinterpret_cast<UINT_PTR>(params.hWnd));
        EXPECT_EQ(0, Send(request, params.hWnd, params)) << QuillonRequestName(request);
    }
    for (int i = 0; i < static_cast<int>(EQuillonRequest::Count); ++i) {
        const wchar_t* name = QuillonRequestName(static_cast<EQuillonRequest>(i));
        const int expected = static_cast<EQuillonRequest>(i) == EQuillonRequest::GetWlsSize ? 3 : 1;
        EXPECT_EQ(expected, aut_.HookCount(name)) << name;
        EXPECT_EQ(expected, PelluceStub_GetCount(name)) << name;
    }
    EXPECT_EQ(static_cast<LONG>(EQuillonRequest::Count), PelluceStub_GetCount(L"QuillonStub_msg_COUNT"));
    aut_.ResetHook();
    EXPECT_EQ(0, aut_.HookCount(L"GET_WLS_SIZE_MSG"));
}

TEST_F(HookRoundTrip, StreamBytesTravelBothWays) {
    CAcxParamHelper params;
    ASSERT_HRESULT_SUCCEEDED(::CreateStreamOnHGlobal(nullptr, TRUE, &params.pStream));
    const char bytes[] = "stream bytes";
    ASSERT_HRESULT_SUCCEEDED(params.pStream->Write(bytes, sizeof bytes, nullptr));
    ASSERT_EQ(0, Send(EQuillonRequest::IsActiveX, L"plain", params));
    ASSERT_NE(nullptr, params.pStream);
    char back[sizeof bytes] = {};
    ULONG read = 0;
    ASSERT_HRESULT_SUCCEEDED(params.pStream->Read(back, sizeof back, &read));
    EXPECT_EQ(sizeof bytes, read);
    EXPECT_STREQ(bytes, back);
}

TEST_F(HookRoundTrip, CookieFromPointAnswersAfterTheConfiguredTries) {
    CAcxParamHelper params;
    const LONG packed = static_cast<LONG>(static_cast<short>(-1)) + (static_cast<LONG>(static_cast<short>(5)) << 16);
    params.lCookie = packed;
    params.hWnd = aut_.Window(L"main");
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(0, Send(EQuillonRequest::GetCookieFromPoint, params.hWnd, params));
        EXPECT_EQ(packed, params.lCookie);
        EXPECT_EQ(0, params.lResult);
    }
    ASSERT_EQ(0, Send(EQuillonRequest::GetCookieFromPoint, params.hWnd, params));
    EXPECT_EQ(1, params.lResult);
    EXPECT_EQ(7, params.lCookie);
    EXPECT_EQ(aut_.Window(L"grid"), params.hWnd);
}

TEST_F(HookRoundTrip, UnansweredRequestsFailAndLeaveTheRecordAlone) {
    CAcxParamHelper params;
    params.hWnd = aut_.Window(L"plain");
    params.lResult = 99;
    params.lReserved1 = 4;
    params.varA.vt = VT_I4;
    params.varA.lVal = 17;
    EXPECT_LT(Send(EQuillonRequest::GetProgId, params.hWnd, params), 0);  // the hook stays silent
    EXPECT_EQ(99, params.lResult);
    EXPECT_EQ(4, params.lReserved1);
    EXPECT_EQ(aut_.Window(L"plain"), params.hWnd);
    EXPECT_EQ(17, params.varA.lVal);

    // A hook that stalls past the channel's time-out: back after that time-out, short of the stall.
    constexpr DWORD kQuickMs = 300;
    static_assert(kQuickMs * 2 < kHangMs);  // a second one would end within the stall too
    kcom::CComPtr<IOutputChannel> quick;
    ASSERT_HRESULT_SUCCEEDED(PelluceStub_CreateChannel(kQuickMs, quick.Put()));
    const DWORD own = OwnMs(EQuillonRequest::GetUserType, L"grid");
    const DWORD start = ::GetTickCount();
    EXPECT_LT(Send(EQuillonRequest::GetUserType, params.hWnd, params, quick), 0);
    EXPECT_LT(::GetTickCount() - start, NotWaiting(kQuickMs, kQuickMs, own));
    EXPECT_EQ(99, params.lResult);
    EXPECT_EQ(VT_I4, params.varA.vt);

    // The late reply must not land in the next request, which waits behind the stall.
    CAcxParamHelper next;
    next.hWnd = aut_.Window(L"grid");
    ASSERT_EQ(0, Send(EQuillonRequest::GetProgId, next.hWnd, next, stalled_));
    EXPECT_EQ(L"MSFlexGrid.Grid.1", Text(next.varA));
}

TEST_F(HookRoundTrip, OversizedAndMistypedRepliesReachTheCallerAsTheyAre) {
    CAutProcess odd;
    const std::wstring big(600000, L'x');  // 1.2 MB of text: more than a section keeps for a reply
    ASSERT_HRESULT_SUCCEEDED(odd.Start(L"window w -\nreply w GET_PROGID_MSG result=1 a=bstr:" + big +
                                       L"\nreply w GET_USERTYPE_MSG result=1 a=i4:5\n"));
    CAcxParamHelper params;
    params.hWnd = odd.Window(L"w");
    params.lResult = 7;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER), Send(EQuillonRequest::GetProgId, params.hWnd, params));
    EXPECT_EQ(7, params.lResult);
    EXPECT_EQ(VT_EMPTY, params.varA.vt);
    // The next send makes room for it.
    ASSERT_EQ(0, Send(EQuillonRequest::GetProgId, params.hWnd, params));
    ASSERT_EQ(VT_BSTR, params.varA.vt);
    EXPECT_EQ(big.size(), ::SysStringLen(params.varA.bstrVal));

    CAcxParamHelper userType;
    userType.hWnd = params.hWnd;
    ASSERT_EQ(0, Send(EQuillonRequest::GetUserType, userType.hWnd, userType));
    EXPECT_EQ(VT_I4, userType.varA.vt);
    EXPECT_EQ(5, userType.varA.lVal);
}

// A window of this thread whose procedure sends a request of its own when asked.
struct CNestedSender {
    HWND target = nullptr;
    IOutputChannel* channel = nullptr;
    long result = E_PENDING;
    std::wstring progId;
    static LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg != WM_APP) return ::DefWindowProcW(wnd, msg, wParam, lParam);
        auto* self = reinterpret_cast<CNestedSender*>(lParam);
        CAcxParamHelper params;
        params.hWnd = self->target;
        self->result = CPelluce::SendMessageByOCh(::RegisterWindowMessageW(kQuillonCarrierMessage), self->target,
                                                  RegisterQuillonMessage(EQuillonRequest::GetProgId), params,
                                                  self->channel);
        self->progId = Text(params.varA);
        return 1;
    }
};

TEST_F(HookRoundTrip, ASendMadeWhileAnotherWaitsKeepsBothReplies) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = CNestedSender::Proc;
    wc.lpszClassName = L"NestedSenderWindow";
    ::RegisterClassW(&wc);
    HWND own = ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, own);
    CNestedSender nested;
    nested.target = aut_.Window(L"grid");
    nested.channel = stalled_;  // it waits behind the stall too
    // While this thread waits on the stalled request, another thread makes it send a second one:
    // its message is pending before that send begins, and only the send's wait takes it.
    std::thread other([&] { ::SendMessageW(own, WM_APP, 0, reinterpret_cast<LPARAM>(&nested)); });
    while (!(HIWORD(::GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE)) ::Sleep(1);
    CAcxParamHelper outer;
    outer.hWnd = aut_.Window(L"plain");
    outer.lResult = 99;
    const long result = Send(EQuillonRequest::GetUserType, outer.hWnd, outer, stalled_);
    other.join();
    ::DestroyWindow(own);
    EXPECT_EQ(0, result);
    EXPECT_EQ(0, outer.lResult);  // answered: plain has no user type
    EXPECT_EQ(0, nested.result);
    EXPECT_EQ(L"MSFlexGrid.Grid.1", nested.progId);
}

TEST_F(HookRoundTrip, WindowsWithoutTheHookGiveARealFailureQuickly) {
    // A window of this process: nothing hooks it.
    HWND own = ::CreateWindowExW(0, L"STATIC", L"own", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, own);
    // None waits the channel's time-out.
    const DWORD bound = NotWaiting(kChannelMs, 0, OwnMs(EQuillonRequest::IsActiveX, L"grid"));
    CAcxParamHelper params;
    params.hWnd = own;
    const DWORD start = ::GetTickCount();
    EXPECT_LT(Send(EQuillonRequest::IsActiveX, own, params), 0);
    ::DestroyWindow(own);
    // A window that is gone.
    EXPECT_LT(Send(EQuillonRequest::IsActiveX, own, params), 0);
    EXPECT_LT(::GetTickCount() - start, bound);
    EXPECT_EQ(own, params.hWnd);

    // A process that never loaded the hook.
    CAutProcess bare;
    ASSERT_HRESULT_SUCCEEDED(bare.Start(kScenario, false));
    const DWORD again = ::GetTickCount();
    params.hWnd = bare.Window(L"grid");
    EXPECT_LT(Send(EQuillonRequest::IsActiveX, params.hWnd, params), 0);
    EXPECT_LT(::GetTickCount() - again, bound);
}

TEST_F(HookRoundTrip, AMissingChannelFailsBeforeAnythingIsSent) {
    CAcxParamHelper params;
    params.hWnd = aut_.Window(L"grid");
    EXPECT_LT(CPelluce::SendMessageByOCh(carrier_, params.hWnd, RegisterQuillonMessage(EQuillonRequest::IsActiveX),
                                         params, nullptr),
              0);
    EXPECT_EQ(0, aut_.HookCount(L"IS_ACTIVEX_MSG"));
    EXPECT_EQ(1, PelluceStub_GetCount(L"IS_ACTIVEX_MSG"));
}

}  // namespace
