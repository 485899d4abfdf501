// The query engine base against stand-ins of the host's rack, options and query engine, with the
// real regular-expression component.
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <vector>
#include "com/ComBSTR.h"
#include "com/ComObject.h"
#include "com/ComVariant.h"
#include "EnvTestSupport.h"
#include "HostStandIn.h"
#include "tables/KorSafeArray.h"
#include "environment/ComKorQuery.h"
#include "environment/TestState.h"
#include "kestrune.h"
#include "host/ObjectRackClientImpl.h"
#include "tables/RuntimeId.h"

using kcom::CComBSTR;
using kcom::CComPtr;
using kcom::CComVariant;
using standin::CQueryEngineStandIn;
using standin::CRackStandIn;
using standin::CSettingsStandIn;
using standin::Holder;

namespace {

// A script-side handler object: answers its one method "Lookup" with the text of its arguments.
class CHandlerObjectFake : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public CDispatchStub {
public:
    BEGIN_COM_MAP(CHandlerObjectFake)
        COM_INTERFACE_ENTRY(IDispatch)
    END_COM_MAP()

    IUnknown* lastId = nullptr;
    int calls = 0;
    LONG Count() { AddRef(); return static_cast<LONG>(Release()); }

    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR* names, UINT, LCID, DISPID* id) override {
        if (std::wstring(names[0]) == L"Lookup" || std::wstring(names[0]) == L"caption") {
            *id = std::wstring(names[0]) == L"Lookup" ? 1 : 2;
            return S_OK;
        }
        return DISP_E_UNKNOWNNAME;
    }
    STDMETHOD(Invoke)(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* p, VARIANT* result, EXCEPINFO*, UINT*) override {
        ++calls;
        if (flags != DISPATCH_METHOD || p->cArgs != 2 || p->rgvarg[1].vt != VT_UNKNOWN) return DISP_E_BADPARAMCOUNT;
        lastId = p->rgvarg[1].punkVal;
        CComVariant param(p->rgvarg[0]);
        if (param.vt == VT_EMPTY) return S_OK;  // nothing to answer with
        if (FAILED(param.ChangeType(VT_BSTR))) return DISP_E_TYPEMISMATCH;
        std::wstring text = (id == 1 ? L"lookup:" : L"caption:") + std::wstring(param.bstrVal);
        result->vt = VT_BSTR;
        result->bstrVal = ::SysAllocString(text.c_str());
        return S_OK;
    }
};

class CQueryUnderTest : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                        public IObjectRackClientImpl<CQueryUnderTest>,
                        public CTestState<CQueryUnderTest>,
                        public CComKorQuery<CQueryUnderTest> {
public:
    BEGIN_COM_MAP(CQueryUnderTest)
        COM_INTERFACE_ENTRY(IObjectRackClient)
    END_COM_MAP()

    std::vector<std::wstring> log;
    HRESULT answer = S_OK;

    HRESULT Empty(IRuntimeID*, VARIANT*, VARIANT*) {
        log.push_back(L"Empty");
        return S_OK;
    }
    HRESULT Fails(IRuntimeID*, VARIANT*, VARIANT*) {
        log.push_back(L"Fails");
        return E_UNEXPECTED;
    }
    HRESULT Throws(IRuntimeID*, VARIANT*, VARIANT*) {
        log.push_back(L"Throws");
        throw std::runtime_error("handler");
    }
    HRESULT Answers(IRuntimeID*, VARIANT* param, VARIANT* result) {
        log.push_back(L"Answers");
        result->vt = VT_I4;
        result->lVal = param && param->vt == VT_I4 ? param->lVal * 2 : 7;
        return answer;
    }
};

struct Fixture {
    Holder<CQueryUnderTest> query = Holder<CQueryUnderTest>::New();
    CComPtr<IRuntimeID> id;
    Holder<CRackStandIn> rack = Holder<CRackStandIn>::New();
    Holder<CQueryEngineStandIn> engine = Holder<CQueryEngineStandIn>::New();
    Holder<CSettingsStandIn> options = Holder<CSettingsStandIn>::New();

    Fixture() {
        if (FAILED(CreateRunId(__uuidof(IRuntimeID), reinterpret_cast<void**>(id.Put())))) throw std::runtime_error("id");
        query->SetRack(rack.as<IObjectRack>());
        rack->Put(L"StdPackageQueryEngine", engine.as<IKorQuery>());
        rack->Put(L"TestOptions", options.as<IKorSettings>());
    }
    IRuntimeID* Id() const { return id.get(); }
    HRESULT Run(const wchar_t* name, VARIANT* param, CComVariant& result) {
        result.Clear();
        return query->RunQuery(Id(), name, param, &result);
    }
};

// Description rows: name, expected value, flags, type, compare type.
CKorSafeArray Description(std::vector<std::tuple<const wchar_t*, CComVariant, long>> rows) {
    CKorSafeArray d(static_cast<ULONG>(rows.size()), 5, VT_VARIANT);
    for (LONG i = 0; i < static_cast<LONG>(rows.size()); ++i) {
        CComVariant name(std::get<0>(rows[i])), type(std::get<2>(rows[i]));
        d.PutElement(&name, i, 0);
        d.PutElement(&std::get<1>(rows[i]), i, 1);
        d.PutElement(&type, i, 4);
    }
    return d;
}

}  // namespace

TEST(ComKorQuery, HandlersOfOneNameIgnoringCaseRunInOrder) {
    Fixture f;
    EXPECT_TRUE(f.query->AddQuery(L"Visible", &CQueryUnderTest::Empty));
    EXPECT_TRUE(f.query->AddQuery(L"visible", &CQueryUnderTest::Answers));
    EXPECT_TRUE(f.query->AddQuery(L"VISIBLE", &CQueryUnderTest::Fails));
    EXPECT_FALSE(f.query->AddQuery(nullptr, &CQueryUnderTest::Answers));
    CComVariant result, param(21L);
    EXPECT_EQ(S_OK, f.Run(L"vIsIbLe", &param, result));
    EXPECT_EQ(42, result.lVal);
    EXPECT_EQ((std::vector<std::wstring>{L"Empty", L"Answers"}), f.query->log);

    // A success code counts as an answer too.
    f.query->answer = S_FALSE;
    EXPECT_EQ(S_FALSE, f.Run(L"Visible", nullptr, result));
    EXPECT_EQ(7, result.lVal);
}

TEST(ComKorQuery, NoAnswerGivesTheLastHandlersCode) {
    Fixture f;
    f.query->AddQuery(L"text", &CQueryUnderTest::Fails);
    f.query->AddQuery(L"text", &CQueryUnderTest::Throws);
    CComVariant result;
    EXPECT_EQ(E_UNEXPECTED, f.Run(L"text", nullptr, result));  // the throw keeps the code before it
    EXPECT_EQ(VT_EMPTY, result.vt);
    f.query->AddQuery(L"text", &CQueryUnderTest::Empty);
    EXPECT_EQ(S_OK, f.Run(L"text", nullptr, result));
    f.query->AddQuery(L"thrown", &CQueryUnderTest::Throws);
    f.query->AddQuery(L"thrown", &CQueryUnderTest::Answers);
    EXPECT_EQ(S_OK, f.Run(L"thrown", nullptr, result));
    EXPECT_EQ(7, result.lVal);
    f.query->AddQuery(L"onlythrows", &CQueryUnderTest::Throws);
    EXPECT_EQ(S_FALSE, f.Run(L"onlythrows", nullptr, result));
}

TEST(ComKorQuery, ArgumentChecks) {
    Fixture f;
    f.query->AddQuery(L"x", &CQueryUnderTest::Answers);
    CComVariant result;
    EXPECT_EQ(E_INVALIDARG, f.Run(L"unknown", nullptr, result));
    EXPECT_EQ(E_INVALIDARG, f.Run(nullptr, nullptr, result));
    EXPECT_EQ(E_POINTER, f.query->RunQuery(nullptr, L"x", nullptr, &result));
    EXPECT_TRUE(f.query->log.empty());
}

TEST(ComKorQuery, DispatchHandlersAreCalledByName) {
    Fixture f;
    auto handler = Holder<CHandlerObjectFake>::New();
    IDispatch* disp = handler.as<IDispatch>();
    const LONG before = handler->Count();
    EXPECT_FALSE(f.query->AddCustomQuery(L"label", nullptr, L"Lookup", true));
    EXPECT_FALSE(f.query->AddCustomQuery(nullptr, disp, L"Lookup", true));
    EXPECT_TRUE(f.query->AddCustomQuery(L"label", disp, L"Lookup", true));
    EXPECT_EQ(before + 1, handler->Count());
    EXPECT_TRUE(f.query->AddCustomQuery(L"caption", disp, nullptr, false));  // method named as the property
    EXPECT_EQ(before + 1, handler->Count());

    CComVariant result, param(L"p");
    EXPECT_EQ(S_OK, f.Run(L"label", &param, result));
    EXPECT_STREQ(L"lookup:p", result.bstrVal);
    EXPECT_EQ(f.Id(), handler->lastId);
    EXPECT_EQ(S_OK, f.Run(L"CAPTION", &param, result));
    EXPECT_STREQ(L"caption:p", result.bstrVal);

    // A missing parameter goes as VT_EMPTY; an empty answer lets the next handler run.
    f.query->AddQuery(L"label", &CQueryUnderTest::Answers);
    EXPECT_EQ(S_OK, f.Run(L"label", nullptr, result));
    EXPECT_EQ(7, result.lVal);
    // An unknown method name is that record's failure.
    f.query->AddCustomQuery(L"other", disp, L"Missing", false);
    EXPECT_EQ(DISP_E_UNKNOWNNAME, f.Run(L"other", &param, result));

    f.query = Holder<CQueryUnderTest>();  // the engine's records let their reference go
    EXPECT_EQ(before, handler->Count());
}

TEST(ComKorQuery, CompareSetTrimsAndMatchesPatternsOverTheWholeText) {
    Fixture f;
    f.engine->PutValue(L"text", CComVariant(L"Order details"));
    f.engine->PutValue(L"id", CComVariant(L"abc"));
    f.engine->PutValue(L"count", CComVariant(3L));
    CKorSafeArray blanks = Description({{L"text", CComVariant(L"  Order details "), 0}});
    EXPECT_TRUE(f.query->CompareSet(f.Id(), blanks.psa, nullptr));
    CKorSafeArray pattern = Description({{L"text", CComVariant(L"Order .*"), 1}, {L"id", CComVariant(L"ab.*"), 1}});
    EXPECT_TRUE(f.query->CompareSet(f.Id(), pattern.psa, nullptr));
    EXPECT_EQ((std::vector<std::wstring>{L"QueryValue(id,text)", L"QueryValue(id,text,id)"}), f.engine->Log().Lines());

    f.engine->PutValue(L"id", CComVariant(L"xabc"));
    EXPECT_FALSE(f.query->CompareSet(f.Id(), pattern.psa, nullptr));
    f.engine->PutValue(L"id", CComVariant(L"ABC"));  // patterns are case-sensitive here
    EXPECT_FALSE(f.query->CompareSet(f.Id(), pattern.psa, nullptr));

    // Without a pattern the values must be of one type and equal.
    CKorSafeArray typed = Description({{L"count", CComVariant(3L), 0}});
    EXPECT_TRUE(f.query->CompareSet(f.Id(), typed.psa, nullptr));
    CKorSafeArray asText = Description({{L"count", CComVariant(L"3"), 0}});
    EXPECT_FALSE(f.query->CompareSet(f.Id(), asText.psa, nullptr));
    CKorSafeArray numberPattern = Description({{L"count", CComVariant(L"\\d"), 1}});
    EXPECT_FALSE(f.query->CompareSet(f.Id(), numberPattern.psa, nullptr));
    CKorSafeArray badPattern = Description({{L"text", CComVariant(L"(Order"), 1}});
    EXPECT_FALSE(f.query->CompareSet(f.Id(), badPattern.psa, nullptr));
    // A value nobody reports stays empty and matches nothing but an empty expectation.
    CKorSafeArray unknown = Description({{L"nothing", CComVariant(L"x"), 0}});
    EXPECT_FALSE(f.query->CompareSet(f.Id(), unknown.psa, nullptr));

    // The description itself is left as it was.
    CComVariant cell;
    blanks.GetElement(&cell, 0, 1);
    EXPECT_STREQ(L"  Order details ", cell.bstrVal);
}

TEST(ComKorQuery, CompareSetEngines) {
    Fixture f;
    CKorSafeArray empty = Description({});
    EXPECT_TRUE(f.query->CompareSet(f.Id(), empty.psa, nullptr));
    EXPECT_EQ(std::vector<std::wstring>{L"QueryValue(id,)"}, f.engine->Log().Lines());

    // A given engine is used instead of the host's.
    auto own = Holder<CQueryEngineStandIn>::New();
    own->PutValue(L"text", CComVariant(L"mine"));
    CKorSafeArray mine = Description({{L"text", CComVariant(L"mine"), 0}});
    EXPECT_TRUE(f.query->CompareSet(f.Id(), mine.psa, own.as<IKorQuery>()));
    EXPECT_EQ(1u, f.engine->Log().Lines().size());

    f.rack->RemoveObject(CComBSTR(L"StdPackageQueryEngine"));
    EXPECT_FALSE(f.query->CompareSet(f.Id(), empty.psa, nullptr));
    f.query->SetRack(nullptr);
    EXPECT_FALSE(f.query->CompareSet(f.Id(), empty.psa, nullptr));
}

TEST(TestState, AutModeIsCachedOnceKnownAndReadAgainWhileOfAnotherType) {
    Fixture e;
    e.options->Put(L"", L"AutMode", 2L);
    EXPECT_EQ(0, e.query->GetAutMode());
    e.options->Put(L"", L"AutMode", 1L);
    EXPECT_EQ(0, e.query->GetAutMode());  // cached

    Fixture g;
    g.options->Put(L"", L"AutMode", 1L);
    EXPECT_EQ(1, g.query->GetAutMode());
    EXPECT_EQ(1, g.query->GetAutMode());
    EXPECT_EQ(1u, g.options->Log().Lines().size());

    Fixture f;
    f.options->Put(L"", L"AutMode", L"1");
    EXPECT_EQ(-1, f.query->GetAutMode());
    EXPECT_EQ(-1, f.query->GetAutMode());
    EXPECT_EQ(2u, f.options->Log().Lines().size());
    f.options->Put(L"", L"AutMode", 1L);
    EXPECT_EQ(1, f.query->GetAutMode());

    Fixture missing;  // the option is not there: the read fails and the value stays empty
    EXPECT_EQ(0, missing.query->GetAutMode());
    Fixture noOptions;
    noOptions.rack->RemoveObject(CComBSTR(L"TestOptions"));
    CComVariant value;
    EXPECT_TRUE(FAILED(noOptions.query->GetTestOption(L"AutMode", &value)));
    EXPECT_EQ(0, noOptions.query->GetAutMode());
    noOptions.query->SetRack(nullptr);
    EXPECT_EQ(E_FAIL, noOptions.query->GetTestOption(L"AutMode", &value));
}

TEST(TestState, OptionsAreReadByName) {
    Fixture f;
    f.options->Put(L"", L"ReplayType", 3L);
    CComVariant value;
    EXPECT_EQ(S_OK, f.query->GetTestOption(L"ReplayType", &value));
    EXPECT_EQ(3, value.lVal);
    ASSERT_EQ(1u, f.options->Log().Lines().size());
    EXPECT_EQ(L"get_Item(BSTR:ReplayType)", f.options->Log().Lines()[0]);
    CComVariant none;
    EXPECT_EQ(S_OK, f.query->GetTestOption(L"NotThere", &none));  // the read's answer is not looked at
    EXPECT_EQ(VT_EMPTY, none.vt);
}

namespace {
HRESULT WINAPI NoSuchProgId(LPCOLESTR, LPCLSID) { return CO_E_CLASSSTRING; }
}  // namespace

TEST(ComKorQuery, TheEngineKeepsTheMatcherItWasBuiltWith) {
    Fixture built;  // the component is there when the engine is made
    built.engine->PutValue(L"id", CComVariant(L"abc"));
    CKorSafeArray pattern = Description({{L"id", CComVariant(L"a.c"), 1}});
    CKorSafeArray plain = Description({{L"id", CComVariant(L"abc"), 0}});

    RegExpMatcher::ClsidLookup previous = RegExpMatcher::SetClsidLookup(&NoSuchProgId);
    Fixture missing;  // made while the component cannot be found
    missing.engine->PutValue(L"id", CComVariant(L"abc"));
    EXPECT_TRUE(built.query->CompareSet(built.Id(), pattern.psa, nullptr));
    EXPECT_FALSE(missing.query->CompareSet(missing.Id(), pattern.psa, nullptr));
    EXPECT_TRUE(missing.query->CompareSet(missing.Id(), plain.psa, nullptr));
    RegExpMatcher::SetClsidLookup(previous);

    EXPECT_FALSE(missing.query->CompareSet(missing.Id(), pattern.psa, nullptr));
    EXPECT_TRUE(built.query->CompareSet(built.Id(), pattern.psa, nullptr));
}
