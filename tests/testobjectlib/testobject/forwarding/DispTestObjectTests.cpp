// DispTestObject called as a script calls it (names, then Invoke through IDispatch), and the
// behaviour of its own: argument clean-up, the verification switch, refresh as Init.
#include <gtest/gtest.h>
#include "HostStandIn.h"
#include "RecordingTestObject.h"
#include "com/ComBSTR.h"
#include "com/ComPtr.h"
#include "com/ComVariant.h"

using kcom::CComBSTR;
using kcom::CComPtr;
using standin::CRackStandIn;
using standin::CSettingsStandIn;
using standin::Holder;
using kcom::CComVariant;

namespace {

class DispTestObjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        kcom::CComObject<CRecordingTestObject>* p = nullptr;
        ASSERT_EQ(S_OK, kcom::CComObject<CRecordingTestObject>::CreateInstance(&p));
        object = p;
        ASSERT_EQ(S_OK, object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(dispatch.Put())));
        ASSERT_EQ(S_OK, object->QueryInterface(__uuidof(DispTestObject), reinterpret_cast<void**>(script.Put())));
    }

    DISPID Id(const wchar_t* name) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        DISPID id = DISPID_UNKNOWN;
        EXPECT_EQ(S_OK, dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
        return id;
    }
    // Arguments in script order.
    HRESULT Call(const wchar_t* name, WORD flags, std::vector<CComVariant> args, VARIANT* result,
                 EXCEPINFO* excep = nullptr) {
        std::vector<VARIANT> reversed(args.rbegin(), args.rend());
        DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
        UINT argErr = 0;
        return dispatch->Invoke(Id(name), IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, excep, &argErr);
    }
    void UseSettings(const wchar_t* name, const VARIANT* value) {
        settings = Holder<CSettingsStandIn>::New();
        if (value) settings->Put(L"", name, *value);
        rack = Holder<CRackStandIn>::New();
        rack->Put(L"TestOptions", settings.as<IKorSettings>());
        CComPtr<IObjectRackClient> client;
        ASSERT_EQ(S_OK, object->QueryInterface(__uuidof(IObjectRackClient), reinterpret_cast<void**>(client.Put())));
        ASSERT_EQ(S_OK, client->SetRack(rack.as<IObjectRack>()));
    }

    CComPtr<kcom::CComObject<CRecordingTestObject>> object;
    CComPtr<IDispatch> dispatch;
    CComPtr<DispTestObject> script;
    Holder<CSettingsStandIn> settings;
    Holder<CRackStandIn> rack;
};

}  // namespace

TEST_F(DispTestObjectTest, ScriptCallsReachTheirOperations) {
    CComVariant result;
    ASSERT_EQ(S_OK, Call(L"GetTOProperty", DISPATCH_METHOD, {CComVariant(L"text")}, result.Put()));
    EXPECT_EQ(object->Last(), "DispTestObject_GetTOProperty");
    EXPECT_STREQ(object->lastName.c_str(), L"text");
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 42);

    // Exist without an argument takes the default time-out -1.
    ASSERT_EQ(S_OK, Call(L"Exist", DISPATCH_PROPERTYGET, {}, result.Put()));
    EXPECT_EQ(object->existTimeOut, -1);
    EXPECT_EQ(result.vt, VT_BOOL);
    ASSERT_EQ(S_OK, Call(L"Exist", DISPATCH_PROPERTYGET, {CComVariant(5)}, result.Put()));
    EXPECT_EQ(object->existTimeOut, 5);

    // The script's RefreshObject re-initialises, as Init does.
    ASSERT_EQ(S_OK, Call(L"RefreshObject", DISPATCH_METHOD, {}, nullptr));
    EXPECT_EQ(object->Last(), "DispTestObject_Init");
    ASSERT_EQ(S_OK, Call(L"Highlight", DISPATCH_METHOD, {}, nullptr));
    EXPECT_EQ(object->Last(), "DispTestObject_Highlight");
}

TEST_F(DispTestObjectTest, ARaisedReplayErrorComesBackAsTheScriptError) {
    object->raise = [] { throw new CKorException(0x80040202, nullptr, 0); };
    CComVariant result;
    EXCEPINFO excep{};
    const HRESULT hr = Call(L"GetROProperty", DISPATCH_METHOD, {CComVariant(L"text")}, result.Put(), &excep);
    EXPECT_EQ(object->Last(), "DispTestObject_GetROProperty");
    ASSERT_TRUE(FAILED(hr));
    if (hr == DISP_E_EXCEPTION)
        EXPECT_EQ(excep.scode, static_cast<SCODE>(0x80040202));
    else
        EXPECT_EQ(hr, static_cast<HRESULT>(0x80040202));
    ::SysFreeString(excep.bstrSource);
    ::SysFreeString(excep.bstrDescription);
    ::SysFreeString(excep.bstrHelpFile);
    // The object keeps working.
    object->raise = nullptr;
    EXPECT_EQ(S_OK, Call(L"GetTOProperty", DISPATCH_METHOD, {CComVariant(L"x")}, result.Put()));
}

TEST_F(DispTestObjectTest, SetPropertyTakesZeroAsNotGivenAndDereferencesAVariantReference) {
    long zero = 0, five = 5;
    BSTR noName = nullptr;
    CComVariant referenced(L"value");
    VARIANT byRef;
    byRef.vt = VT_BYREF | VT_VARIANT;
    byRef.pvarVal = &referenced;
    EXPECT_EQ(kRecordedAnswer, script->SetProperty(CComBSTR(L"p"), byRef, &zero, &five, &noName));
    EXPECT_EQ(object->setFlags, nullptr);
    EXPECT_EQ(object->setType, &five);
    EXPECT_EQ(object->setParameterName, nullptr);
    ASSERT_EQ(object->setValue.vt, VT_BSTR);
    EXPECT_STREQ(object->setValue.bstrVal, L"value");
    // Any other reference too: the value goes on, not a pointer into the caller's memory.
    BSTR text = referenced.bstrVal;
    byRef.vt = VT_BYREF | VT_BSTR, byRef.pbstrVal = &text;
    EXPECT_EQ(kRecordedAnswer, script->SetProperty(CComBSTR(L"p"), byRef, nullptr, nullptr, nullptr));
    ASSERT_EQ(object->setValue.vt, VT_BSTR);
    EXPECT_NE(object->setValue.bstrVal, text);
    EXPECT_STREQ(object->setValue.bstrVal, L"value");

    CComBSTR parameter(L"param");
    BSTR given = parameter;
    CComVariant plain(7);
    EXPECT_EQ(kRecordedAnswer, script->SetProperty(CComBSTR(L"p"), plain, &five, &zero, &given));
    EXPECT_EQ(object->setFlags, &five);
    EXPECT_EQ(object->setType, nullptr);
    EXPECT_EQ(object->setParameterName, &given);
    EXPECT_EQ(object->setValue.vt, VT_I4);

    // A value that cannot be copied does not reach the operation.
    object->calls.clear();
    VARIANT bad;
    bad.vt = 0x7FFF;
    EXPECT_TRUE(FAILED(script->SetProperty(CComBSTR(L"p"), bad, nullptr, nullptr, nullptr)));
    EXPECT_TRUE(object->calls.empty());
}

TEST_F(DispTestObjectTest, CheckRunsUnlessVerificationIsSwitchedOffAsAFalseBoolean) {
    CComVariant verify;
    VARIANT_BOOL passed = 7;
    CComVariant off(false);
    UseSettings(L"EnableVerify", &off);
    EXPECT_EQ(S_OK, script->Check(&verify, &passed));
    EXPECT_TRUE(object->calls.empty());
    EXPECT_EQ(passed, 7);  // untouched

    const CComVariant on(true), number(0);
    for (const VARIANT* value : {static_cast<const VARIANT*>(&on), static_cast<const VARIANT*>(&number),
                                 static_cast<const VARIANT*>(nullptr)}) {
        UseSettings(L"EnableVerify", value);
        object->calls.clear();
        EXPECT_EQ(kRecordedAnswer, script->Check(&verify, &passed));
        EXPECT_EQ(object->Last(), "DispTestObject_Check");
    }
    // Without a rack nothing can be read: verification is on.
    CComPtr<IObjectRackClient> client;
    ASSERT_EQ(S_OK, object->QueryInterface(__uuidof(IObjectRackClient), reinterpret_cast<void**>(client.Put())));
    client->SetRack(nullptr);
    object->calls.clear();
    EXPECT_EQ(kRecordedAnswer, script->Check(&verify, &passed));
    EXPECT_EQ(object->Last(), "DispTestObject_Check");
}
