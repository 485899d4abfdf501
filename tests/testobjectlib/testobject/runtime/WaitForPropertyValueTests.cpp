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

// A script comparison object: "Compare" answers its verdict, "ToString" a text.
class CComparer : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IDispatch {
public:
    BEGIN_COM_MAP(CComparer)
        COM_INTERFACE_ENTRY(IDispatch)
    END_COM_MAP()
    CComVariant verdict{true};
    bool named = true;  // whether "ToString" resolves
    STDMETHOD(GetTypeInfoCount)(UINT*) override { return E_NOTIMPL; }
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR* names, UINT, LCID, DISPID* id) override {
        *id = std::wstring(names[0]) == L"Compare" ? 1 : 2;
        return *id == 1 || named ? S_OK : DISP_E_UNKNOWNNAME;
    }
    STDMETHOD(Invoke)(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override {
        if (id == 1) return ::VariantCopy(result, &verdict);
        result->vt = VT_BSTR;
        result->bstrVal = ::SysAllocString(L"like OK");
        return S_OK;
    }
};

// A clock that lets the test act while a poll waits.
struct CActingClock : CFakeClock {
    using CFakeClock::CFakeClock;
    std::function<void()> onPump;
    void PumpWait(DWORD ms) noexcept override {
        CFakeClock::PumpWait(ms);
        if (onPump) onPump();
    }
};

class Wait : public ::testing::Test {
protected:
    void SetUp() override {
        object.as<IObjectRackClient>()->SetRack(host.Rack());
        host.options->Put(L"", L"OnReplay", CComVariant(true));
        control = host.queryEngine->AddObject(L"Button1");
        object->ITestObjectInfo_put_PropExpr(CComBSTR(L"objectid"), nullptr, nullptr, nullptr,
                                             CComVariant(static_cast<IUnknown*>(control.as<IRuntimeID>())));
    }
    bool Compare(const VARIANT& actual, const VARIANT& expected) { return object->CompareForWait(actual, expected, nullptr); }
    HRESULT WaitFor(const VARIANT& expected, long timeout, VARIANT_BOOL* matched, VARIANT* last = nullptr) {
        return object->WaitForPropertyValue(CComBSTR(L"Visible"), expected, timeout, matched, nullptr, last);
    }
    int Queries() const { return host.queryEngine->Log().Count(L"QueryValue"); }

    CActingClock clock{0xFFFFFF80};  // the polls cross the tick count's wrap
    CTestHost host;
    RuntimeObject control;
    Holder<CTestableObject> object = Holder<CTestableObject>::New();
};

TEST_F(Wait, ComparisonAlignsTypesAndComparesTextsWithTheirCase) {
    const CComVariant empty, emptyText(L""), ok(L"OK"), yes(L"yes"), trueText(L"True");
    const CComVariant yesBool(true), noBool(false), minusOne(-1L, VT_I2), five(5L), fiveText(L"5");
    EXPECT_TRUE(Compare(empty, empty) && Compare(empty, emptyText));
    EXPECT_FALSE(Compare(empty, five) || Compare(ok, empty));
    EXPECT_TRUE(Compare(ok, ok));
    EXPECT_FALSE(Compare(ok, CComVariant(L"ok")));
    EXPECT_TRUE(Compare(fiveText, five) && Compare(five, fiveText));  // the text takes the other's type
    EXPECT_TRUE(Compare(trueText, yesBool));
    EXPECT_FALSE(Compare(yes, yesBool));  // no conversion, no match
    EXPECT_TRUE(Compare(yesBool, minusOne) && Compare(CComVariant(-1L), yesBool));
    EXPECT_FALSE(Compare(noBool, minusOne));

    auto comparer = Holder<CComparer>::New();
    const CComVariant byObject(static_cast<IDispatch*>(comparer.get()));
    CComBSTR text;
    EXPECT_TRUE(object->CompareForWait(ok, byObject, text.Put()));
    EXPECT_STREQ(text.c_str(), L"like OK");
    comparer->verdict = CComVariant(1L);  // not a VT_BOOL
    EXPECT_FALSE(Compare(ok, byObject));
    comparer->verdict = CComVariant(true);
    comparer->named = false;
    EXPECT_FALSE(Compare(ok, byObject));
}

TEST_F(Wait, PollsEveryHundredMillisecondsUntilTheValueOrTheDeadline) {
    control->properties.Put(L"Visible", CComVariant(false));
    VARIANT_BOOL matched = VARIANT_TRUE;
    EXPECT_EQ(WaitFor(CComVariant(true), 300, &matched), S_FALSE);
    EXPECT_EQ(matched, VARIANT_FALSE);
    EXPECT_EQ(Queries(), 3);
    EXPECT_EQ(clock.Pumps(), (std::vector<DWORD>{100, 100, 100}));

    clock.onPump = [&] { control->properties.Put(L"Visible", CComVariant(true)); };
    CComVariant last;
    EXPECT_EQ(WaitFor(CComVariant(true), 300, &matched, last.Put()), S_OK);
    EXPECT_EQ(matched, VARIANT_TRUE);
    EXPECT_EQ(last.vt, VT_BOOL);
    EXPECT_EQ(Queries(), 5);
}

TEST_F(Wait, OneQueryWithoutTimeOrOutsideAnUnpausedReplay) {
    control->properties.Put(L"Visible", CComVariant(false));
    VARIANT_BOOL matched = VARIANT_TRUE;
    EXPECT_EQ(WaitFor(CComVariant(true), -1, &matched), S_FALSE);  // -1: no time at all
    host.options->Put(L"", L"OnPause", CComVariant(true));
    EXPECT_EQ(WaitFor(CComVariant(true), 5000, &matched), S_FALSE);
    host.options->Put(L"", L"OnPause", CComVariant(false));
    host.options->Put(L"", L"OnReplay", CComVariant(false));
    EXPECT_EQ(WaitFor(CComVariant(true), 5000, &matched), S_FALSE);
    EXPECT_EQ(Queries(), 3);
    EXPECT_EQ(WaitFor(CComVariant(true), 5000, nullptr), E_POINTER);
    host.queryEngine->SetValueResult(E_ACCESSDENIED);  // a failed query ends the wait
    EXPECT_EQ(WaitFor(CComVariant(true), 5000, &matched), E_ACCESSDENIED);
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
