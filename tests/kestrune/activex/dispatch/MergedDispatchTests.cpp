// The ActiveX test object's IDispatch: the fixed table of the default interface, and the merged
// interface once a custom source joined, with a source whose members come from OLE Automation's
// table and which records every call it gets.
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>
#include "AcxObjectFixture.h"
#include "activex/dispatch/IMultiDispatch.h"
#include "activex/dispatch/MultiTypeInfoWrapper.h"
#include "com/ComSafeArray.h"
#include "com/TypeInfoDesc.h"
#include "environment/ObjectMap.h"

using kcom::CComBSTR;
using kcom::CComPtr;
using kcom::CComVariant;

namespace {

// A custom source: CustFoo(a As Long, b As Object, c), Click(x), the property Level (get, put).
class CSource : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IDispatch {
public:
    BEGIN_COM_MAP(CSource)
        COM_INTERFACE_ENTRY(IDispatch)
    END_COM_MAP()

    HRESULT FinalConstruct() {
        static PARAMDATA foo[] = {{const_cast<OLECHAR*>(L"a"), VT_I4}, {const_cast<OLECHAR*>(L"b"), VT_DISPATCH},
                                  {const_cast<OLECHAR*>(L"c"), VT_VARIANT}};
        static PARAMDATA x[] = {{const_cast<OLECHAR*>(L"x"), VT_I4}};
        static METHODDATA methods[] = {
            {const_cast<OLECHAR*>(L"CustFoo"), foo, 100, 0, CC_STDCALL, 3, DISPATCH_METHOD, VT_EMPTY},
            {const_cast<OLECHAR*>(L"Click"), x, 101, 1, CC_STDCALL, 1, DISPATCH_METHOD, VT_EMPTY},
            {const_cast<OLECHAR*>(L"Level"), nullptr, 102, 2, CC_STDCALL, 0, DISPATCH_PROPERTYGET, VT_I4},
            {const_cast<OLECHAR*>(L"Level"), x, 102, 3, CC_STDCALL, 1, DISPATCH_PROPERTYPUT, VT_EMPTY},
        };
        INTERFACEDATA data{methods, 4};
        CComPtr<ITypeInfo> made;
        HREFTYPE ref = 0;
        HRESULT hr = ::CreateDispTypeInfo(&data, 0x800, made.Put());
        if (SUCCEEDED(hr)) hr = made->GetRefTypeOfImplType(0, &ref);
        if (SUCCEEDED(hr)) hr = made->GetRefTypeInfo(ref, info_.Put());
        return hr;
    }
    STDMETHOD(GetTypeInfoCount)(UINT* count) override { return *count = 1, S_OK; }
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo** out) override { return info_.CopyTo(out); }
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        return ::DispGetIDsOfNames(info_, names, count, ids);
    }
    // "<dispid> <flags> [<vt of the first argument>,...]"
    STDMETHOD(Invoke)(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
        std::wstring line = std::to_wstring(id) + L" " + std::to_wstring(flags) + L" [";
        for (UINT i = params->cArgs; i-- > 0;) {
            const VARIANT& v = params->rgvarg[i];
            line += std::to_wstring(v.vt) + (v.vt == VT_DISPATCH && !v.pdispVal ? L"null" : L"");
            if (i) line += L",";
        }
        calls.push_back(line + L"]");
        return S_OK;
    }

    std::vector<std::wstring> calls;

private:
    CComPtr<ITypeInfo> info_;
};

// An object to hand over as an argument: without a value of its own, no conversion makes one of it.
class CPassed : public CSource {
public:
    STDMETHOD(Invoke)(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }
};

// Counts the custom hook.
class CHookedObject : public CKorActiveXProbe {
public:
    HRESULT STDMETHODCALLTYPE EnsureCustomObjects() override {
        ++hooked;
        return S_FALSE;
    }
    int hooked = 0;
};

class MergedDispatch : public AcxObjectFixture {
protected:
    void SetUp() override {
        AcxObjectFixture::SetUp();
        object_ = Windowed();
        dispatch_ = Itf<IDispatch>(U(object_));
        source_ = standin::Holder<CSource>::New();
    }
    DISPID Id(const wchar_t* name, HRESULT expected = S_OK) {
        LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
        DISPID id = 12345;
        EXPECT_EQ(expected, dispatch_->GetIDsOfNames(IID_NULL, names, 1, 0, &id)) << name;
        return id;
    }
    HRESULT Call(DISPID id, WORD flags, std::vector<CComVariant> args, VARIANT* result = nullptr) {
        DISPPARAMS params{args.empty() ? nullptr : args.data(), nullptr, static_cast<UINT>(args.size()), 0};
        return dispatch_->Invoke(id, IID_NULL, 0, flags, &params, result, nullptr, nullptr);
    }
    void Join() { ASSERT_EQ(S_OK, static_cast<IMultiDispatch*>(dispatch_.get())->AddDispatch(source_.as<IDispatch>())); }

    AcxObject object_;
    CComPtr<IDispatch> dispatch_;
    standin::Holder<CSource> source_;
};

TEST_F(MergedDispatch, WithoutSourcesTheFixedTableSendsEachDispidToItsInterface) {
    EXPECT_EQ(0x51, Id(L"Click"));
    EXPECT_EQ(0xE, Id(L"exist"));
    Id(L"NoSuchMember", DISP_E_UNKNOWNNAME);
    for (DISPID absent : {0x214, 0x217, 0x218, 0x54, 0x6, 0x19, 0x219})
        EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Call(absent, DISPATCH_METHOD, {})) << absent;

    // 0x58 reaches IStdObjectReplay (the inner object's window), 0x213 IKorActiveXBaseReplay.
    CComVariant window;
    EXPECT_EQ(S_OK, Call(0x58, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, window.Put()));
    EXPECT_EQ(L(ctl_), window.lVal);
    CComVariant control;
    ASSERT_EQ(S_OK, Call(0x213, DISPATCH_PROPERTYGET, {}, control.Put()));
    ASSERT_EQ(VT_DISPATCH, control.vt);
    CComVariant caption;
    EXPECT_HRESULT_SUCCEEDED(DispGet(control.pdispVal, L"Caption", caption.Put()));
    EXPECT_STREQ(L"Hello", caption.bstrVal);
    // A read whose only parameter is its result hands further arguments to what it read.
    CComVariant passedOn;
    EXPECT_NE(DISP_E_BADPARAMCOUNT, Call(0x213, DISPATCH_PROPERTYGET, {CComVariant(1L)}, passedOn.Put()));

    CComPtr<ITypeInfo> info;
    ASSERT_EQ(S_OK, dispatch_->GetTypeInfo(0, 0, info.Put()));
    kcom::CTypeAttr attr;
    ASSERT_EQ(S_OK, kcom::GetTypeAttr(info, attr));
    EXPECT_TRUE(::IsEqualGUID(DIID_ActiveX, attr->guid));
}

TEST_F(MergedDispatch, ASourceJoinsUnderDispidsOfFirstAppearanceAndTheLastSourceWins) {
    Join();
    // The default interface is source 0: its first member draws 7.
    EXPECT_EQ(7, Id(L"GetProperty"));
    const DISPID click = Id(L"Click"), foo = Id(L"CustFoo");
    EXPECT_GT(foo, click);
    EXPECT_EQ(click, Id(L"CLICK"));
    EXPECT_NE(0x51, click);
    // The first unknown name ends the call; later entries stay as they were.
    LPOLESTR names[2] = {const_cast<LPOLESTR>(L"NoSuch"), const_cast<LPOLESTR>(L"Click")};
    DISPID ids[2] = {1, 2};
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, dispatch_->GetIDsOfNames(IID_NULL, names, 2, 0, ids));
    EXPECT_EQ(DISPID_UNKNOWN, ids[0]);
    EXPECT_EQ(2, ids[1]);
    EXPECT_EQ(E_POINTER, dispatch_->GetIDsOfNames(IID_NULL, names, 1, 0, nullptr));

    // A shared name goes to the source with the source's own DISPID.
    EXPECT_EQ(S_OK, Call(click, DISPATCH_METHOD, {CComVariant(3L)}));
    EXPECT_EQ(std::vector<std::wstring>{L"101 1 [3]"}, source_->calls);
    // The standard members stay reachable through source 0.
    standin::CWinObjectStandIn::OfOuter(U(object_))->Log().Clear();
    EXPECT_EQ(S_OK, Call(Id(L"Type"), DISPATCH_METHOD, {CComVariant(L"q")}));
    EXPECT_EQ(1, standin::CWinObjectStandIn::OfOuter(U(object_))->Log().Count(L"do_Type"));
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Call(0x7FFF, DISPATCH_METHOD, {}));
}

TEST_F(MergedDispatch, MissingTrailingArgumentsOfAMethodArePadded) {
    Join();
    CComVariant given(5L);
    DISPPARAMS params{&given, nullptr, 1, 0};
    ASSERT_EQ(S_OK, dispatch_->Invoke(Id(L"CustFoo"), IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr));
    // In order from the first: the given Long, a null object, an empty value.
    EXPECT_EQ(L"100 1 [3,9null,0]", source_->calls.back());
    EXPECT_EQ(&given, params.rgvarg);
    EXPECT_EQ(1u, params.cArgs);

    // A property's table entry is its put accessor: a read is not padded to it, and neither is a
    // call with named arguments.
    CComVariant value;
    EXPECT_EQ(S_OK, Call(Id(L"Level"), DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, value.Put()));
    EXPECT_EQ(L"102 3 []", source_->calls.back());
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS named{&given, &put, 1, 1};
    EXPECT_EQ(S_OK, dispatch_->Invoke(Id(L"Level"), IID_NULL, 0, DISPATCH_PROPERTYPUT, &named, nullptr, nullptr, nullptr));
    EXPECT_EQ(L"102 4 [3]", source_->calls.back());
    EXPECT_EQ(E_POINTER, dispatch_->Invoke(Id(L"Level"), IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr));

    // The object's own members keep their declared defaults: the whole control's text, not an empty rectangle's.
    standin::CWinObjectStandIn::OfOuter(U(object_))->Log().Clear();
    CComVariant text;
    EXPECT_EQ(S_OK, Call(Id(L"GetVisibleText"), DISPATCH_METHOD, {}, text.Put()));
    std::wstring asked;
    for (const std::wstring& line : standin::CWinObjectStandIn::OfOuter(U(object_))->Log().Lines())
        if (line.rfind(L"do_GetVisibleText(", 0) == 0) asked = line;
    EXPECT_EQ(0u, asked.find(L"do_GetVisibleText(-1,-1,-1,-1,")) << asked;
}

// Calls that break the IDispatch contract are refused at every IDispatch of the package before
// anything reads them, and the caller's EXCEPINFO, an out parameter, comes back cleared.
TEST_F(MergedDispatch, ArgumentsThatBreakTheContractAreRefusedAtEveryEntry) {
    AcxObject joined = Windowed();
    CComPtr<IDispatch> merged = Itf<IDispatch>(U(joined)), defaultDual, util;
    ASSERT_EQ(S_OK, static_cast<IMultiDispatch*>(merged.get())->AddDispatch(source_.as<IDispatch>()));
    ASSERT_EQ(S_OK, static_cast<IMultiDispatch*>(dispatch_.get())->GetDefaultDispatch(defaultDual.Put()));
    ASSERT_EQ(S_OK, AcxUtilObjCreator(nullptr, IID_IDispatch, reinterpret_cast<void**>(util.Put())));
    VARIANT args[3] = {};  // a value and an object by reference without their pointers, a number
    args[0].vt = VT_BYREF | VT_I4, args[1].vt = VT_BYREF | VT_DISPATCH, args[2].vt = VT_I4;
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS noArray{nullptr, nullptr, 2, 0}, noNames{args + 2, nullptr, 1, 1}, moreNamed{args + 2, &put, 1, 2},
        nullValue{args, nullptr, 1, 0}, nullObject{args + 1, nullptr, 1, 0};
    const std::pair<DISPPARAMS*, HRESULT> calls[] = {{nullptr, E_POINTER},    {&noArray, E_POINTER},
                                                     {&noNames, E_POINTER},   {&moreNamed, E_INVALIDARG},
                                                     {&nullValue, E_POINTER}, {&nullObject, E_POINTER}};
    IDispatch* const entries[] = {dispatch_, merged, defaultDual, object_.as<IStdObjectReplay>(),
                                  object_.as<DispTestObject>(), util};
    LPOLESTR name = const_cast<LPOLESTR>(L"Click");
    for (size_t e = 0; e < std::size(entries); ++e) {
        for (size_t c = 0; c < std::size(calls); ++c) {
            EXCEPINFO excep;
            std::memset(&excep, 0xCD, sizeof excep);  // as a C++ caller leaves it
            EXPECT_EQ(calls[c].second,
                      entries[e]->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, calls[c].first, nullptr, &excep, nullptr))
                << e << "," << c;
            EXPECT_TRUE(!excep.scode && !excep.bstrSource && !excep.bstrDescription && !excep.bstrHelpFile) << e;
        }
        DISPID id = 0;
        EXPECT_EQ(E_POINTER, entries[e]->GetIDsOfNames(IID_NULL, nullptr, 1, 0, &id)) << e;
        EXPECT_EQ(E_POINTER, entries[e]->GetIDsOfNames(IID_NULL, &name, 1, 0, nullptr)) << e;
    }
}

// An object handed to members as an argument stays the caller's: once the test objects are gone it
// holds no reference more, however wrong the call that carried it. The calls are a seeded table, as
// a careless or hostile script sends them, over every member of the object's dispatch: too few and
// too many arguments, the object by value, by reference and as VT_UNKNOWN among other values,
// combined flags, a named DISPID_PROPERTYPUT; with reports on.
TEST_F(MergedDispatch, AnObjectPassedAmongWrongArgumentsIsNotKept) {
    for (const wchar_t* option : {L"DefaultTimeout", L"DefaultDelay"}) bed_.options->Put(L"", option, 0L);
    standin::Holder<CPassed> passed = standin::Holder<CPassed>::New();
    IDispatch* p = passed.as<IDispatch>();
    IUnknown* u = p;
    auto count = [&] { return p->AddRef(), p->Release(); };
    ULONG before = count();
    CComBSTR caption(L"Caption");  // names no image file: no capture is written
    BSTR captionText = caption;
    SAFEARRAYBOUND bound{2, 0};
    kcom::CComSafeArray array(::SafeArrayCreate(VT_VARIANT, 1, &bound));
    VARIANT forms[10] = {};  // the object four ways, then other values; none owns what it holds
    forms[0].vt = VT_DISPATCH, forms[0].pdispVal = p, forms[1].vt = VT_UNKNOWN, forms[1].punkVal = u;
    forms[2].vt = VT_BYREF | VT_DISPATCH, forms[2].ppdispVal = &p, forms[3].vt = VT_BYREF | VT_UNKNOWN;
    forms[3].ppunkVal = &u;
    forms[4].vt = VT_I4, forms[4].lVal = -1, forms[5].vt = VT_BSTR, forms[5].bstrVal = caption;
    forms[6].vt = VT_ARRAY | VT_VARIANT, forms[6].parray = array, forms[7].vt = VT_DATE, forms[7].date = 2.5;
    forms[8].vt = VT_CY, forms[8].cyVal.int64 = 15000, forms[9].vt = VT_BYREF | VT_BSTR, forms[9].pbstrVal = &captionText;
    const WORD flagSets[] = {DISPATCH_METHOD, DISPATCH_PROPERTYGET, 0x3, DISPATCH_PROPERTYPUT, 0x5, 0xF, 0xFFFF};

    // Every member of the merged dispatch, with its count of parameters.
    Join();
    CComPtr<ITypeInfo> info;
    ASSERT_EQ(S_OK, dispatch_->GetTypeInfo(0, 0, info.Put()));
    kcom::CTypeAttr attr;
    ASSERT_EQ(S_OK, kcom::GetTypeAttr(info, attr));
    CComPtr<IDispatch> unmerged = Itf<IDispatch>(U(Windowed()));
    struct Member {
        CComBSTR name;
        UINT params;
        bool merged;  // the custom source's alone
    };
    std::vector<Member> members;
    for (UINT f = 0; f < attr->cFuncs; ++f) {
        kcom::CFuncDesc func;
        ASSERT_EQ(S_OK, kcom::GetFuncDesc(info, f, func));
        CComBSTR name;
        ASSERT_EQ(S_OK, info->GetDocumentation(func->memid, name.Put(), nullptr, nullptr, nullptr));
        LPOLESTR names[1] = {name};
        DISPID id = 0;
        members.push_back({name, static_cast<UINT>(func->cParams),
                           FAILED(unmerged->GetIDsOfNames(IID_NULL, names, 1, 0, &id))});
    }
    unmerged.Release();
    object_ = AcxObject();
    dispatch_.Release();

    // One call on new test objects: merged, windowed, or with no control behind it. The object's
    // count is back once they are gone.
    auto call = [&](const wchar_t* name, int kind, WORD flags, std::vector<VARIANT> args, std::vector<DISPID> named) {
        std::wstring text = std::wstring(name) + L" flags " + std::to_wstring(flags) + L" (";
        for (size_t i = 0; i < args.size(); ++i) text += std::to_wstring(args[i].vt) + (i + 1 < args.size() ? L"," : L"");
        text += L") named " + std::to_wstring(named.size()) + L" kind " + std::to_wstring(kind);
        HRESULT hr = E_UNEXPECTED;
        {
            AcxObject target = kind == 2 ? New() : Windowed();
            CComPtr<IDispatch> dispatch = Itf<IDispatch>(U(target));
            if (kind == 0) {
                EXPECT_EQ(S_OK, static_cast<IMultiDispatch*>(dispatch.get())->AddDispatch(source_.as<IDispatch>()));
            }
            LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
            DISPID id = DISPID_UNKNOWN;
            EXPECT_EQ(S_OK, dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id)) << text;
            DISPPARAMS dp{args.data(), named.data(), static_cast<UINT>(args.size()), static_cast<UINT>(named.size())};
            VARIANT result;
            std::memset(&result, 0xCD, sizeof result);  // as a C++ caller leaves an out value
            hr = dispatch->Invoke(id, IID_NULL, 0, flags, &dp, &result, nullptr, nullptr);
            ::VariantClear(&result);  // made empty on entry, whatever the answer
        }
        bed_.report->Clear();
        const ULONG now = count();
        EXPECT_EQ(before, now) << text << " -> " << std::hex << hr;
        before = now;
        return hr;
    };
    // Refused before Invoke takes its copies, with Invoke's own answer: one argument too many before
    // a [retval], one that cannot become its parameter's type.
    EXPECT_EQ(DISP_E_BADPARAMCOUNT, call(L"Check", 1, DISPATCH_METHOD, {forms[4], forms[6], forms[0]}, {}));
    EXPECT_EQ(DISP_E_BADPARAMCOUNT, call(L"QueryValue", 1, 0xFFFF, {forms[6], forms[0], forms[4]}, {}));
    EXPECT_EQ(DISP_E_BADPARAMCOUNT, call(L"ChildObjects", 2, 0xF, {forms[7], forms[1]}, {}));
    EXPECT_EQ(DISP_E_TYPEMISMATCH,
              call(L"SetProperty", 1, 0xF, {forms[2], forms[4], forms[9], forms[7], forms[0], forms[9]}, {}));
    EXPECT_EQ(DISP_E_TYPEMISMATCH, call(L"FireEvent", 0, DISPATCH_METHOD, {forms[5], forms[2], forms[1]}, {}));
    // A named argument past the positional ones is passed by position, where Invoke frees its copy.
    EXPECT_EQ(DISP_E_EXCEPTION, call(L"Highlight", 2, 0x5, {forms[1]}, {DISPID_PROPERTYPUT}));

    std::mt19937 random(20261210);
    auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
    for (const auto& [name, params, merged] : members) {
        for (int round = 0; round < 16; ++round) {
            // What draws on the screen or brings a window up finds no control: the screen is every test's.
            const bool screen = !std::wcscmp(name, L"Highlight") || !std::wcscmp(name, L"MakeVisible");
            const int kind = merged ? 0 : screen ? 2 : static_cast<int>(pick(3));
            const WORD flags = flagSets[pick(std::size(flagSets))];
            const UINT counts[] = {0, params ? params - 1 : 0, params + 1, params + 2};
            std::vector<VARIANT> args(std::max(1u, counts[pick(std::size(counts))]));
            const size_t object = pick(args.size());
            for (size_t i = 0; i < args.size(); ++i) args[i] = forms[i == object ? pick(4) : pick(std::size(forms))];
            const size_t namedKind = pick(3);
            std::vector<DISPID> named;
            if (namedKind == 1) named = {DISPID_PROPERTYPUT};
            if (namedKind == 2 && args.size() >= 2) named = {0, DISPID_PROPERTYPUT};
            call(name, kind, flags, args, named);
        }
    }
}

TEST_F(MergedDispatch, TheMergedTypeInformation) {
    CComPtr<CMultiTypeInfoWrapper> alone;
    ASSERT_EQ(S_OK, CMultiTypeInfoWrapper::Create(alone.Put()));
    TYPEATTR* unbuilt = nullptr;
    EXPECT_EQ(E_NOTIMPL, alone->GetTypeAttr(&unbuilt));

    Join();
    CComPtr<ITypeInfo> info;
    ASSERT_EQ(S_OK, dispatch_->GetTypeInfo(0, 0, info.Put()));
    kcom::CTypeAttr attr;
    ASSERT_EQ(S_OK, kcom::GetTypeAttr(info, attr));
    EXPECT_EQ(TKIND_INTERFACE, attr->typekind);
    EXPECT_GE(attr->cFuncs, 35);
    CComBSTR name;
    EXPECT_EQ(S_OK, info->GetDocumentation(MEMBERID_NIL, name.Put(), nullptr, nullptr, nullptr));
    EXPECT_STREQ(L"ActiveX", name.c_str());
    EXPECT_EQ(S_OK, info->GetDocumentation(Id(L"CustFoo"), name.Put(), nullptr, nullptr, nullptr));
    EXPECT_STREQ(L"CustFoo", name.c_str());
    EXPECT_EQ(E_INVALIDARG, info->GetDocumentation(0x7FFF, name.Put(), nullptr, nullptr, nullptr));
    MEMBERID found = 0;
    LPOLESTR foo[1] = {const_cast<LPOLESTR>(L"CustFoo")};
    EXPECT_EQ(S_OK, info->GetIDsOfNames(foo, 1, &found));
    EXPECT_EQ(Id(L"CustFoo"), found);
    EXPECT_EQ(DISP_E_BADINDEX, dispatch_->GetTypeInfo(1, 0, info.Put()));
}

// The object holds its merged interface, which keeps the object's own interface as source 0
// without a reference: the last release frees the object, and a type description handed out
// before lives on without it.
TEST_F(MergedDispatch, NoCycleThroughTheObjectsOwnInterface) {
    Join();
    CComPtr<ITypeInfo> info;
    ASSERT_EQ(S_OK, dispatch_->GetTypeInfo(0, 0, info.Put()));
    ASSERT_NE(nullptr, standin::CWinObjectStandIn::OfOuter(U(object_)));
    dispatch_.Release();
    object_ = AcxObject();
    // The object's inner object went with it.
    EXPECT_EQ(nullptr, standin::CWinObjectStandIn::Last());
    CComBSTR name;
    EXPECT_EQ(S_OK, info->GetDocumentation(MEMBERID_NIL, name.Put(), nullptr, nullptr, nullptr));
    kcom::CTypeAttr attr;
    EXPECT_EQ(S_OK, kcom::GetTypeAttr(info, attr));
}

TEST_F(MergedDispatch, CustomObjectsAreMadeBeforeNamesButNotForTestObjectMethods) {
    standin::Holder<CHookedObject> hooked = standin::Holder<CHookedObject>::New();
    ASSERT_EQ(S_OK, hooked.as<IObjectRackClient>()->SetRack(bed_.Rack()));
    IDispatch* dispatch = Itf<IDispatch>(hooked->GetControllingUnknown());
    bed_.options->Put(L"Test Objects\\ActiveX", L"CLSID", L"{41AD1E23-B340-11D4-8F6F-0050DA3B0421}");
    bed_.options->Put(L"Test Objects\\Broken", L"CLSID", L"not a class");
    auto resolve = [&](const wchar_t* name) {
        LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
        DISPID id = 0;
        dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
        return hooked->hooked;
    };
    for (const wchar_t* exempt : {L"Init", L"EXIST", L"ChildObjects", L"SetTOProperty", L"GetTOProperty",
                                  L"gettoproperties", L"ActiveX"})
        EXPECT_EQ(0, resolve(exempt)) << exempt;
    EXPECT_EQ(1, resolve(L"Click"));
    EXPECT_EQ(2, resolve(L"Broken"));

    // A running, unpaused replay never makes them from the type information.
    CComPtr<ITypeInfo> info;
    bed_.options->Put(L"", L"OnReplay", CComVariant(true));
    dispatch->GetTypeInfo(0, 0, info.Put());
    EXPECT_EQ(2, hooked->hooked);
    bed_.options->Put(L"", L"OnPause", CComVariant(true));
    dispatch->GetTypeInfo(0, 0, info.Put());
    EXPECT_EQ(3, hooked->hooked);

    // Each call through the object's IDispatch starts without a report node.
    hooked->SetReportNode(12);
    DISPPARAMS none{};
    dispatch->Invoke(0x219, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr);
    EXPECT_EQ(-1, hooked->ReportNode());
}

}  // namespace
