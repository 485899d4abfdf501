// ActiveX test objects of the application's windowed control and of each of its windowless
// controls, from another process: what they read of their controls is what the controls hold
// at that moment.
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include "AcxObjectFixture.h"
#include "VarrowStandIn.h"
#include "tables/KorSafeArray.h"

using kcom::CComBSTR;
using kcom::CComPtr;
using kcom::CComVariant;

namespace {

std::wstring Text(const VARIANT& v) {
    CComVariant text;
    if (FAILED(text.ChangeType(VT_BSTR, &v)) || !text.bstrVal) return L"<no text>";
    return text.bstrVal;
}

// The rows (name, flag) of a run-time attribute list.
std::vector<std::pair<std::wstring, CComVariant>> Rows(SAFEARRAY* list) {
    CKorSafeArray table;
    table.Attach(list, true);
    std::vector<std::pair<std::wstring, CComVariant>> rows;
    for (LONG row = 0; list && row < static_cast<LONG>(table.GetRowCount()); ++row) {
        CComVariant name, flag;
        table.GetElement(&name, row, 0);
        table.GetElement(&flag, row, 1);
        rows.emplace_back(Text(name), flag);
    }
    return rows;
}
const CComVariant* Find(const std::vector<std::pair<std::wstring, CComVariant>>& rows, const wchar_t* name) {
    for (const auto& [n, flag] : rows)
        if (n == name) return &flag;
    return nullptr;
}

struct ControlCase {
    const wchar_t* name;
    long cookie;  // 0: the windowed control
    const wchar_t* progId;
    const wchar_t* caption;
};
const ControlCase kControls[] = {
    {L"ctl", 0, L"KorTest.WndCtl", L"Hello"},
    {L"main:7", 7, L"KorTest.WlsButton", L"Seven"},
    {L"main:8", 8, L"KorTest.WlsLabel", L"Eight"},
    {L"main:9", 9, L"Forms.CommandButton.1", L"Cancel"},
};

// The host's query engine in front of the bed's, noting the old-name switch at each search.
class CSwitchWatch : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IKorQuery {
public:
    BEGIN_COM_MAP(CSwitchWatch)
        COM_INTERFACE_ENTRY(IKorQuery)
    END_COM_MAP()
    IKorQuery* target = nullptr;  // not held: the rack holds both
    std::vector<LONG> seen;
    STDMETHOD(QueryIdFromContainer)(SAFEARRAY* description, IDispatch* container, SAFEARRAY** found,
                                    QueryIdInfo* context, SAFEARRAY* formats) override {
        seen.push_back(static_cast<LONG>(g_useOldNameQuery));
        return target->QueryIdFromContainer(description, container, found, context, formats);
    }
    STDMETHOD(QueryIdFromSet)(SAFEARRAY* description, SAFEARRAY** found) override {
        return target->QueryIdFromSet(description, found);
    }
    STDMETHOD(QueryValue)(IRuntimeID* id, SAFEARRAY* table) override { return target->QueryValue(id, table); }
};

class KorActiveXControls : public AcxObjectFixture {
protected:
    AcxObject Of(const ControlCase& c) { return c.cookie ? Windowless(c.cookie) : Windowed(); }
    CComPtr<IDispatch> ControlOf(const ControlCase& c) { return c.cookie ? Control(main_, c.cookie) : Control(ctl_); }
    static CComVariant RO(const AcxObject& object, const wchar_t* name, HRESULT* hr = nullptr) {
        CComVariant value;
        const HRESULT got = object.as<DispTestObject>()->GetROProperty(CComBSTR(name), nullptr, value.Put());
        if (hr) *hr = got;
        return value;
    }
};

TEST_F(KorActiveXControls, ReadsEachControlsOwnPropertiesAsTheyAreNow) {
    for (const ControlCase& c : kControls) {
        SCOPED_TRACE(c.name);
        AcxObject object = Of(c);
        CComPtr<IDispatch> control = ControlOf(c);
        HRESULT hr = E_FAIL;
        EXPECT_EQ(c.caption, Text(RO(object, L"Caption", &hr)));
        EXPECT_EQ(S_OK, hr);
        EXPECT_EQ(c.progId, Text(RO(object, L"progid")));

        // Changed inside the application, the next read follows.
        ASSERT_HRESULT_SUCCEEDED(DispPut(control, L"Caption", CComVariant(L"Changed")));
        ASSERT_HRESULT_SUCCEEDED(DispPut(control, L"Value", CComVariant(42L)));
        EXPECT_EQ(L"Changed", Text(RO(object, L"Caption")));
        EXPECT_EQ(L"42", Text(RO(object, L"Value")));
    }
}

TEST_F(KorActiveXControls, AValueTheQueryEngineCannotGiveIsReadFromTheControl) {
    for (const ControlCase& c : kControls) {
        SCOPED_TRACE(c.name);
        AcxObject object = Of(c);
        bed_.rack->Drop(L"StdPackageQueryEngine");
        CComVariant value;
        EXPECT_EQ(S_OK, object.as<DispTestObject>()->QueryValue(CComBSTR(L"Caption"), nullptr, value.Put()));
        EXPECT_EQ(c.caption, Text(value));
        // A name the control does not know either: the hook's answer, no value.
        EXPECT_EQ(S_OK, object.as<DispTestObject>()->QueryValue(CComBSTR(L"NoSuchProperty"), nullptr, value.Put()));
        EXPECT_EQ(VT_EMPTY, value.vt);
        bed_.rack->Put(L"StdPackageQueryEngine", bed_.queryEngine.as<IKorQuery2>());
    }
}

TEST_F(KorActiveXControls, TheControlsObjectAndTypeInformation) {
    for (const ControlCase& c : kControls) {
        SCOPED_TRACE(c.name);
        AcxObject object = Of(c);
        CComPtr<IDispatch> native;
        ASSERT_EQ(S_OK, object.as<IKorActiveXBaseReplay>()->get_Object(native.Put()));
        CComVariant caption;
        ASSERT_HRESULT_SUCCEEDED(DispGet(native, L"Caption", caption.Put()));
        EXPECT_EQ(c.caption, Text(caption));
        // The value travels through the control's own interface across the processes.
        ASSERT_HRESULT_SUCCEEDED(DispPut(native, L"Text", CComVariant(L"Through")));
        EXPECT_EQ(L"Through", Text(RO(object, L"Text")));

        CComPtr<ITypeInfo> info;
        ASSERT_EQ(S_OK, object.as<IMethodInfoHelper>()->GetROTypeInfo(0, 0, info.Put()));
        CComBSTR typeName;
        EXPECT_EQ(S_OK, info->GetDocumentation(MEMBERID_NIL, typeName.Put(), nullptr, nullptr, nullptr));
        EXPECT_STREQ(L"IKorTestControl", typeName.c_str());
        long ret = 0;
        EXPECT_EQ(E_NOTIMPL, object.as<IMethodInfoHelper>()->GetRetValStepType(CComBSTR(L"AddItem"), 1, nullptr, &ret));
    }
    // Without a control there is no object.
    AcxObject lost = New(WindowlessId(main_, 42), g_cfWindowlessAcxControl);
    CComPtr<IDispatch> none;
    EXPECT_EQ(static_cast<HRESULT>(0x80040202), lost.as<IKorActiveXBaseReplay>()->get_Object(none.Put()));
    EXPECT_FALSE(none);
}

TEST_F(KorActiveXControls, DescriptionNamesTheControlsProperties) {
    // No class settings: the control's names alone.
    {
        AcxObject object = Windowed();
        SAFEARRAY* list = nullptr;
        ASSERT_EQ(S_OK, object.as<ITestObjectInfo>()->GetRTAttribs(&list, nullptr));
        EXPECT_EQ(L"Text", Rows(list).at(0).first);
    }
    bed_.options->Put(L"Test Objects\\ActiveX\\RuntimeAttributes", L"abs_x", 1L);
    VarrowStandIn_Reset();
    VarrowStandIn_AddIgnoredProperty(L"KorTest.WlsLabel", L"ListCount");
    for (const ControlCase& c : kControls) {
        SCOPED_TRACE(c.name);
        AcxObject object = Of(c);
        // The windowed object starts from its inner object's names, which carry no flag.
        if (!c.cookie)
            standin::CWinObjectStandIn::Last()->SetRuntimeAttributes({L"abs_x", L"Value", L"Enabled", L"Name", L"Height"});
        SAFEARRAY* list = nullptr;
        ASSERT_EQ(S_OK, object.as<ITestObjectInfo>()->GetRTAttribs(&list, nullptr));
        auto rows = Rows(list);
        // The class's own attributes first, then the control's properties (false: not identifying);
        // four names without a flag are identifying.
        ASSERT_FALSE(rows.empty());
        EXPECT_EQ(L"abs_x", rows[0].first);
        for (const wchar_t* name : {L"Text", L"Caption", L"Value", L"Enabled", L"Name", L"Height"}) {
            const CComVariant* flag = Find(rows, name);
            ASSERT_TRUE(flag) << name;
            EXPECT_EQ(VT_BOOL, flag->vt);
            const bool identifying = !c.cookie && name[0] != L'T' && name[0] != L'C';
            EXPECT_EQ(identifying ? VARIANT_TRUE : VARIANT_FALSE, flag->boolVal) << name;
        }
        // The hidden members are not properties of the description; ignored ones neither.
        EXPECT_FALSE(Find(rows, L"InputLog"));
        EXPECT_EQ(c.cookie == 8, Find(rows, L"ListCount") == nullptr);
    }
    VarrowStandIn_Reset();
}

TEST_F(KorActiveXControls, RuntimeValuesOfAWindowedControlComeFromTheHook) {
    AcxObject object = Windowed();
    // A property, one the control refuses to read without its parameter, and a value only the
    // query engine knows.
    const wchar_t* names[3] = {L"Caption", L"Item", L"progid"};
    CKorSafeArray table(3, 2, VT_VARIANT);
    for (LONG row = 0; row < 3; ++row) {
        CComVariant name(names[row]);
        table.PutElement(&name, row, 0);
    }
    SAFEARRAY* psa = table.psa;
    ASSERT_EQ(S_OK, object.as<ITestObjectInfo>()->FillRTAttribsValues(&psa));
    CComVariant caption, item, progId;
    table.GetElement(&caption, 0, 1);
    table.GetElement(&item, 1, 1);
    table.GetElement(&progId, 2, 1);
    EXPECT_EQ(L"Hello", Text(caption));
    // The control's own refusal is kept (only a missing optional parameter becomes a text).
    EXPECT_EQ(VT_ERROR, item.vt);
    EXPECT_EQ(DISP_E_BADPARAMCOUNT, item.scode);
    EXPECT_EQ(L"KorTest.WndCtl", Text(progId));
}

TEST_F(KorActiveXControls, DirectWorkOnTheControl) {
    for (const ControlCase& c : kControls) {
        SCOPED_TRACE(c.name);
        AcxObject object = Of(c);
        IKorAXUtilities* direct = object.as<IKorAXUtilities>();
        CComBSTR progId;
        EXPECT_EQ(S_OK, direct->GetProgID(progId.Put()));
        EXPECT_STREQ(c.progId, progId.c_str());
        CComVariant value;
        EXPECT_EQ(S_OK, direct->GetPropertyByName(CComBSTR(L"Caption"), value.Put()));
        EXPECT_EQ(c.caption, Text(value));
        // The hook has no such value: no failure, nothing read.
        EXPECT_EQ(S_OK, direct->GetPropertyByName(CComBSTR(L"NoSuchProperty"), value.Put()));
        EXPECT_EQ(VT_EMPTY, value.vt);
        CComPtr<IDispatch> native;
        EXPECT_EQ(S_OK, direct->GetDispatch(native.Put()));
        EXPECT_TRUE(native);
        if (c.cookie) {
            EXPECT_EQ(E_NOTIMPL, direct->SetProperty(CComBSTR(L"Caption"), CComVariant(1L)));
            EXPECT_EQ(E_NOTIMPL, direct->InvokeMethod(CComBSTR(L"AddItem"), nullptr, value.Put()));
        } else {
            // The value travels as text.
            EXPECT_EQ(S_OK, direct->SetProperty(CComBSTR(L"Caption"), CComVariant(5L)));
            CComVariant caption;
            ASSERT_HRESULT_SUCCEEDED(DispGet(ControlOf(c), L"Caption", caption.Put()));
            EXPECT_EQ(VT_BSTR, caption.vt);
            EXPECT_EQ(L"5", Text(caption));
        }
    }
}

TEST_F(KorActiveXControls, EachControlExistsByItsDescription) {
    CComPtr<IDispatch> container = Container();
    ASSERT_TRUE(container);
    for (const ControlCase& c : kControls) {
        SCOPED_TRACE(c.name);
        AcxObject object = Of(c);
        if (c.cookie) {
            ASSERT_EQ(S_OK, Describe(object, L"parent", CComVariant(container.get()), 9));
        }
        ASSERT_EQ(S_OK, Describe(object, L"progid", CComVariant(c.progId), 0x10));
        VARIANT_BOOL exists = VARIANT_FALSE;
        EXPECT_EQ(S_OK, object.as<DispTestObject>()->get_Exist(0, &exists));
        EXPECT_EQ(VARIANT_TRUE, exists);
        // Found again: the identifier names the control it describes.
        EXPECT_EQ(c.caption, Text(RO(object, L"Caption")));

        ASSERT_EQ(S_OK, Describe(object, L"progid", CComVariant(L"KorTest.Nothing"), 0x10));
        EXPECT_EQ(S_OK, object.as<DispTestObject>()->get_Exist(0, &exists));
        EXPECT_EQ(VARIANT_FALSE, exists);
    }
}

TEST_F(KorActiveXControls, AnOldDescriptionIsIdentifiedByTheOldName) {
    // The host's engine as the package meets it, noting the old-name switch at each search.
    kcom::CComObject<CSwitchWatch>* watch = nullptr;
    ASSERT_EQ(S_OK, kcom::CComObject<CSwitchWatch>::CreateInstance(&watch));
    CComPtr<IKorQuery> hold(watch);
    watch->target = bed_.queryEngine.as<IKorQuery2>();
    bed_.rack->Put(L"StdPackageQueryEngine", hold);

    AcxObject object = Windowed();
    ASSERT_EQ(S_OK, Describe(object, L"progid", CComVariant(L"KorTest.WndCtl"), 0x10));
    std::vector<BYTE> bytes = Saved(U(object));
    AcxObject current = New();
    ASSERT_EQ(S_OK, LoadInto(U(current), bytes));
    VARIANT_BOOL exists = VARIANT_FALSE;
    EXPECT_EQ(S_OK, current.as<DispTestObject>()->get_Exist(0, &exists));
    EXPECT_EQ(VARIANT_TRUE, exists);
    EXPECT_EQ(std::vector<LONG>{0}, watch->seen);

    // Written before version 6.
    VersionField(bytes) = 5;
    AcxObject old = New();
    ASSERT_EQ(S_OK, LoadInto(U(old), bytes));
    watch->seen.clear();
    EXPECT_EQ(S_OK, old.as<DispTestObject>()->get_Exist(0, &exists));
    EXPECT_EQ(VARIANT_TRUE, exists);
    EXPECT_EQ(std::vector<LONG>{1}, watch->seen);
    EXPECT_EQ(0, g_useOldNameQuery);
}

TEST_F(KorActiveXControls, AControlThatIsGoneAnswersInTime) {
    AcxObject windowed = Windowed();
    AcxObject windowless = Windowless(7);
    bed_.aut.Stop();
    const DWORD start = ::GetTickCount();
    // The request reaches no hook: nothing read, said so.
    CComVariant value;
    EXPECT_EQ(S_FALSE, windowed.as<IKorActiveXBaseReplay>()->GetPropertyByName(CComBSTR(L"Caption"), value.Put()));
    EXPECT_EQ(VT_EMPTY, value.vt);
    EXPECT_EQ(S_FALSE, windowless.as<IKorActiveXBaseReplay>()->GetPropertyByName(CComBSTR(L"Caption"), value.Put()));
    EXPECT_EQ(E_FAIL, windowless.as<IKorAXUtilities>()->GetPropertyByName(CComBSTR(L"Caption"), value.Put()));
    CComPtr<IDispatch> native;
    EXPECT_EQ(static_cast<HRESULT>(0x80040202), windowed.as<IKorActiveXBaseReplay>()->get_Object(native.Put()));
    SAFEARRAY* list = nullptr;
    EXPECT_EQ(E_FAIL, windowless.as<ITestObjectInfo>()->GetRTAttribs(&list, nullptr));
    EXPECT_LT(::GetTickCount() - start, 5000u);
}

}  // namespace
