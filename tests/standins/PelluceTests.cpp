// The Pelluce stand-in in one process: the record, the byte form of its values, and the test
// controls (counters, injected failures, the in-process responder).
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <cstddef>
#include "com/ComPtr.h"
#include "com/ComSafeArray.h"
#include "com/ComVariant.h"
#include "PelluceStub.h"
#include "contracts/QuillonRequests.h"
#include "QuillonStub.h"
#include "WireRecord.h"

namespace {

// Round trip of one VARIANT through its byte form.
HRESULT Carry(const VARIANT& in, VARIANT* out) {
    std::vector<BYTE> bytes;
    HRESULT hr = CWireRecord::WriteVariant(bytes, in);
    if (FAILED(hr)) return hr;
    const BYTE* p = bytes.data();
    hr = CWireRecord::ReadVariant(p, bytes.data() + bytes.size(), out);
    if (SUCCEEDED(hr) && p != bytes.data() + bytes.size()) return E_UNEXPECTED;
    return hr;
}

TEST(PelluceRecord, ConstructionAndDestructionOwnEverythingOnce) {
    kcom::CComPtr<IStream> stream;
    ASSERT_HRESULT_SUCCEEDED(::CreateStreamOnHGlobal(nullptr, TRUE, stream.Put()));
    {
        CAcxParamHelper params;
        params.pStream = stream;
        params.pStream->AddRef();
        params.varA.vt = VT_UNKNOWN;
        params.varA.punkVal = stream;
        stream->AddRef();
        const BYTE four[4] = {1, 2, 3, 4};
        ASSERT_HRESULT_SUCCEEDED(PelluceStub_SetBlob(&params, four, 4));
        EXPECT_EQ(4u, params.cbBlob);
        EXPECT_EQ(3, params.pBlob[2]);
    }
    // Only this test's own reference remains.
    EXPECT_EQ(1u, stream->AddRef() - 1);
    stream->Release();
}

TEST(PelluceWire, ScalarsAndStringsKeepTypeAndValue) {
    const VARTYPE types[] = {VT_EMPTY, VT_NULL, VT_I2, VT_I4, VT_UI4, VT_BOOL, VT_R8};
    for (VARTYPE vt : types) {
        VARIANT in{};
        in.vt = vt;
        if (vt == VT_R8) in.dblVal = -2.5;
        else if (vt == VT_BOOL) in.boolVal = VARIANT_TRUE;
        else if (vt == VT_I2) in.iVal = -7;
        else if (vt != VT_EMPTY && vt != VT_NULL) in.lVal = -123456;
        kcom::CComVariant out;
        ASSERT_HRESULT_SUCCEEDED(Carry(in, &out)) << vt;
        EXPECT_EQ(vt, out.vt);
        EXPECT_EQ(in.llVal, out.llVal) << vt;
    }

    // A null BSTR and an empty one stay apart; embedded zeros survive.
    VARIANT nullString{};
    nullString.vt = VT_BSTR;
    kcom::CComVariant out;
    ASSERT_HRESULT_SUCCEEDED(Carry(nullString, &out));
    EXPECT_EQ(VT_BSTR, out.vt);
    EXPECT_EQ(nullptr, out.bstrVal);
    kcom::CComVariant empty(L"");
    ASSERT_HRESULT_SUCCEEDED(Carry(empty, &out));
    ASSERT_NE(nullptr, out.bstrVal);
    EXPECT_EQ(0u, ::SysStringLen(out.bstrVal));
    kcom::CComVariant zeros;
    zeros.vt = VT_BSTR;
    zeros.bstrVal = ::SysAllocStringLen(L"a\0b", 3);
    ASSERT_HRESULT_SUCCEEDED(Carry(zeros, &out));
    EXPECT_EQ(3u, ::SysStringLen(out.bstrVal));
    EXPECT_EQ(L'b', out.bstrVal[2]);
}

TEST(PelluceWire, ArraysKeepDimensionsBoundsAndCells) {
    // Two dimensions with lower bounds that are not zero.
    SAFEARRAYBOUND bounds[2] = {{3, -1}, {2, 5}};
    kcom::CComVariant table;
    table.vt = VT_ARRAY | VT_VARIANT;
    table.parray = ::SafeArrayCreate(VT_VARIANT, 2, bounds);
    LONG at[2] = {1, 6};
    kcom::CComVariant cell(L"cell");
    ASSERT_HRESULT_SUCCEEDED(::SafeArrayPutElement(table.parray, at, &cell));
    // A nested array in another cell.
    SAFEARRAYBOUND inner{2, 0};
    kcom::CComVariant nested;
    nested.vt = VT_ARRAY | VT_BSTR;
    nested.parray = ::SafeArrayCreate(VT_BSTR, 1, &inner);
    LONG at2[2] = {-1, 5};
    ASSERT_HRESULT_SUCCEEDED(::SafeArrayPutElement(table.parray, at2, &nested));

    kcom::CComVariant out;
    ASSERT_HRESULT_SUCCEEDED(Carry(table, &out));
    ASSERT_EQ(VT_ARRAY | VT_VARIANT, out.vt);
    ASSERT_EQ(2u, ::SafeArrayGetDim(out.parray));
    // Counts and lower bounds of both dimensions, as the descriptors hold them.
    EXPECT_EQ(0, memcmp(table.parray->rgsabound, out.parray->rgsabound, 2 * sizeof(SAFEARRAYBOUND)));
    kcom::CComVariant back;
    ASSERT_HRESULT_SUCCEEDED(::SafeArrayGetElement(out.parray, at, &back));
    EXPECT_STREQ(L"cell", back.bstrVal);
    back.Clear();
    ASSERT_HRESULT_SUCCEEDED(::SafeArrayGetElement(out.parray, at2, &back));
    EXPECT_EQ(VT_ARRAY | VT_BSTR, back.vt);

    SAFEARRAYBOUND one{4, 0};
    kcom::CComVariant numbers;
    numbers.vt = VT_ARRAY | VT_I4;
    numbers.parray = ::SafeArrayCreate(VT_I4, 1, &one);
    static_cast<LONG*>(numbers.parray->pvData)[3] = 99;
    ASSERT_HRESULT_SUCCEEDED(Carry(numbers, &out));
    EXPECT_EQ(99, static_cast<LONG*>(out.parray->pvData)[3]);
}

TEST(PelluceWire, RefusesWhatItCannotCarryAndMalformedBytes) {
    kcom::CComPtr<IStream> stream;
    ASSERT_HRESULT_SUCCEEDED(::CreateStreamOnHGlobal(nullptr, TRUE, stream.Put()));
    kcom::CComVariant object(static_cast<IUnknown*>(stream.get()));
    kcom::CComVariant out;
    EXPECT_EQ(DISP_E_BADVARTYPE, Carry(object, &out));
    SAFEARRAYBOUND one{1, 0};
    kcom::CComVariant doubles;
    doubles.vt = VT_ARRAY | VT_R8;
    doubles.parray = ::SafeArrayCreate(VT_R8, 1, &one);
    EXPECT_EQ(DISP_E_BADVARTYPE, Carry(doubles, &out));

    CWireRecord record;
    record.request = 0xC123;
    record.a = kcom::CComVariant(L"text");
    record.hasBlob = true;
    record.blob = {1, 2, 3};
    record.blobLength = 3;
    std::vector<BYTE> bytes;
    ASSERT_HRESULT_SUCCEEDED(record.Write(bytes));
    CWireRecord back;
    ASSERT_HRESULT_SUCCEEDED(back.Read(bytes.data(), bytes.size()));
    EXPECT_EQ(0xC123u, back.request);
    EXPECT_STREQ(L"text", back.a.bstrVal);
    EXPECT_EQ(3u, back.blob.size());
    EXPECT_FALSE(back.hasStream);
    // Every truncation, and one byte too many, is refused.
    for (size_t n = 0; n < bytes.size(); ++n) EXPECT_EQ(E_INVALIDARG, back.Read(bytes.data(), n)) << n;
    bytes.push_back(0);
    EXPECT_EQ(E_INVALIDARG, back.Read(bytes.data(), bytes.size()));
    // A count far beyond the bytes that follow allocates nothing.
    std::vector<BYTE> huge = {static_cast<BYTE>(VT_ARRAY | VT_I4), static_cast<BYTE>((VT_ARRAY | VT_I4) >> 8), 1, 0,
                              0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0};
    const BYTE* p = huge.data();
    EXPECT_EQ(E_INVALIDARG, CWireRecord::ReadVariant(p, huge.data() + huge.size(), &out));
}

struct CResponderLog {
    int calls = 0;
    std::wstring lastName;
};

long ShortBlobResponder(void* context, ULONG, HWND, ULONG, const wchar_t* name, CAcxParamHelper* params) {
    auto* log = static_cast<CResponderLog*>(context);
    ++log->calls;
    log->lastName = name;
    const BYTE twelve[12] = {};
    PelluceStub_SetBlob(params, twelve, sizeof twelve);
    params->lResult = 1;
    return 0;
}

long SilentResponder(void* context, ULONG, HWND, ULONG, const wchar_t*, CAcxParamHelper*) {
    ++static_cast<CResponderLog*>(context)->calls;
    return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
}

class PelluceControls : public ::testing::Test {
protected:
    void SetUp() override {
        PelluceStub_Reset();
        ASSERT_HRESULT_SUCCEEDED(PelluceStub_CreateChannel(100, channel_.Put()));
    }
    void TearDown() override { PelluceStub_Reset(); }
    long Send(EQuillonRequest request, CAcxParamHelper& params, IOutputChannel* channel) {
        return CPelluce::SendMessageByOCh(::RegisterWindowMessageW(kQuillonCarrierMessage), params.hWnd,
                                          RegisterQuillonMessage(request), params, channel);
    }
    kcom::CComPtr<IOutputChannel> channel_;
};

TEST_F(PelluceControls, ResponderAnswersInThisProcess) {
    CResponderLog log;
    PelluceStub_SetResponder(ShortBlobResponder, &log);
    CAcxParamHelper params;
    EXPECT_EQ(0, Send(EQuillonRequest::GetWlsSize, params, channel_));
    EXPECT_EQ(1, log.calls);
    EXPECT_EQ(L"GET_WLS_SIZE_MSG", log.lastName);
    EXPECT_EQ(12u, params.cbBlob);
    EXPECT_EQ(1, params.lResult);

    PelluceStub_SetResponder(SilentResponder, &log);
    CAcxParamHelper silent;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_TIMEOUT), Send(EQuillonRequest::GetWlsSize, silent, channel_));
    EXPECT_EQ(2, log.calls);
}

TEST_F(PelluceControls, InjectedFailuresAndMissingChannelAreCountedButNotSent) {
    CResponderLog log;
    PelluceStub_SetResponder(ShortBlobResponder, &log);
    PelluceStub_FailNext(2, E_ACCESSDENIED);
    CAcxParamHelper params;
    params.lResult = 5;
    EXPECT_EQ(E_ACCESSDENIED, Send(EQuillonRequest::IsActiveX, params, channel_));
    EXPECT_EQ(E_ACCESSDENIED, Send(EQuillonRequest::IsActiveX, params, channel_));
    EXPECT_EQ(5, params.lResult);
    EXPECT_EQ(0, log.calls);
    EXPECT_EQ(0, Send(EQuillonRequest::IsActiveX, params, channel_));
    EXPECT_EQ(1, log.calls);
    EXPECT_LT(Send(EQuillonRequest::GetListener, params, nullptr), 0);
    EXPECT_EQ(1, log.calls);
    EXPECT_EQ(3, PelluceStub_GetCount(L"IS_ACTIVEX_MSG"));
    EXPECT_EQ(1, PelluceStub_GetCount(L"GET_LISTENER"));
    EXPECT_EQ(4, PelluceStub_GetTotalCount());
    PelluceStub_Reset();
    EXPECT_EQ(0, PelluceStub_GetTotalCount());
    EXPECT_EQ(0, PelluceStub_GetCount(L"IS_ACTIVEX_MSG"));
}

TEST_F(PelluceControls, MessagesWithoutARegisteredNameAreCountedByNumber) {
    PelluceStub_FailNext(1, E_FAIL);
    CAcxParamHelper params;
    EXPECT_LT(CPelluce::SendMessageByOCh(1, nullptr, WM_USER + 5, params, channel_), 0);
    EXPECT_EQ(1, PelluceStub_GetCount((L"#" + std::to_wstring(WM_USER + 5)).c_str()));
}

class PelluceScenario : public PelluceControls {
protected:
    void SetUp() override {
        PelluceControls::SetUp();
        const QuillonStubWindow windows[] = {{L"box", box_}, {L"ctl", ctl_}};
        ASSERT_HRESULT_SUCCEEDED(PelluceStub_SetScenario(LR"(
fact ctl activex=1 progid=A.B dispatch=1
prop ctl Value=i4:4
fact box containers=ctl,ctl containercount=3
reply ctl GET_WLS_SIZE_MSG result=1 blob=000000000000000000000000
reply ctl GET_USERTYPE_MSG answer=0
reply ctl GET_LISTENER hang=5000
point box 3 5 ctl 11 after=1
)", windows, 2));
    }
    long SendTo(EQuillonRequest request, HWND window, CAcxParamHelper& params) {
        params.hWnd = window;
        return Send(request, params, channel_);
    }
    // Any numbers do: nothing here looks at real windows.
    HWND box_ = reinterpret_cast<HWND>(0x10010);
    HWND ctl_ = reinterpret_cast<HWND>(0x10020);
};

TEST_F(PelluceScenario, OddRepliesComeFromTheScenarioWithoutAnotherProcess) {
    CAcxParamHelper size;
    ASSERT_EQ(0, SendTo(EQuillonRequest::GetWlsSize, ctl_, size));
    EXPECT_EQ(12u, size.cbBlob);
    ASSERT_NE(nullptr, size.pBlob);

    CAcxParamHelper containers;
    containers.lResult = static_cast<LONG>(reinterpret_cast<UINT_PTR>(box_));
    ASSERT_EQ(0, SendTo(EQuillonRequest::GetContainers, box_, containers));
    EXPECT_EQ(3, containers.lResult);
    ASSERT_EQ(VT_ARRAY | VT_VARIANT, containers.varA.vt);
    EXPECT_EQ(2u, containers.varA.parray->rgsabound[0].cElements);

    CAcxParamHelper silent;
    silent.lResult = 8;
    EXPECT_EQ(E_FAIL, SendTo(EQuillonRequest::GetUserType, ctl_, silent));
    EXPECT_EQ(8, silent.lResult);

    // A stall past the channel's time-out fails after the time-out, not after the stall: within the
    // time-out, the request's own time where the scenario answers at once (up to half a time-out)
    // and half a time-out for the lateness of the wait, so that one time-out more still fails.
    constexpr DWORD kTimeoutMs = 400;
    kcom::CComPtr<IOutputChannel> channel;
    ASSERT_HRESULT_SUCCEEDED(PelluceStub_CreateChannel(kTimeoutMs, channel.Put()));
    CAcxParamHelper atOnce, stalled;
    atOnce.hWnd = box_;
    DWORD start = ::GetTickCount();
    ASSERT_EQ(0, Send(EQuillonRequest::GetListener, atOnce, channel));
    const DWORD own = ::GetTickCount() - start;
    stalled.hWnd = ctl_;
    start = ::GetTickCount();
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_TIMEOUT), Send(EQuillonRequest::GetListener, stalled, channel));
    EXPECT_LT(::GetTickCount() - start, kTimeoutMs + std::min(own, kTimeoutMs / 2) + kTimeoutMs / 2);
    EXPECT_EQ(nullptr, stalled.pStream);

    CAcxParamHelper point;
    point.lCookie = 3 + (5 << 16);
    ASSERT_EQ(0, SendTo(EQuillonRequest::GetCookieFromPoint, box_, point));
    EXPECT_EQ(0, point.lResult);
    ASSERT_EQ(0, SendTo(EQuillonRequest::GetCookieFromPoint, box_, point));
    EXPECT_EQ(1, point.lResult);
    EXPECT_EQ(11, point.lCookie);
    EXPECT_EQ(ctl_, point.hWnd);
}

TEST_F(PelluceScenario, DispatchAndRecordsWorkInProcessToo) {
    CAcxParamHelper params;
    ASSERT_EQ(0, SendTo(EQuillonRequest::Hwnd2IDispatch, ctl_, params));
    ASSERT_NE(nullptr, params.pStream);
    kcom::CComPtr<IDispatch> object;
    ASSERT_HRESULT_SUCCEEDED(::CoUnmarshalInterface(params.pStream, IID_IDispatch, reinterpret_cast<void**>(object.Put())));
    DISPID id = 0;
    LPOLESTR name[1] = {const_cast<LPOLESTR>(L"Value")};
    ASSERT_HRESULT_SUCCEEDED(object->GetIDsOfNames(IID_NULL, name, 1, 0, &id));
    kcom::CComVariant value;
    DISPPARAMS none{};
    ASSERT_HRESULT_SUCCEEDED(object->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr));
    EXPECT_EQ(4, value.lVal);

    CAcxParamHelper data;
    data.varA.vt = VT_I4;
    data.varA.lVal = 3;
    ASSERT_EQ(0, SendTo(EQuillonRequest::SetAgentData, ctl_, data));
    CAcxParamHelper log;
    log.hWnd = ctl_;
    ASSERT_EQ(0, CPelluce::SendMessageByOCh(::RegisterWindowMessageW(kQuillonCarrierMessage), ctl_,
                                            ::RegisterWindowMessageW(kQuillonStubLogMessage), log, channel_));
    EXPECT_EQ(1, log.lResult);

    // Back to sending for real: nothing answers these numbers.
    ASSERT_HRESULT_SUCCEEDED(PelluceStub_SetScenario(nullptr, nullptr, 0));
    CAcxParamHelper real;
    EXPECT_LT(SendTo(EQuillonRequest::IsActiveX, ctl_, real), 0);
    EXPECT_EQ(E_INVALIDARG, PelluceStub_SetScenario(L"frobnicate\n", nullptr, 0));
}

}  // namespace
