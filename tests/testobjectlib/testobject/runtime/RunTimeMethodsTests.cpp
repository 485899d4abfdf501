// The script methods on the description and on run-time values, through DispTestObject as a
// script client reaches them.
#include <gtest/gtest.h>
#include <shlwapi.h>
#include <cwchar>
#include "CerulinStandIn.h"
#include "FakeClock.h"
#include "RegistryRestore.h"
#include "testobject/runtime/RunTimeTestObject.h"

using kcom::CComBSTR;
using kcom::CComPtr;
using kcom::CComVariant;
using standin::Holder;

namespace {

constexpr HRESULT kNotFound = static_cast<HRESULT>(0x80040202);
constexpr HRESULT kNotUnique = static_cast<HRESULT>(0x80040203);
const CLSID kCollectionClsid = {0x5c3a7e90, 0x8d4b, 0x4f0a, {0xb1, 0xe6, 0x3a, 0x9d, 0x2f, 0x7c, 0x4b, 0x10}};

class RunTimeMethods : public ::testing::Test {
protected:
    void SetUp() override { object().found = CFakeRuntimeId::New(); }
    CRunTimeTestObject& object() { return *host_.object.get(); }
    DispTestObject* script() { return host_.object.as<DispTestObject>(); }
    RunTimeHost host_;
};

TEST_F(RunTimeMethods, SetTOPropertyTakesTheReferencedValueAndForgetsTheRunTimeObject) {
    object().Put(L"objectid", CComVariant(object().found.get()), 9);
    CComVariant text(L"Save");
    VARIANT byRef;
    byRef.vt = VT_BYREF | VT_VARIANT;
    byRef.pvarVal = &text;
    CComBSTR name(L"label");
    ASSERT_EQ(S_OK, script()->SetTOProperty(name, byRef));
    EXPECT_STREQ(L"Save", object().Get(L"label").bstrVal);
    EXPECT_EQ(VT_EMPTY, object().Get(L"objectid").vt);
    CComVariant read;
    ASSERT_EQ(S_OK, script()->GetTOProperty(name, read.Put()));
    EXPECT_STREQ(L"Save", read.bstrVal);

    // Whatever a reference refers to, the description keeps the value itself (the caller's memory
    // is gone after the call); a null reference is refused.
    CComBSTR word(L"Open");
    BSTR words = word;
    long number = 42;
    VARIANT inner;  // a reference inside a VARIANT reference
    inner.vt = VT_BYREF | VT_I4, inner.plVal = &number;
    IDispatch* settings = host_.host.options.as<IKorSettings>();
    IUnknown* id = object().found.get();
    const std::pair<VARTYPE, void*> references[] = {{VT_BSTR, &words},      {VT_I4, &number},
                                                    {VT_VARIANT, &inner},   {VT_DISPATCH, &settings},
                                                    {VT_UNKNOWN, &id},      {VT_BSTR, nullptr}};
    for (const auto& [type, pointer] : references) {
        VARIANT reference;
        reference.vt = VT_BYREF | type, reference.byref = pointer;
        ASSERT_EQ(pointer ? S_OK : E_POINTER, script()->SetTOProperty(name, reference)) << type;
        if (!pointer) continue;
        const CComVariant kept = object().Get(L"label");
        EXPECT_EQ(type == VT_VARIANT ? VARTYPE{VT_I4} : type, kept.vt);
        if (type == VT_BSTR) {
            EXPECT_STREQ(L"Open", kept.bstrVal);
        } else if (type == VT_DISPATCH || type == VT_UNKNOWN) {
            EXPECT_EQ(type == VT_DISPATCH ? settings : id, kept.punkVal);
        } else {
            EXPECT_EQ(42, kept.lVal);
        }
    }

    // A chain of VARIANT references deeper than two levels is refused before it is followed, and a
    // reference to no value is no VARIANT; neither pointer is read.
    VARIANT none, levels[3];
    none.vt = VT_BYREF | VT_I4, none.plVal = nullptr;
    for (int i = 0; i < 3; ++i) levels[i].vt = VT_BYREF | VT_VARIANT, levels[i].pvarVal = i < 2 ? &levels[i + 1] : &none;
    EXPECT_EQ(E_INVALIDARG, script()->SetTOProperty(name, levels[0]));
    for (VARTYPE empty : {VT_EMPTY, VT_NULL}) {
        none.vt = VT_BYREF | empty;
        EXPECT_EQ(DISP_E_BADVARTYPE, script()->SetTOProperty(name, none)) << empty;
    }

    // A blank name fails the setter; the getter still answers S_OK.
    CComBSTR blank(L"  ");
    EXPECT_EQ(E_INVALIDARG, script()->SetTOProperty(blank, CComVariant(1L)));
    EXPECT_EQ(S_OK, script()->GetTOProperty(blank, read.Put()));
}

TEST_F(RunTimeMethods, GetROPropertyRaisesOnlyWhenTheObjectCannotBeTold) {
    host_.engine->PutValue(L"text", CComVariant(L"hello"));
    CComBSTR name(L"text");
    CComVariant value;
    ASSERT_EQ(S_OK, script()->GetROProperty(name, nullptr, value.Put()));
    EXPECT_STREQ(L"hello", value.bstrVal);
    for (HRESULT code : {kNotFound, kNotUnique, E_ACCESSDENIED}) {
        object().findResult = code;
        EXPECT_EQ(code, script()->GetROProperty(name, nullptr, value.Put()));
    }
    object().findResult = S_OK;
    host_.engine->PutValue(L"broken", CComVariant(static_cast<long>(E_UNEXPECTED), VT_ERROR));
    CComBSTR broken(L"broken");
    EXPECT_EQ(E_UNEXPECTED, script()->GetROProperty(broken, nullptr, value.Put()));
    EXPECT_EQ(VT_EMPTY, value.vt);
    // The property data column is there with no data too; a plain value query has none.
    EXPECT_EQ(3, host_.engine->LastColumns());
    ASSERT_EQ(S_OK, object().QueryObjValue(value.Put(), nullptr, name));
    EXPECT_EQ(2, host_.engine->LastColumns());
}

// "size in pixels" carries its array in the data word of a by-reference VARIANT: it passes
// through untouched, never enters the cache while learning, and its reader destroys it once.
TEST_F(RunTimeMethods, SizeInPixelsPassesThroughAndIsNeverCached) {
    SAFEARRAYBOUND bounds[2] = {{1, 0}, {4, 0}};
    SAFEARRAY* size = ::SafeArrayCreate(VT_VARIANT, 2, bounds);
    VARIANT odd;
    ::VariantInit(&odd);
    odd.vt = VT_ARRAY | VT_BYREF | VT_VARIANT;
    odd.byref = size;
    host_.engine->PutValue(L"size in pixels", odd);
    CComBSTR name(L"size in pixels");
    CerulinStandIn_SetInLearn(TRUE);
    for (int i = 0; i < 2; ++i) {
        VARIANT value;
        ::VariantInit(&value);
        ASSERT_EQ(S_OK, object().DispTestObject_QueryValue(name, nullptr, &value));
        EXPECT_EQ(odd.vt, value.vt);
        EXPECT_EQ(size, value.byref);
        ::VariantClear(&value);  // frees nothing: the array is the reader's
    }
    CerulinStandIn_SetInLearn(FALSE);
    EXPECT_TRUE(object().m_valueCache.empty());
    EXPECT_EQ(2, host_.engine->Log().Count(L"QueryValue"));
    EXPECT_EQ(2u, size->cDims);  // still whole
    EXPECT_EQ(S_OK, ::SafeArrayDestroy(size));
}

TEST_F(RunTimeMethods, ExistSearchesInMillisecondsWithAShortDelay) {
    CFakeClock clock;
    VARIANT_BOOL exists = VARIANT_FALSE;
    object().Put(L"objectid", CComVariant(object().found.get()), 9);
    ASSERT_EQ(S_OK, script()->get_Exist(5, &exists));
    EXPECT_EQ(VARIANT_TRUE, exists);
    EXPECT_EQ(VT_EMPTY, object().Get(L"objectid").vt);  // searched again, not taken from before
    ASSERT_EQ(S_OK, script()->get_Exist(-1, &exists));
    ASSERT_EQ(S_OK, script()->get_Exist(0, &exists));
    object().findResult = kNotFound;
    ASSERT_EQ(S_OK, script()->get_Exist(2, &exists));
    EXPECT_EQ(VARIANT_FALSE, exists);
    ASSERT_EQ(4u, object().finds.size());
    const long expected[4][2] = {{5000, 100}, {-1, 100}, {0, 100}, {2000, 100}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(expected[i][0], object().finds[i].timeout);
        EXPECT_EQ(expected[i][1], object().finds[i].delay);
    }
    EXPECT_EQ(E_POINTER, script()->get_Exist(1, nullptr));
}

TEST_F(RunTimeMethods, ExistTrustsAnIdentifiedObjectWhenTheRegistrySaysSo) {
    const wchar_t* key = L"Software\\Quorvel Interactive\\Ardenvale Professional\\KorTest\\SettingInfo\\";
    DWORD on = 1;
    CRegistryRestore restore(HKEY_LOCAL_MACHINE, key, L"EnableGetExistUsingRTID");
    ASSERT_EQ(ERROR_SUCCESS, ::SHSetValueW(HKEY_LOCAL_MACHINE, key, L"EnableGetExistUsingRTID", REG_DWORD, &on, 4));
    object().Put(L"objectid", CComVariant(object().found.get()), 9);
    object().Put(L"WINDOWLESS", CComVariant(true), 0x10);
    VARIANT_BOOL exists = VARIANT_FALSE;
    ASSERT_EQ(S_OK, script()->get_Exist(1, &exists));
    EXPECT_EQ(VARIANT_TRUE, exists);
    EXPECT_TRUE(object().finds.empty());
    // A last-resort property makes it search.
    object().Put(L"index", CComVariant(0L), 0x448);
    ASSERT_EQ(S_OK, script()->get_Exist(1, &exists));
    EXPECT_EQ(1u, object().finds.size());
}

TEST_F(RunTimeMethods, GetTOPropertiesFillsTheHostCollection) {
    Holder<standin::CPropertyCollectionStandIn> collection = Holder<standin::CPropertyCollectionStandIn>::New();
    standin::CObjectRegistration cls(kCollectionClsid, collection.as<IKorPropertyCollection>());
    standin::CProgIdKey progId(L"Quorvel.PropertyCollection", kCollectionClsid);
    object().Put(L"text", CComVariant(L"OK"), 0x10);
    object().Put(L"index", CComVariant(2L), 0x10);
    object().Put(L"hidden", CComVariant(1L), 0x8);
    CComBSTR text(L"text"), index(L"index");
    object().ITestObjectInfo_SetPropCompareType(text, 1);
    object().ITestObjectInfo_SetPropCompareType(index, 5);
    CComPtr<IDispatch> answer;
    ASSERT_EQ(S_OK, script()->GetTOProperties(answer.Put()));
    EXPECT_TRUE(answer.IsEqualObject(collection.as<IKorPropertyCollection>()));
    EXPECT_EQ(L"text=BSTR:OK/1;index=I4:2/0;", collection->Text());
    EXPECT_EQ(E_POINTER, script()->GetTOProperties(nullptr));
}

TEST_F(RunTimeMethods, ToStringIsTheReportNameAndTheGenericType) {
    CComBSTR text;
    ASSERT_EQ(S_OK, script()->ToString(text.Put()));
    EXPECT_NE(nullptr, std::wcschr(text.c_str(), L' '));
    EXPECT_EQ(E_POINTER, script()->ToString(nullptr));
}

TEST_F(RunTimeMethods, WaitAndCheckRefuseTheirArgumentsInTheirOwnWaysAndReportWhatTheyFound) {
    CComBSTR empty(L"");
    VARIANT_BOOL result = VARIANT_TRUE;
    EXPECT_EQ(E_POINTER, script()->WaitProperty(CComBSTR(L"x"), CComVariant(1L), 0, nullptr));
    EXPECT_EQ(E_INVALIDARG, script()->WaitProperty(empty, CComVariant(1L), 0, &result));
    EXPECT_EQ(VARIANT_FALSE, result);
    EXPECT_EQ(E_INVALIDARG, script()->CheckProperty(CComBSTR(L"x"), CComVariant(1L), 0, nullptr));
    EXPECT_EQ(E_INVALIDARG, script()->CheckProperty(empty, CComVariant(1L), 0, &result));
    // A time-out option that is no number fails the wait before it starts.
    host_.host.options->Put(L"", L"DefaultTimeout", L"soon");
    EXPECT_EQ(E_FAIL, script()->WaitProperty(CComBSTR(L"x"), CComVariant(1L), -1, &result));

    // A missed wait answers S_FALSE; both of its reports carry the failed status.
    const auto& events = host_.host.report->Events();
    host_.engine->PutValue(L"text", CComVariant(L"OK"));
    CComBSTR text(L"text");
    EXPECT_EQ(S_FALSE, script()->WaitProperty(text, CComVariant(L"ok"), 0, &result));
    EXPECT_EQ(VARIANT_FALSE, result);
    ASSERT_EQ(2u, events.size());
    EXPECT_EQ(L"ReplayLog", events[0].type);
    EXPECT_EQ(L"Replay", events[1].type);
    for (const auto& event : events) EXPECT_EQ(3, event.Item(L"Status").lVal);
    EXPECT_EQ(L"\"text\", \"ok\", \"OK\", 0", events[1].Text(L"StepInfo"));
    EXPECT_EQ(S_OK, script()->WaitProperty(text, CComVariant(L"OK"), 0, &result));
    EXPECT_EQ(2, events.back().Item(L"Status").lVal);
    // A typed variable passed by reference is compared, and reported, as its value; so is a check.
    CComBSTR ok(L"OK");
    BSTR okText = ok;
    VARIANT byRef;
    byRef.vt = VT_BYREF | VT_BSTR, byRef.pbstrVal = &okText;
    result = VARIANT_FALSE;
    EXPECT_EQ(S_OK, script()->WaitProperty(text, byRef, 0, &result));
    EXPECT_EQ(VARIANT_TRUE, result);
    EXPECT_EQ(L"\"text\", \"OK\", \"OK\", 0", events.back().Text(L"StepInfo"));
    result = VARIANT_FALSE;
    EXPECT_EQ(S_OK, script()->CheckProperty(text, byRef, 0, &result));
    EXPECT_EQ(VARIANT_TRUE, result);

    // A check: the step, then the verdict with its message.
    const struct {
        const wchar_t* actual;  // null: the property reads empty
        CComVariant expected;
        long status;
        const wchar_t* message;
    } checks[] = {
        {nullptr, CComVariant(), 0, L"The property &quot;text&quot; has the expected value."},
        {L"OK", CComVariant(L"OK"), 0, L"The property &quot;text&quot; has the expected value &quot;OK&quot;."},
        {nullptr, CComVariant(L"OK"), 1, L"The property &quot;text&quot; is empty; expected &quot;OK&quot;."},
        {L"OK", CComVariant(), 1, L"The property &quot;text&quot; has the value &quot;OK&quot;."},
        {L"5", CComVariant(6L), 1, L"The property &quot;text&quot; has the value &quot;5&quot;; expected 6."},
    };
    for (const auto& check : checks) {
        host_.engine->PutValue(L"text", check.actual ? CComVariant(check.actual) : CComVariant());
        const size_t before = events.size();
        EXPECT_EQ(S_OK, script()->CheckProperty(text, check.expected, 0, &result));
        EXPECT_EQ(check.status == 0 ? VARIANT_TRUE : VARIANT_FALSE, result);
        ASSERT_EQ(before + 2, events.size());
        const auto &step = events[before], &verdict = events[before + 1];
        EXPECT_EQ(L"Replay 2 Replay", step.type + L" " + std::to_wstring(step.Item(L"Status").lVal) + L" " + verdict.type);
        EXPECT_EQ(L"\"" + step.Text(L"NodeName") + L"\" CheckProperty " + check.message,
                  verdict.Text(L"NodeName") + L" " + verdict.Text(L"NodeType") + L" " + verdict.Text(L"StepInfo"));
        EXPECT_EQ(check.status, verdict.Item(L"Status").lVal);
    }
}

}  // namespace
