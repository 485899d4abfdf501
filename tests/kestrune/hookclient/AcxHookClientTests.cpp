// The hook client against replies it must not trust: every request meets every hostile reply and
// answers with a clear HRESULT, without waiting unbounded and without keeping anything alive.
#include <gtest/gtest.h>
#include <windows.h>
#include <cstring>
#include <memory>
#include <type_traits>
#include "com/ComBSTR.h"
#include "com/ComPtr.h"
#include "com/ComSafeArray.h"
#include "com/ComVariant.h"
#include "hookclient/AcxHookClient.h"
#include "PelluceStub.h"
#include "tables/KorSafeArray.h"

namespace {

// Rides inside every hostile value: a reply the client keeps or leaks keeps it referenced.
LONG g_trackerRefs = 0;
struct CTracker : IUnknown {
    STDMETHOD(QueryInterface)(REFIID, void** out) override { *out = nullptr; return E_NOINTERFACE; }
    STDMETHOD_(ULONG, AddRef)() override { return static_cast<ULONG>(++g_trackerRefs); }
    STDMETHOD_(ULONG, Release)() override { return static_cast<ULONG>(--g_trackerRefs); }
} g_tracker;

// The fake clock of the point request's retries.
DWORD g_waitedMs = 0;
DWORD FakeWait(DWORD ms) noexcept { g_waitedMs += ms; return 0; }

// Silent: no reply at all. Untouched: the record comes back as it went. Mislabelled: an array whose
// cells are not what its VARIANT says.
enum EReply { Silent, Untouched, EmptyBlob, ShortBlob, BigBlob, WrongType, NullText, NullArray, ThreeDims,
              WrappingBounds, Mislabelled, JunkStream, kReplies };
const char* const kReplyNames[kReplies] = {"Silent", "Untouched", "EmptyBlob", "ShortBlob", "BigBlob", "WrongType",
                                           "NullText", "NullArray", "ThreeDims", "WrappingBounds", "Mislabelled",
                                           "JunkStream"};

// dims dimensions of count cells from lower, the first VARIANT cell holding the tracker.
SAFEARRAY* Cells(VARTYPE vt, USHORT dims, ULONG count, LONG lower) {
    SAFEARRAYBOUND bounds[3] = {{count, lower}, {count, lower}, {count, lower}};
    SAFEARRAY* psa = ::SafeArrayCreate(vt, dims, bounds);
    kcom::CSafeArrayDataLock data(psa);
    if (vt == VT_VARIANT && data) {
        data.get<VARIANT>()->vt = VT_UNKNOWN;
        data.get<VARIANT>()->punkVal = &g_tracker;
        g_tracker.AddRef();
    }
    return psa;
}

void PutArray(VARIANT& v, VARTYPE label, SAFEARRAY* psa) {
    v.vt = VT_ARRAY | label;
    v.parray = psa;
}

// Answers every request with the hostile reply in *context; the containers' count is the one
// each dimension of its array claims.
long Hostile(void* context, ULONG, HWND, ULONG, const wchar_t* name, CAcxParamHelper* p) {
    const EReply reply = *static_cast<EReply*>(context);
    if (reply == Silent) return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
    if (reply == Untouched) return 0;
    const bool cookies = wcscmp(name, QuillonRequestName(EQuillonRequest::GetWlsCookiesFromContainer)) == 0;
    const VARTYPE label = cookies ? VT_I4 : VT_VARIANT;
    ::VariantClear(&p->varA);
    ::VariantClear(&p->varB);
    p->lResult = 1;
    p->lCookie = 0x51;
    static const BYTE bytes[4096] = {1, 2, 3};
    LONG count = 1;
    for (VARIANT* v : {&p->varA, &p->varB}) {
        switch (reply) {
        case EmptyBlob: PelluceStub_SetBlob(p, nullptr, sizeof(RECT)); break;
        case ShortBlob: PelluceStub_SetBlob(p, bytes, 12); break;
        case BigBlob: PelluceStub_SetBlob(p, bytes, sizeof bytes); break;
        case WrongType: v->vt = VT_UNKNOWN; v->punkVal = &g_tracker; g_tracker.AddRef(); break;
        case NullText: v->vt = VT_BSTR; v->bstrVal = nullptr; break;
        case NullArray: PutArray(*v, label, nullptr); break;
        case ThreeDims: PutArray(*v, label, Cells(label, 3, count = 2, 0)); break;
        case WrappingBounds: PutArray(*v, label, Cells(label, 1, count = 2, 0x7FFFFFFF)); break;
        case Mislabelled: PutArray(*v, label, Cells(cookies ? VT_VARIANT : VT_BSTR, 1, count = 2, 0)); break;
        case JunkStream:
            if (!p->pStream && SUCCEEDED(::CreateStreamOnHGlobal(nullptr, TRUE, &p->pStream)))
                p->pStream->Write(bytes + 1, 64, nullptr);
            break;
        default: break;
        }
    }
    if (wcscmp(name, QuillonRequestName(EQuillonRequest::GetContainers)) == 0) p->lResult = count;
    return 0;
}

using Request = HRESULT (*)(CAcxHookClient& hook, HWND window);

HRESULT Invoke(CAcxHookClient& hook, HWND window, bool user) {
    kcom::CComSafeArray args(::SafeArrayCreateVector(VT_VARIANT, 0, 1));
    SAFEARRAY* lent = args.Detach();
    kcom::CComVariant result;
    const HRESULT hr = user ? hook.InvokeUserMessage(window, nullptr, nullptr, &lent, result.Put())
                            : hook.InvokeMethod(window, kcom::CComBSTR(L"Go"), &lent, result.Put());
    args.Reset(lent);
    return hr;
}

// Expected per reply, one column each in the order of EReply (S U E s B: silent, untouched, empty,
// short and big blob; T t A: wrong type, null text, null array; 3 W M J: three dimensions, wrapping
// bounds, mislabelled, junk stream): K S_OK, N S_FALSE, F E_FAIL, P E_POINTER (answered without a
// stream), T the send's own time-out, X any failure.
using H = CAcxHookClient;
#define ASK(...) [](H& h, HWND w) -> HRESULT { __VA_ARGS__ }
struct CRow {
    const char* expected;
    const char* name;
    Request request;
};
const CRow kRows[] = {
    // clang-format off
    //S U E s B T t A 3 W M J
    {"N K K K K K K K K K K K", "IsActiveX", ASK(LONG v; return h.IsActiveX(w, &v);)},
    {"N N F F F F K F F F F F", "GetProgId", ASK(kcom::CComBSTR t; return h.GetProgId(w, t.Put());)},
    {"F F F F F F K F F F F F", "GetWlsProgId", ASK(kcom::CComBSTR t; return h.GetWlsProgId(w, 1, t.Put());)},
    {"F F F F F F K F F F F F", "GetUserType", ASK(kcom::CComBSTR t; return h.GetUserType(w, 1, t.Put());)},
    {"N N P P P P P P P P P X", "GetDispatch", ASK(kcom::CComPtr<IDispatch> d; return h.GetDispatch(w, 1, d.Put());)},
    {"F F P P P P P P P P P X", "GetListener", ASK(kcom::CComPtr<IDispatch> d; return h.GetListener(w, 1, d.Put());)},
    {"N K K K K K K K K K K K", "GetProperty", ASK(kcom::CComVariant v; return h.GetProperty(w, 1, nullptr, v.Put());)},
    {"N K K K K K K K K K K K", "GetPropertyNames", ASK(kcom::CComVariant v; return h.GetPropertyNames(w, 1, v.Put());)},
    {"F K K K K K K F F F F K", "GetProperties", ASK(CKorSafeArray t(2, 2, static_cast<VARTYPE>(VT_VARIANT)); return h.GetProperties(w, 1, t.psa);)},
    {"F F K K K K K K K K K K", "SetProperty", ASK(return h.SetProperty(w, nullptr, kcom::CComVariant(L"v"));)},
    {"N N K K K K K K K K K K", "SetAgentData", ASK(return h.SetAgentData(w, kcom::CComVariant(3));)},
    {"F F F F F F F F F K F F", "InvokeMethod", ASK(return Invoke(h, w, false);)},
    {"F F F F F F F F F K F F", "InvokeUserMessage", ASK(return Invoke(h, w, true);)},
    {"N N N N N N N N K K N N", "GetWlsCookies", ASK(kcom::CComSafeArray a; return h.GetWlsCookies(w, a.Put());)},
    {"N K K K K K K K K K K K", "GetWlsSize", ASK(RECT r; return h.GetWlsSize(w, 1, &r);)},
    {"F K K K K K K K K K K K", "GetWlsVisible", ASK(BOOL b; return h.GetWlsVisible(w, 1, &b);)},
    {"N N K K K K K K K K K K", "GetCookieFromPoint", ASK(HWND c; LONG k; return h.GetCookieFromPoint(w, 3, 5, &c, &k);)},
    {"N K K K K K K K K K K K", "GetInprocUnknown", ASK(LONG v; return h.GetInprocUnknown(w, 1, &v);)},
    {"N K K K K K K K K K K K", "GetCreateTime", ASK(LONG v; return h.GetCreateTime(w, &v, 1);)},
    {"N K K K K K K K K K K K", "GetCookieFromHandle", ASK(LONG v; return h.GetCookieFromHandle(w, &v);)},
    {"T F F F F F F F F F F F", "GetContainers", ASK(kcom::CComSafeArray a; return h.GetContainers(w, a.Put());)},
    // clang-format on
};

bool Matches(char code, HRESULT hr) {
    switch (code) {
    case 'K': return hr == S_OK;
    case 'N': return hr == S_FALSE;
    case 'F': return hr == E_FAIL;
    case 'P': return hr == E_POINTER;
    case 'T': return hr == HRESULT_FROM_WIN32(ERROR_TIMEOUT);
    default: return FAILED(hr);
    }
}

TEST(AcxHookClient, EveryRequestAgainstEveryHostileReply) {
    kcom::CComPtr<IOutputChannel> channel;
    ASSERT_HRESULT_SUCCEEDED(PelluceStub_CreateChannel(100, channel.Put()));
    std::unique_ptr<std::remove_pointer_t<HWND>, decltype(&::DestroyWindow)> window(
        ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr), &::DestroyWindow);
    ASSERT_TRUE(window);
    CAcxHookClient hook(&FakeWait);
    hook.SetChannel(channel);
    EReply reply = Silent;
    PelluceStub_Reset();
    PelluceStub_SetResponder(&Hostile, &reply);
    static_assert(sizeof(kRows) / sizeof(kRows[0]) == static_cast<size_t>(EQuillonRequest::Count));
    for (const CRow& row : kRows) {
        for (int r = 0; r < kReplies; ++r) {
            reply = static_cast<EReply>(r);
            g_waitedMs = 0;
            const LONG sentBefore = PelluceStub_GetTotalCount();
            const HRESULT hr = row.request(hook, window.get());
            const char code = row.expected[2 * r];
            EXPECT_TRUE(Matches(code, hr)) << row.name << " / " << kReplyNames[r] << ": 0x" << std::hex << hr;
            EXPECT_EQ(0, g_trackerRefs) << row.name << " / " << kReplyNames[r];
            g_trackerRefs = 0;
            // A hook that keeps the point to itself is asked a hundred times, ten milliseconds apart.
            const LONG sent = PelluceStub_GetTotalCount() - sentBefore;
            EXPECT_EQ(sent > 1 ? 990u : 0u, g_waitedMs) << row.name << " / " << kReplyNames[r];
            EXPECT_EQ(strcmp(row.name, "GetCookieFromPoint") == 0 && r == Untouched ? 100 : 1, sent) << row.name;
        }
    }
    PelluceStub_Reset();
}

TEST(AcxHookClient, PointsArePackedAndStreamsAreNeeded) {
    EXPECT_EQ(static_cast<LONG>(0x0004FFFF), CAcxHookClient::PackPoint(-1, 5));
    EXPECT_EQ(static_cast<LONG>(0x00050003), CAcxHookClient::PackPoint(3, 5));
    kcom::CComPtr<IDispatch> control;
    EXPECT_EQ(E_POINTER, CAcxHookClient::UnmarshalDispatchFromStream(nullptr, control.Put()));
}

}  // namespace
