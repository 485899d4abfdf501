// Waiting for a run-time property: the comparison rules, the polls on the test object's clock, and
// the replay waits for a visible and enabled object.
#include <gtest/gtest.h>
#include <functional>
#include <string>
#include "FakeClock.h"
#include "TestHost.h"
#include "com/ComBSTR.h"
#include "errors/TestObjectError.h"
#include "testobject/forwarding/TestableObject.h"
#include "testobject/replay/ReplaySkeletonContext.h"

using namespace standin;
using kcom::CComBSTR;
using kcom::CComVariant;

namespace {

// A script comparison object: "Compare" answers its verdict, "ToString" its text.
class CComparer : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IDispatch {
public:
    BEGIN_COM_MAP(CComparer)
        COM_INTERFACE_ENTRY(IDispatch)
    END_COM_MAP()
    CComVariant verdict{true};
    bool named = true;  // whether "ToString" resolves
    CComVariant seen;
    STDMETHOD(GetTypeInfoCount)(UINT*) override { return E_NOTIMPL; }
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR* names, UINT, LCID, DISPID* id) override {
        if (std::wstring(names[0]) == L"Compare") return *id = 1, S_OK;
        if (std::wstring(names[0]) == L"ToString" && named) return *id = 2, S_OK;
        return DISP_E_UNKNOWNNAME;
    }
    STDMETHOD(Invoke)(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) override {
        if (id == 1) {
            seen = params->rgvarg[0];
            return ::VariantCopy(result, &verdict);
        }
        result->vt = VT_BSTR;
        result->bstrVal = ::SysAllocString(L"like OK");
        return S_OK;
    }
};

class Wait : public ::testing::Test {
protected:
    void SetUp() override {
        object.as<IObjectRackClient>()->SetRack(host.Rack());
        host.options->Put(L"", L"OnReplay", CComVariant(true));
        control = host.queryEngine->AddObject(L"Button1");
        CComBSTR id(L"objectid");
        object->ITestObjectInfo_put_PropExpr(id, nullptr, nullptr, nullptr,
                                             CComVariant(static_cast<IUnknown*>(control.as<IRuntimeID>())));
    }
    bool Compare(const VARIANT& actual, const VARIANT& expected) {
        return object->CompareForWait(actual, expected, nullptr);
    }
    HRESULT WaitFor(const wchar_t* name, const VARIANT& expected, long timeout, VARIANT_BOOL* matched) {
        CComBSTR n(name);
        return object->WaitForPropertyValue(n, expected, timeout, matched, nullptr, nullptr);
    }

    CFakeClock clock{0xFFFFFF80};  // the polls cross the tick count's wrap
    CTestHost host;
    RuntimeObject control;
    Holder<CTestableObject> object = Holder<CTestableObject>::New();
};

TEST_F(Wait, ComparisonAlignsTypesAndComparesTextsWithTheirCase) {
    const CComVariant empty, emptyText(L""), ok(L"OK"), okLower(L"ok"), yes(L"yes"), trueText(L"True");
    const CComVariant yesBool(true), noBool(false), minusOne(-1L, VT_I2), five(5L), fiveText(L"5");
    EXPECT_TRUE(Compare(empty, empty));
    EXPECT_TRUE(Compare(empty, emptyText));
    EXPECT_FALSE(Compare(empty, five));
    EXPECT_FALSE(Compare(ok, empty));
    EXPECT_TRUE(Compare(ok, ok));
    EXPECT_FALSE(Compare(ok, okLower));
    EXPECT_TRUE(Compare(fiveText, five));      // the actual text takes the expected type
    EXPECT_TRUE(Compare(five, fiveText));      // the expected text takes the actual type
    EXPECT_TRUE(Compare(trueText, yesBool));
    EXPECT_FALSE(Compare(yes, yesBool));       // no conversion: no match
    EXPECT_TRUE(Compare(yesBool, minusOne));   // any non-zero is true
    EXPECT_FALSE(Compare(noBool, minusOne));
    EXPECT_TRUE(Compare(CComVariant(-1L), yesBool));
    EXPECT_TRUE(Compare(CComVariant(5.0), five));
}

TEST_F(Wait, ComparisonObjectsGiveTheVerdictAndTheExpectedText) {
    auto comparer = Holder<CComparer>::New();
    const CComVariant expected(static_cast<IDispatch*>(comparer.get()));
    CComBSTR text;
    EXPECT_TRUE(object->CompareForWait(CComVariant(L"OK"), expected, text.Put()));
    EXPECT_STREQ(text.c_str(), L"like OK");
    EXPECT_EQ(comparer->seen.vt, VT_BSTR);
    comparer->verdict = CComVariant(1L);  // not a VT_BOOL
    EXPECT_FALSE(Compare(CComVariant(L"OK"), expected));
    comparer->verdict = CComVariant(true);
    comparer->named = false;
    EXPECT_FALSE(Compare(CComVariant(L"OK"), expected));
    CComVariant none;
    none.vt = VT_DISPATCH;
    none.pdispVal = nullptr;
    EXPECT_FALSE(Compare(CComVariant(L"OK"), none));
}

TEST_F(Wait, PollsEveryHundredMillisecondsUntilTheValueOrTheDeadline) {
    control->properties.Put(L"Visible", CComVariant(false));
    VARIANT_BOOL matched = VARIANT_TRUE;
    EXPECT_EQ(WaitFor(L"Visible", CComVariant(true), 300, &matched), S_FALSE);
    EXPECT_EQ(matched, VARIANT_FALSE);
    EXPECT_EQ(host.queryEngine->Log().Count(L"QueryValue"), 3);
    EXPECT_EQ(clock.Pumps(), (std::vector<DWORD>{100, 100, 100}));

    // The value turns up while the first poll waits.
    struct CTurningClock : CFakeClock {
        using CFakeClock::CFakeClock;
        std::function<void()> onPump;
        void PumpWait(DWORD ms) noexcept override {
            CFakeClock::PumpWait(ms);
            if (onPump) onPump();
        }
    } turning{0x7FFFFFF0};
    turning.onPump = [&] { control->properties.Put(L"Visible", CComVariant(true)); };
    host.queryEngine->Log().Clear();
    CComBSTR name(L"Visible");
    CComVariant last;
    EXPECT_EQ(object->WaitForPropertyValue(name, CComVariant(true), 300, &matched, nullptr, last.Put()), S_OK);
    EXPECT_EQ(matched, VARIANT_TRUE);
    EXPECT_EQ(last.vt, VT_BOOL);
    EXPECT_EQ(host.queryEngine->Log().Count(L"QueryValue"), 2);
    EXPECT_EQ(turning.Pumps().size(), 1u);
}

TEST_F(Wait, OneQueryWithoutTimeOrOutsideAnUnpausedReplay) {
    control->properties.Put(L"Enabled", CComVariant(false));
    VARIANT_BOOL matched = VARIANT_TRUE;
    EXPECT_EQ(WaitFor(L"Enabled", CComVariant(true), -1, &matched), S_FALSE);  // -1: no time at all
    host.options->Put(L"", L"OnPause", CComVariant(true));
    EXPECT_EQ(WaitFor(L"Enabled", CComVariant(true), 5000, &matched), S_FALSE);
    host.options->Put(L"", L"OnPause", CComVariant(false));
    host.options->Put(L"", L"OnReplay", CComVariant(false));
    EXPECT_EQ(WaitFor(L"Enabled", CComVariant(true), 5000, &matched), S_FALSE);
    EXPECT_EQ(host.queryEngine->Log().Count(L"QueryValue"), 3);
    EXPECT_EQ(clock.Pumps().size(), 2u);  // the last two waited once before looking at the run state
    EXPECT_EQ(WaitFor(L"Enabled", CComVariant(true), 5000, nullptr), E_POINTER);

    // A failed query ends the wait with its failure.
    host.queryEngine->SetValueResult(E_ACCESSDENIED);
    EXPECT_EQ(WaitFor(L"Enabled", CComVariant(true), 5000, &matched), E_ACCESSDENIED);
}

TEST_F(Wait, ReplayWaitsForAVisibleAndEnabledObjectWithinTheStepsTime) {
    CReplaySkeletonContext step(&IID_IDispatch, 1, L"Click", nullptr, 0);
    step.m_findContext.timeout = 200;
    VARIANT v;
    v.vt = VT_BYREF;
    v.byref = &step;
    CComTestObject& base = *object.get();  // the operations, not the interface methods of the same names
    ASSERT_EQ(base.BeginReplayStep(v), S_OK);
    control->properties.Put(L"Visible", CComVariant(true));
    control->properties.Put(L"Enabled", CComVariant(-1L));
    EXPECT_EQ(base.WaitVisible(), S_OK);
    EXPECT_EQ(base.WaitEnabled(), S_OK);
    control->properties.Put(L"Visible", CComVariant(L"True"));  // a text is not the number -1
    control->properties.Put(L"Enabled", CComVariant(0L));
    EXPECT_EQ(base.WaitVisible(), KOR_E_OBJECT_NOT_VISIBLE);
    EXPECT_EQ(base.WaitEnabled(), KOR_E_OBJECT_NOT_ENABLED);
    EXPECT_EQ(clock.Pumps(), (std::vector<DWORD>{100, 100, 100, 100}));
    base.EndReplayStep();
}

}  // namespace
