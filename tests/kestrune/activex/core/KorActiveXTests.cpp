// The ActiveX test object as a COM object: its interfaces and identity, the choice of its
// strategy, its description across a save and a load, its method table, and its life in the
// package DLL, alone and aggregated.
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <map>
#include "AcxObjectFixture.h"
#include "EnvTestSupport.h"
#include "com/Handles.h"
#include "tables/KorSafeArray.h"

using kcom::CComBSTR;
using kcom::CComPtr;
using kcom::CComVariant;

namespace {

const IID* const kMapInterfaces[] = {
    &IID_IProvideClassInfo,    &IID_IProvideClassInfo2,  &IID_ITestObject,         &IID_ITestObject2,
    &IID_ITestObject3,         &IID_ITestObject4,        &IID_ITestObject5,        &IID_ITestObject6,
    &IID_ITestObject7,         &IID_ITestObjectInfo,     &IID_ITestObjectInfo2,    &IID_ITestObjectInfo3,
    &IID_IUpdateTODescription, &IID_IReplaySkeleton,     &IID_IPersistStreamInit,  &IID_IKorDataTarget,
    &IID_IObjectRackClient,    &IID_IObjectManagerClient, &IID_DispTestObject,     &IID_ICustomStep,
    &IID_ICustomStep2,         &IID_ISnapshotHelper,     &IID_IDispatch,           &IID_IKorActiveXBaseReplay,
    &IID_IStdObjectReplay,     &IID_IDragDropRecord,     &IID_IKorActiveXInit,     &IID_IMethodInfoHelper,
    &IID_IStdCaptureTextReplay, &IID_IKorAXUtilities,    &IID_IKorUtilities,       &IID_IMakeObjVisible,
    &IID_IDynamicListOfValuesProvider, &IID_IStdKbdRecord, &IID_IStdReplay,        &IID_IReplayRecoverySupport,
};

// The query formats the object hands the query engine, by name.
std::vector<UINT> QueryFormats(IUnknown* object) {
    SAFEARRAY* formats = nullptr;
    EXPECT_EQ(S_OK, Itf<IKorActiveXInit>(object)->GetQueryFormats(&formats));
    std::vector<UINT> out;
    CKorPtrSafeArray table;
    table.Attach(formats, false);  // the object's own table
    for (LONG row = 0; formats && row < static_cast<LONG>(table.GetRowCount()); ++row) {
        LONG format = 0;
        table.GetElement(&format, row, 0);
        out.push_back(static_cast<UINT>(format));
    }
    return out;
}

// "Windowless" = true as the object writes it.
void ExpectWindowlessMark(IUnknown* object) {
    DescribedValue mark = Described(object, L"Windowless");
    EXPECT_EQ(VT_BOOL, mark.value.vt);
    EXPECT_EQ(VARIANT_TRUE, mark.value.boolVal);
    EXPECT_EQ(0x898, mark.flags);
    EXPECT_EQ(VT_BOOL, mark.type);
    EXPECT_EQ(0, mark.compareType);
}

using KorActiveX = AcxObjectFixture;

TEST_F(KorActiveX, EveryInterfaceOfItsMapShowsOneIdentity) {
    AcxObject object = New();
    CComPtr<IUnknown> identity = Itf<IUnknown>(object.as<ITestObject>());
    ASSERT_TRUE(identity);
    for (const IID* iid : kMapInterfaces) {
        CComPtr<IUnknown> itf;
        ASSERT_EQ(S_OK, identity->QueryInterface(*iid, reinterpret_cast<void**>(itf.Put()))) << ::testing::PrintToString(iid->Data1);
        EXPECT_EQ(identity.get(), Itf<IUnknown>(itf).get());
    }
    CComPtr<IUnknown> none;
    EXPECT_EQ(E_NOINTERFACE, identity->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(none.Put())));
    // Scripts reach the test-object methods; the class describes itself from the type library.
    CComPtr<ITypeInfo> info;
    ASSERT_EQ(S_OK, Itf<IProvideClassInfo>(identity)->GetClassInfo(info.Put()));
    kcom::CTypeAttr attr;
    ASSERT_EQ(S_OK, kcom::GetTypeAttr(info, attr));
    EXPECT_EQ(TKIND_COCLASS, attr->typekind);
    EXPECT_TRUE(::IsEqualGUID(CLSID_KorActiveX, attr->guid));
    GUID source{};
    EXPECT_EQ(E_FAIL, Itf<IProvideClassInfo2>(identity)->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source));
    EXPECT_TRUE(::IsEqualGUID(GUID_NULL, source));
    CLSID persisted{};
    EXPECT_EQ(S_OK, Itf<IPersistStreamInit>(identity)->GetClassID(&persisted));
    EXPECT_TRUE(::IsEqualGUID(CLSID_KorActiveX, persisted));
}

TEST_F(KorActiveX, InitChoosesTheStrategyOnce) {
    AcxObject windowless = New(WindowlessId(main_, 7));
    IKorActiveXInit* init = windowless.as<IKorActiveXInit>();
    EXPECT_EQ(E_FAIL, init->IsWindowed());  // no strategy yet
    EXPECT_EQ(S_FALSE, init->IsBackwardObject());
    ASSERT_EQ(S_OK, init->Init(g_cfWindowlessAcxControl));
    EXPECT_EQ(0, init->IsWindowed());
    EXPECT_EQ(std::vector<UINT>{g_cfQueryIdWindowlessActiveXTO}, QueryFormats(U(windowless)));
    ExpectWindowlessMark(U(windowless));
    // The strategy keeps the offsets of the control in its container in the description.
    EXPECT_EQ(S_OK, Described(U(windowless), L"Relative left of Wls control").hr);
    ULONG offsetFlags = 0;
    EXPECT_EQ(S_OK, windowless.as<ITestObjectInfo>()->GetPropFlags(CComBSTR(L"Relative top of Wls control"), &offsetFlags));
    EXPECT_EQ(0x888u, offsetFlags);
    // A second Init changes nothing.
    EXPECT_EQ(S_OK, init->Init(g_cfShelHalonotRegilim));
    EXPECT_EQ(0, init->IsWindowed());

    AcxObject windowed = Windowed();
    EXPECT_EQ(1, windowed.as<IKorActiveXInit>()->IsWindowed());
    EXPECT_EQ((std::vector<UINT>{g_cfQueryIdActiveXTO, g_cfShelHalonotRegilim}), QueryFormats(U(windowed)));
    EXPECT_NE(S_OK, Described(U(windowed), L"Windowless").hr);

    // Any other format: no strategy, no formats.
    AcxObject odd = New();
    EXPECT_EQ(E_UNEXPECTED, odd.as<IKorActiveXInit>()->Init(::RegisterClipboardFormatW(L"FormatVovuvarShellTestObjects")));
    EXPECT_EQ(E_FAIL, odd.as<IKorActiveXInit>()->IsWindowed());
    EXPECT_TRUE(QueryFormats(U(odd)).empty());
    EXPECT_EQ(E_POINTER, odd.as<IKorActiveXInit>()->GetQueryFormats(nullptr));

    EXPECT_EQ(S_OK, windowed.as<IKorActiveXInit>()->ReleaseHelper());
    EXPECT_EQ(E_FAIL, windowed.as<IKorActiveXInit>()->IsWindowed());
}

TEST_F(KorActiveX, TheDescriptionDecidesTheStrategyWhenNoFormatIsGiven) {
    // "Windowless" stored as a number by an old description is rewritten as the object writes it.
    AcxObject numbered = New(WindowlessId(main_, 8));
    ASSERT_EQ(S_OK, numbered->AddProperty(L"Windowless"));
    long flags = 0x10, type = VT_I4, compareType = 2;
    ASSERT_EQ(S_OK, numbered.as<ITestObjectInfo>()->put_PropExpr(CComBSTR(L"Windowless"), &flags, &type, &compareType,
                                                                 CComVariant(1L)));
    ASSERT_EQ(S_OK, numbered.as<DispTestObject>()->Init());
    EXPECT_EQ(0, numbered.as<IKorActiveXInit>()->IsWindowed());
    ExpectWindowlessMark(U(numbered));

    // Without "Windowless", " IsWindowlessAcx" (with its leading blank) decides.
    AcxObject hinted = New(WindowlessId(main_, 9));
    ASSERT_EQ(S_OK, hinted->AddProperty(L" IsWindowlessAcx"));
    ASSERT_EQ(S_OK, hinted.as<ITestObjectInfo>()->put_PropExpr(CComBSTR(L" IsWindowlessAcx"), nullptr, nullptr,
                                                               nullptr, CComVariant(L"-1")));
    ASSERT_EQ(S_OK, hinted.as<DispTestObject>()->Init());
    EXPECT_EQ(0, hinted.as<IKorActiveXInit>()->IsWindowed());

    // Neither: a windowed control.
    AcxObject plain = New(WindowId(ctl_));
    ASSERT_EQ(S_OK, plain.as<DispTestObject>()->Init());
    EXPECT_EQ(1, plain.as<IKorActiveXInit>()->IsWindowed());
}

TEST_F(KorActiveX, ADescriptionComesBackWithItsStrategy) {
    AcxObject windowless = Windowless(7);
    long flags = 0x888;
    ASSERT_EQ(S_OK, windowless.as<ITestObjectInfo>()->put_PropExpr(CComBSTR(L"Relative left of Wls control"), &flags,
                                                                   nullptr, nullptr, CComVariant(20L)));
    const std::vector<BYTE> bytes = Saved(U(windowless));

    AcxObject loaded = New();
    ASSERT_EQ(S_OK, LoadInto(U(loaded), bytes));
    EXPECT_EQ(0, loaded.as<IKorActiveXInit>()->IsWindowed());
    // The strategy made by the load keeps the offsets the description holds.
    DescribedValue left = Described(U(loaded), L"Relative left of Wls control");
    EXPECT_EQ(VT_I4, left.value.vt);
    EXPECT_EQ(20, left.value.lVal);

    AcxObject windowed = Windowed();
    AcxObject reloaded = New();
    ASSERT_EQ(S_OK, LoadInto(U(reloaded), Saved(U(windowed))));
    EXPECT_EQ(1, reloaded.as<IKorActiveXInit>()->IsWindowed());
}

TEST_F(KorActiveX, AnOldDescriptionIsSavedAgainAtTheObjectsVersion) {
    AcxObject object = Windowed();
    std::vector<BYTE> bytes = Saved(U(object));
    ASSERT_EQ(60u, VersionField(bytes));
    VersionField(bytes) = 11;

    AcxObject loaded = New();
    ASSERT_EQ(S_OK, LoadInto(U(loaded), bytes));
    ULONG version = 0;
    EXPECT_EQ(S_OK, loaded.as<ITestObjectInfo3>()->get_Version(&version));
    EXPECT_EQ(60u, version);
    std::vector<BYTE> again = Saved(U(loaded));
    EXPECT_EQ(60u, VersionField(again));
    EXPECT_EQ(bytes.size(), again.size());
    AcxObject third = New();
    EXPECT_EQ(S_OK, LoadInto(U(third), again));
}

TEST_F(KorActiveX, MethodTableNamesTheFlagsOfEveryAction) {
    AcxObject object = Windowed();
    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_EQ(S_OK, object.as<IReplaySkeleton>()->GetMethodInfoTable());
        CKorSafeArray& table = object->MethodTable();
        ASSERT_EQ(14u, table.GetRowCount());
        std::vector<std::pair<std::wstring, long>> rows;
        for (LONG row = 0; row < 14; ++row) {
            CComVariant name, flags;
            table.GetElement(&name, row, 0);
            table.GetElement(&flags, row, 1);
            rows.emplace_back(name.vt == VT_BSTR ? name.bstrVal : L"", flags.lVal);
        }
        EXPECT_EQ((std::vector<std::pair<std::wstring, long>>{
                      {L"", 0x315},
                      {L"Click", 0x315},
                      {L"DblClick", 0xF50300},
                      {L"Type", 0xA50300},
                      {L"MouseMove", 0xF50300},
                      {L"Drag", 0xF50300},
                      {L"Drop", 0x750300},
                      {L"hWnd", 0x50000},
                      {L"GetVisibleText", 0x750000},
                      {L"GetTextLocation", 0x750000},
                      {L"ClickOnText", 0x750000},
                      {L"Object", 0x100},
                      {L"MakeVisible", 0x100},
                      {L"FireEvent", 0x100},
                  }),
                  rows);
    }
}

TEST_F(KorActiveX, AFoundIdentifierGivesTheControlsHandles) {
    AcxObject object = Windowed();
    IReplaySkeleton* skeleton = object.as<IReplaySkeleton>();
    EXPECT_EQ(S_OK, skeleton->SetRuntimeId(WindowlessId(main_, 9).punkVal));
    EXPECT_EQ(main_, object->Window());
    EXPECT_EQ(9, object->Cookie());
    EXPECT_EQ(S_OK, skeleton->SetRuntimeId(WindowId(ctl_).punkVal));
    EXPECT_EQ(ctl_, object->Window());
    EXPECT_EQ(0, object->Cookie());
    // An identifier of neither kind leaves them; none at all is "object not found".
    CRuntimeId other(::RegisterClipboardFormatW(L"FormatVovuvarShellTestObjects"));
    other.PutVariantValue(L"hwnd", CComVariant(L(main_)));
    EXPECT_TRUE(FAILED(skeleton->SetRuntimeId(static_cast<IRuntimeID2*>(other))));
    EXPECT_EQ(ctl_, object->Window());
    EXPECT_EQ(static_cast<HRESULT>(0x80040202), skeleton->SetRuntimeId(nullptr));
}

TEST_F(KorActiveX, WhileSpyingTheClassesIdentificationPropertiesJoinTheAttributes) {
    bed_.options->Put(L"Test Objects\\ActiveX\\RuntimeAttributes", L"abs_x", 1L);
    bed_.options->Put(L"Test Objects\\ActiveX\\Properties", L"progid", 0x11L);
    bed_.options->Put(L"Test Objects\\ActiveX\\Properties", L"hwnd", 0x10L);
    auto names = [&] {
        AcxObject object = Windowed();
        SAFEARRAY* list = nullptr;
        EXPECT_EQ(S_OK, object.as<ITestObjectInfo>()->GetRTAttribs(&list, nullptr));
        CKorSafeArray table;
        table.Attach(list, true);
        std::vector<std::wstring> out;
        for (LONG row = 0; list && row < static_cast<LONG>(table.GetRowCount()); ++row) {
            CComVariant name;
            table.GetElement(&name, row, 0);
            out.push_back(name.vt == VT_BSTR ? name.bstrVal : L"");
        }
        return out;
    };
    auto has = [](const std::vector<std::wstring>& list, const wchar_t* name) {
        return std::find(list.begin(), list.end(), name) != list.end();
    };
    std::vector<std::wstring> plain = names();
    EXPECT_TRUE(has(plain, L"abs_x"));
    EXPECT_FALSE(has(plain, L"progid"));
    bed_.options->Put(L"", L"OnSpying", 1L);
    std::vector<std::wstring> spying = names();
    EXPECT_TRUE(has(spying, L"abs_x"));
    EXPECT_TRUE(has(spying, L"progid"));
    EXPECT_FALSE(has(spying, L"hwnd"));
}

TEST_F(KorActiveX, RecordsWithoutAStrategyAreNotTaken) {
    AcxObject object = New();
    FORMATETC format{static_cast<CLIPFORMAT>(g_cfShelHalonotRegilim), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    ULONG status = 0;
    EXPECT_EQ(E_FAIL, object.as<IKorDataTarget>()->ReceiveData(&format, &medium, &status));
    EXPECT_EQ(8u, status);
    EXPECT_EQ(E_FAIL, object.as<IKorDataTarget>()->ReceiveData(&format, &medium, nullptr));
    EXPECT_EQ(E_FAIL, object.as<IKorActiveXBaseReplay>()->GetPropertyByName(CComBSTR(L"Caption"), CComVariant().Put()));
    EXPECT_EQ(E_FAIL, object.as<IKorActiveXBaseReplay>()->ReplayDoClick(1, 2, BUTTON_LEFT));
    SAFEARRAY* values = nullptr;
    EXPECT_EQ(E_FAIL, object.as<ITestObjectInfo>()->FillRTAttribsValues(&values));
}

TEST_F(KorActiveX, ClassNameAndCustomSection) {
    AcxObject object = New();
    CComBSTR name;
    EXPECT_EQ(S_OK, object.as<IObjectManagerClient>()->get_CollectionName(name.Put()));
    EXPECT_STREQ(L"ActiveX", name.c_str());
    EXPECT_EQ(S_OK, object->GetCustomProgIdKey(name.Put()));
    EXPECT_STREQ(L"ActiveX Add-in\\ProgID", name.c_str());
    // Without a kept class or an identity the custom hook finds no class.
    EXPECT_EQ(E_FAIL, object->EnsureCustomObjects());
}

// ---- Without the host's classes ----------------------------------------------------------------

// A class whose creation fails.
HRESULT NoObject(IUnknown*, REFIID, void** out) {
    if (out) *out = nullptr;
    return E_OUTOFMEMORY;
}

TEST(KorActiveXAlone, TheInnerObjectsCreationDecides) {
    // A standard window object that cannot be made: no test object either.
    standin::CProgIdRegistration inner{standin::kWinObjectProgId, standin::kWinObjectClsid, &NoObject};
    ASSERT_HRESULT_SUCCEEDED(inner.Result());
    CComPtr<ITestObject> object;
    EXPECT_EQ(E_OUTOFMEMORY, kcom::CComCreator<CKorActiveX>::CreateInstance(nullptr, IID_ITestObject,
                                                                            reinterpret_cast<void**>(object.Put())));
    EXPECT_FALSE(object);
}

TEST(KorActiveXAlone, AMissingAgentFailsWhatNeedsIt) {
    standin::CProgIdRegistration inner{standin::kWinObjectProgId, standin::kWinObjectClsid,
                                       &standin::CWinObjectStandIn::Create};
    standin::CClassRegistration agent{CLSID_AcxAgntUtil, &NoObject};
    ASSERT_HRESULT_SUCCEEDED(inner.Result());
    AcxObject object = AcxObject::New();
    CComVariant id = WindowlessId(::GetDesktopWindow(), 7);
    ASSERT_EQ(S_OK, object.as<ITestObjectInfo>()->put_PropExpr(CComBSTR(L"objectid"), nullptr, nullptr, nullptr, id));
    ASSERT_EQ(S_OK, object.as<IKorActiveXInit>()->Init(g_cfWindowlessAcxControl));
    EXPECT_EQ(E_FAIL, object->Click(-9999, -9999, 0, 0));
    CComBSTR name;
    EXPECT_EQ(S_OK, object.as<ISnapshotHelper>()->Snapshot(CComBSTR(L"c:\\"), nullptr, 0, name.Put(), 0, 0, nullptr));
    // The children make a collection of their own: one handed in is given up, even when none is made.
    CComPtr<IDispatch> handed;
    ASSERT_HRESULT_SUCCEEDED(handed.CoCreateInstance(standin::kWinObjectProgId, nullptr, CLSCTX_INPROC_SERVER));
    IDispatch* inOut = handed.get();
    const ULONG counted = inOut->AddRef();
    EXPECT_TRUE(FAILED(object.as<ITestObject4>()->GetChildObjectsHierarchy(nullptr, &inOut)));
    EXPECT_EQ(nullptr, inOut);
    EXPECT_EQ(counted, handed->AddRef());
    handed->Release();
    EXPECT_EQ(E_POINTER, object.as<ITestObject4>()->GetChildObjectsHierarchy(nullptr, nullptr));
}

// ---- In the package DLL ------------------------------------------------------------------------

// An outer object in the way the backward-compatible windowless class aggregates the test
// object: its own IKorActiveXInit says "backward", everything else goes to the inner object.
class COuterObject : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IKorActiveXInit {
public:
    BEGIN_COM_MAP(COuterObject)
        COM_INTERFACE_ENTRY(IKorActiveXInit)
        COM_INTERFACE_ENTRY_AGGREGATE_BLIND(inner)
    END_COM_MAP()
    void FinalRelease() noexcept { inner.Release(); }

    STDMETHOD(Init)(UINT format) override { return InnerInit()->Init(format); }
    STDMETHOD(IsBackwardObject)() override { return S_OK; }
    STDMETHOD(GetQueryFormats)(SAFEARRAY** formats) override { return InnerInit()->GetQueryFormats(formats); }
    STDMETHOD(IsWindowed)() override { return InnerInit()->IsWindowed(); }
    STDMETHOD(ReleaseHelper)() override { return E_NOTIMPL; }

    kcom::CComPtr<IKorActiveXInit> InnerInit() {
        kcom::CComPtr<IKorActiveXInit> init;
        inner->QueryInterface(IID_IKorActiveXInit, reinterpret_cast<void**>(init.Put()));
        return init;
    }
    kcom::CComPtr<IUnknown> inner;  // the non-delegating unknown
};

class KorActiveXInTheDll : public AcxObjectFixture {
protected:
    void SetUp() override {
        AcxObjectFixture::SetUp();
        dll_.Reset(::LoadLibraryW(L"Kestrune.dll"));
        ASSERT_TRUE(dll_);
        getClassObject_ = Export<decltype(getClassObject_)>(dll_, "DllGetClassObject");
        canUnload_ = Export<decltype(canUnload_)>(dll_, "DllCanUnloadNow");
        ASSERT_TRUE(getClassObject_ && canUnload_);
    }
    CComPtr<IClassFactory> Factory() {
        CComPtr<IClassFactory> factory;
        EXPECT_EQ(S_OK, getClassObject_(CLSID_KorActiveX, IID_IClassFactory, reinterpret_cast<void**>(factory.Put())));
        return factory;
    }

    kcom::CLibrary dll_;
    HRESULT(WINAPI* getClassObject_)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT(WINAPI* canUnload_)() = nullptr;
};

TEST_F(KorActiveXInTheDll, ReferencesBalanceThroughEveryInterface) {
    {
        CComPtr<ITestObject> object;
        ASSERT_EQ(S_OK, Factory()->CreateInstance(nullptr, IID_ITestObject, reinterpret_cast<void**>(object.Put())));
        EXPECT_EQ(S_FALSE, canUnload_());
        std::vector<CComPtr<IUnknown>> held;
        for (const IID* iid : kMapInterfaces) {
            held.emplace_back();
            EXPECT_EQ(S_OK, object->QueryInterface(*iid, reinterpret_cast<void**>(held.back().Put())));
        }
        Itf<IObjectRackClient>(object)->SetRack(bed_.Rack());
        ASSERT_EQ(S_OK, Itf<ITestObjectInfo>(object)->put_PropExpr(CComBSTR(L"objectid"), nullptr, nullptr, nullptr,
                                                                   WindowlessId(main_, 8)));
        EXPECT_EQ(S_OK, Itf<IKorActiveXInit>(object)->Init(g_cfWindowlessAcxControl));
        EXPECT_EQ(S_OK, Itf<IReplaySkeleton>(object)->GetMethodInfoTable());
        // The inner standard window object knows its outer object without holding it.
        ASSERT_TRUE(standin::CWinObjectStandIn::Last());
        EXPECT_EQ(Itf<IUnknown>(object).get(), standin::CWinObjectStandIn::Last()->Outer());
    }
    EXPECT_FALSE(standin::CWinObjectStandIn::Last());
    EXPECT_EQ(S_OK, canUnload_());
}

TEST_F(KorActiveXInTheDll, AggregatedTheOuterObjectIsItsIdentity) {
    kcom::CComObject<COuterObject>* outer = nullptr;
    ASSERT_EQ(S_OK, kcom::CComObject<COuterObject>::CreateInstance(&outer));
    CComPtr<IUnknown> hold(static_cast<IKorActiveXInit*>(outer));
    ASSERT_EQ(S_OK, Factory()->CreateInstance(hold, IID_IUnknown, reinterpret_cast<void**>(outer->inner.Put())));

    CComPtr<ITestObjectInfo> info = Itf<ITestObjectInfo>(hold);
    ASSERT_TRUE(info);
    EXPECT_EQ(hold.get(), Itf<IUnknown>(info).get());
    ASSERT_EQ(S_OK, info->put_PropExpr(CComBSTR(L"objectid"), nullptr, nullptr, nullptr, WindowlessId(main_, 7)));
    // Deciding its strategy, the inner object asks its identity, which says "backward".
    ASSERT_EQ(S_OK, Itf<DispTestObject>(hold)->Init());
    EXPECT_EQ(0, outer->IsWindowed());
    EXPECT_EQ(std::vector<UINT>{g_cfQueryIdWindowlessActiveXTO}, QueryFormats(hold));

    info.Release();
    hold.Release();
    EXPECT_EQ(S_OK, canUnload_());
}

}  // namespace
