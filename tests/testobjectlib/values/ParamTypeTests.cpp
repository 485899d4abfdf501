// Run-time values of stored property values: parameter texts through the host's manager, and the
// conversion to the declared type.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "com/ComBSTR.h"
#include "com/ComObject.h"
#include "com/ComVariant.h"
#include "HostStandIn.h"
#include "values/ValueComparison.h"

using kcom::CComBSTR;
using kcom::CComVariant;
using standin::CRackStandIn;
using standin::Holder;

namespace {

constexpr DWORD kParameterText = 0x100;

// Evaluates "p1" to 42, "text" to a string with the success code S_FALSE, and fails for anything else.
class CParameterFake : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IKorParameter {
public:
    BEGIN_COM_MAP(CParameterFake)
        COM_INTERFACE_ENTRY(IKorParameter)
    END_COM_MAP()

    std::vector<std::wstring>* log = nullptr;

    STDMETHOD(Evaluate)(BSTR text, VARIANT* value) override {
        std::wstring t(text ? text : L"");
        if (log) log->push_back(L"Evaluate " + t);
        if (t == L"p1") {
            value->vt = VT_I4;
            value->lVal = 42;
            return S_OK;
        }
        if (t == L"text") {
            value->vt = VT_BSTR;
            value->bstrVal = ::SysAllocString(L"17");
            return S_FALSE;
        }
        return DISP_E_UNKNOWNNAME;
    }
};

// Hands out a parameter object; "none" answers S_OK without one, "plain" an object without the
// parameter interface, "refuse" a failure.
class CParamTypeMgrFake : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IKorParamTypeMgr {
public:
    BEGIN_COM_MAP(CParamTypeMgrFake)
        COM_INTERFACE_ENTRY(IKorParamTypeMgr)
    END_COM_MAP()

    std::vector<std::wstring> log;

    STDMETHOD(CreateParameter)(BSTR text, IUnknown** parameter) override {
        std::wstring t(text ? text : L"");
        log.push_back(L"CreateParameter " + t);
        *parameter = nullptr;
        if (t == L"none") return S_OK;
        if (t == L"refuse") return E_UNEXPECTED;
        if (t == L"plain")
            return Holder<CRackStandIn>::New()->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(parameter));
        auto created = Holder<CParameterFake>::New();
        created->log = &log;
        return created->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(parameter));
    }
};

struct Host {
    Holder<CRackStandIn> rack = Holder<CRackStandIn>::New();
    Holder<CParamTypeMgrFake> manager = Holder<CParamTypeMgrFake>::New();
    Host() { rack->Put(L"KorParamTypeMgr", manager.as<IKorParamTypeMgr>()); }
    IObjectRack* Rack() const { return rack.as<IObjectRack>(); }
};

}  // namespace

TEST(ConvertByParamType, ParameterTextIsEvaluatedThroughTheHost) {
    Host host;
    CComVariant stored(L"p1"), result(L"old");
    EXPECT_EQ(S_OK, ConvertByParamType(host.Rack(), nullptr, &stored, kParameterText, VT_EMPTY, 0, &result));
    EXPECT_EQ(VT_I4, result.vt);
    EXPECT_EQ(42, result.lVal);
    EXPECT_EQ((std::vector<std::wstring>{L"CreateParameter p1", L"Evaluate p1"}), host.manager->log);

    // The declared type applies to the evaluated value, unless the compare type keeps it.
    EXPECT_EQ(S_OK, ConvertByParamType(host.Rack(), nullptr, &stored, kParameterText, VT_BSTR, 0, &result));
    ASSERT_EQ(VT_BSTR, result.vt);
    EXPECT_STREQ(L"42", result.bstrVal);
    EXPECT_EQ(S_OK, ConvertByParamType(host.Rack(), nullptr, &stored, kParameterText, VT_BSTR, CMP_KEEP_TYPE, &result));
    EXPECT_EQ(VT_I4, result.vt);

    // The evaluation's success code stands when nothing is converted; a conversion's answer replaces it.
    CComVariant text(L"text");
    EXPECT_EQ(S_FALSE, ConvertByParamType(host.Rack(), nullptr, &text, kParameterText, VT_EMPTY, 0, &result));
    EXPECT_STREQ(L"17", result.bstrVal);
    EXPECT_EQ(S_OK, ConvertByParamType(host.Rack(), nullptr, &text, kParameterText, VT_I4, 0, &result));
    EXPECT_EQ(VT_I4, result.vt);
    EXPECT_EQ(17, result.lVal);
}

TEST(ConvertByParamType, HostFailures) {
    Host host;
    CComVariant result(L"untouched");
    auto convert = [&](IObjectRack* rack, const VARIANT& v) {
        return ConvertByParamType(rack, nullptr, &v, kParameterText, VT_EMPTY, 0, &result);
    };
    EXPECT_EQ(E_FAIL, convert(nullptr, CComVariant(L"p1")));
    EXPECT_EQ(E_FAIL, convert(host.Rack(), CComVariant(5L)));
    auto emptyRack = Holder<CRackStandIn>::New();
    EXPECT_EQ(E_POINTER, convert(emptyRack.as<IObjectRack>(), CComVariant(L"p1")));
    EXPECT_EQ(E_FAIL, convert(host.Rack(), CComVariant(L"none")));
    EXPECT_EQ(E_FAIL, convert(host.Rack(), CComVariant(L"plain")));
    EXPECT_EQ(E_FAIL, convert(host.Rack(), CComVariant(L"refuse")));
    EXPECT_EQ(DISP_E_UNKNOWNNAME, convert(host.Rack(), CComVariant(L"unknown")));
    ASSERT_EQ(VT_BSTR, result.vt);
    EXPECT_STREQ(L"untouched", result.bstrVal);
    EXPECT_EQ(E_INVALIDARG, ConvertByParamType(host.Rack(), nullptr, &result, kParameterText, VT_EMPTY, 0, nullptr));
    EXPECT_EQ(E_INVALIDARG, ConvertByParamType(host.Rack(), nullptr, nullptr, 0, VT_EMPTY, 0, &result));
}

TEST(ConvertByParamType, PlainValuesAreCopiedAndConverted) {
    CComVariant result, stored(L" 12 ");
    EXPECT_EQ(S_OK, ConvertByParamType(nullptr, nullptr, &stored, 0, VT_EMPTY, 0, &result));
    EXPECT_STREQ(L" 12 ", result.bstrVal);
    EXPECT_STREQ(L" 12 ", stored.bstrVal);
    EXPECT_EQ(S_OK, ConvertByParamType(nullptr, nullptr, &stored, 0, VT_I4, 0, &result));
    EXPECT_EQ(VT_I4, result.vt);
    EXPECT_EQ(12, result.lVal);
    EXPECT_EQ(S_OK, ConvertByParamType(nullptr, nullptr, &stored, 0, VT_I4, CMP_KEEP_TYPE, &result));
    EXPECT_EQ(VT_BSTR, result.vt);
    // A failed conversion answers its failure and hands on the value unconverted.
    CComVariant word(L"abc");
    EXPECT_EQ(DISP_E_TYPEMISMATCH, ConvertByParamType(nullptr, nullptr, &word, 0, VT_I4, 0, &result));
    ASSERT_EQ(VT_BSTR, result.vt);
    EXPECT_STREQ(L"abc", result.bstrVal);
}
