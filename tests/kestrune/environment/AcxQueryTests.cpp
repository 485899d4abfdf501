// The ActiveX query engine with the process's one agent utility, asked through IKorQuery about the
// controls of a real application-under-test process.
#include <string>
#include <vector>
#include "AgentFixture.h"
#include "DesktopLock.h"
#include "RegistryRestore.h"
#include "com/ComSafeArray.h"
#include "com/ComVariant.h"
#include "tables/KorSafeArray.h"
#include "OrlentyStandIn.h"
#include "TestObjectInfoStub.h"
#include "tables/RuntimeId.h"
#include "contracts/AcxSetting.h"
#include "environment/AcxQuery.h"
#include "environment/ObjectMap.h"

using kcom::CComBSTR;
using kcom::CComPtr;
using kcom::CComVariant;

namespace {

const wchar_t kScenario[] = LR"(
window main - text=Main
window grid KorGrid parent=main rect=10,10,200,100
window plain STATIC parent=main text=plain rect=10,120,100,30
window tab SSTabCtlWndClass parent=main rect=220,10,150,100
window empty KorGrid parent=main rect=220,120,40,40
fact grid activex=5 progid=MSFlexGrid.Grid.1 usertype="Flex Grid" dispatch=1 listener=1
fact grid createtime=777 inproc=i4:0x1234 cookies=i4[3x1]:7,8,9
prop grid Caption=bstr:Hello Rows=i4:3
fact grid:7 progid=Wls.Button usertype="Wls Btn" rect=i4[]:1,2,31,22 visible=1 createtime=55 inproc=i4:0x77
prop grid:7 Text=bstr:OK
fact grid:8 progid=Wls.Label rect=i4[]:5,40,65,60 visible=0
fact grid:9 progid=Wls.Button rect=i4[]:0,0,0,0 visible=1
reply grid:9 GET_WLS_SIZE_MSG blob=0102030405060708090A0B0C
fact empty activex=1 progid=Empty.Ctl
fact main containers=grid,plain,empty containercount=3
window form2 STATIC parent=main rect=300,200,40,40
fact form2 containers=grid containercount=2
point grid 3 4 grid 7
)";

constexpr VARTYPE kSizeType = VT_ARRAY | VT_BYREF | VT_VARIANT;

// The test object's script interface, reached by its DISPID 9 QueryValue.
const IID kIidDispTestObject = {0xBA929961, 0xDA2D, 0x11D3, {0xA8, 0x87, 0x00, 0x10, 0x5A, 0xAF, 0xE3, 0xD3}};

CComPtr<IRuntimeID> MakeId(UINT package, std::vector<std::pair<const wchar_t*, long>> values) {
    CRuntimeId id(package);
    for (const auto& [name, value] : values) id.PutVariantValue(name, CComVariant(value));
    return CComPtr<IRuntimeID>(static_cast<IRuntimeID2*>(id));
}

long L(HWND window) { return static_cast<long>(reinterpret_cast<LONG_PTR>(window)); }

// A container test object of the host: its runtime identifier, its "hwnd" value and its parent.
class CContainerFake : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                       public ITestObject,
                       public standin::CTestObjectInfoStub,
                       public CDispatchStub {
public:
    BEGIN_COM_MAP(CContainerFake)
        COM_INTERFACE_ENTRY(IDispatch)
        COM_INTERFACE_ENTRY(ITestObject)
        COM_INTERFACE_ENTRY(ITestObjectInfo)
        if (hasScript && ::IsEqualIID(iid, kIidDispTestObject)) KCOM_MAP_HIT(static_cast<IDispatch*>(this))
    END_COM_MAP()

    CComPtr<IRuntimeID> id;
    CComPtr<IDispatch> parent;
    CComVariant hwndValue;
    bool hasScript = true;
    HRESULT findResult = S_OK;
    int finds = 0;
    std::vector<std::wstring> scriptCalls;

    STDMETHOD(IsEqual)(ITestObject*) override { return E_NOTIMPL; }
    STDMETHOD(Hash)(TestObjectHash*) override { return E_NOTIMPL; }
    STDMETHOD(BuildDescription)() override { return E_NOTIMPL; }
    STDMETHOD(FindObjectId)(IUnknown** object, QueryIdInfo*) override {
        ++finds;
        if (object) {
            *object = id.get();
            if (id) id->AddRef();
        }
        return findResult;
    }
    STDMETHOD(SetOuterObject)(IUnknown*) override { return E_NOTIMPL; }
    STDMETHOD(GetOuterObject)(IUnknown**) override { return E_NOTIMPL; }
    STDMETHOD(SetLogicalName)(BSTR) override { return E_NOTIMPL; }
    STDMETHOD(GetLogicalName)(BSTR*) override { return E_NOTIMPL; }
    STDMETHOD(GetTagName)(BSTR*) override { return E_NOTIMPL; }
    STDMETHOD(SetRecordMgr)(IKorDataTarget*) override { return E_NOTIMPL; }
    STDMETHOD(GetInternalTagName)(BSTR*) override { return E_NOTIMPL; }
    STDMETHOD(RefreshObject)() override { return E_NOTIMPL; }

    STDMETHOD(Invoke)(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                      UINT*) override {
        if (dispid != 9 || !params || params->cArgs != 2 || !result) return DISP_E_MEMBERNOTFOUND;
        const VARIANT& name = params->rgvarg[1];
        scriptCalls.push_back(name.vt == VT_BSTR ? name.bstrVal : L"?");
        return ::VariantCopy(result, &hwndValue);
    }

    STDMETHOD(get_Prop)(BSTR name, long*, long*, long*, VARIANT* value) override {
        if (!value) return E_POINTER;
        ::VariantInit(value);
        if (name && std::wstring(name) == L"parent" && parent) {
            value->vt = VT_DISPATCH;
            value->pdispVal = parent.get();
            parent->AddRef();
        }
        return S_OK;
    }
};

// The host's query engine as the package's engines meet it: it asks the engine under test.
class CForwardingEngine : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IKorQuery {
public:
    BEGIN_COM_MAP(CForwardingEngine)
        COM_INTERFACE_ENTRY(IKorQuery)
    END_COM_MAP()
    IKorQuery* target = nullptr;  // not held: the engine holds the rack that holds this
    int asked = 0;
    STDMETHOD(QueryIdFromContainer)(SAFEARRAY*, IDispatch*, SAFEARRAY**, QueryIdInfo*, SAFEARRAY*) override {
        return E_NOTIMPL;
    }
    STDMETHOD(QueryIdFromSet)(SAFEARRAY*, SAFEARRAY**) override { return E_NOTIMPL; }
    STDMETHOD(QueryValue)(IRuntimeID* id, SAFEARRAY* table) override {
        ++asked;
        return target ? target->QueryValue(id, table) : E_FAIL;
    }
};

// A script-side query object registered by ProgID: "LookUp" answers "custom" and counts.
class CCustomQueryFake : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public CDispatchStub {
public:
    BEGIN_COM_MAP(CCustomQueryFake)
        COM_INTERFACE_ENTRY(IDispatch)
    END_COM_MAP()
    static inline int calls = 0;
    static inline bool sawRuntimeId = false;
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (count != 1 || std::wstring(names[0]) != L"LookUp") return DISP_E_UNKNOWNNAME;
        ids[0] = 1;
        return S_OK;
    }
    STDMETHOD(Invoke)(DISPID, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) override {
        ++calls;
        kcom::CComQIPtr<IRuntimeID> id(params->cArgs == 2 && params->rgvarg[1].vt == VT_UNKNOWN
                                           ? params->rgvarg[1].punkVal
                                           : nullptr);
        sawRuntimeId = id.get() != nullptr;
        result->vt = VT_BSTR;
        result->bstrVal = ::SysAllocString(L"custom");
        return S_OK;
    }
};

// A description row: name, expected value, flags, type, compare type.
void PutRow(CKorSafeArray& table, LONG row, const wchar_t* name, const VARIANT& value, long compareType = 0) {
    CComVariant n(name), c(compareType), zero(0L);
    CComVariant v(value);
    table.PutElement(&n, row, 0);
    table.PutElement(&v, row, 1);
    table.PutElement(&zero, row, 2);
    table.PutElement(&zero, row, 3);
    table.PutElement(&c, row, 4);
}

class AcxQuery : public AgentFixture {
protected:
    void SetUp() override {
        ::InterlockedExchange(&g_useOldNameQuery, 0);
        // The engine creates the agent by CLSID.
        StartRegistered(kScenario);

        appSettings_ = standin::Holder<standin::CSettingsStandIn>::New();
        OrlentyStandIn_SetApplicationSettings(appSettings_.as<IKorSettings>());
        forward_ = standin::Holder<CForwardingEngine>::New();
        rack_->Put(L"StdPackageQueryEngine", forward_.as<IKorQuery>());

        ASSERT_HRESULT_SUCCEEDED((kcom::CreateObject<CAcxQuery, IKorQuery2>(engine_.Put())));
        forward_->target = engine_;
        kcom::CComQIPtr<IObjectRackClient> client(static_cast<IUnknown*>(engine_.get()));
        ASSERT_EQ(S_OK, client->SetRack(rack_.as<IObjectRack>()));
        window_ = ::RegisterClipboardFormatW(L"FormaShelHalonotRegilim");
        PelluceStub_Reset();
    }

    void TearDown() override {
        if (forward_.get()) forward_->target = nullptr;
        engine_.Release();
        OrlentyStandIn_Reset();
        ::InterlockedExchange(&g_useOldNameQuery, 0);
        AgentFixture::TearDown();
    }

    CAcxQuery* Engine() const { return static_cast<CAcxQuery*>(engine_.get()); }
    CComPtr<IRuntimeID> WindowId(const wchar_t* name) const { return MakeId(window_, {{L"hwnd", L(W(name))}}); }
    CComPtr<IRuntimeID> WlsId(const wchar_t* name, long cookie) const {
        return MakeId(g_cfWindowlessAcxControl, {{L"hwnd", L(W(name))}, {L"punknown", cookie}});
    }

    // One (name, value, data) row through QueryValue; the row's value afterwards.
    CComVariant Ask(IRuntimeID* id, const wchar_t* name, const VARIANT& before = CComVariant(),
                    const VARIANT& data = CComVariant()) {
        CKorSafeArray table(1, 3, VT_VARIANT);
        CComVariant n(name), v(before), d(data);
        table.PutElement(&n, 0, 0);
        table.PutElement(&v, 0, 1);
        table.PutElement(&d, 0, 2);
        EXPECT_EQ(S_OK, engine_->QueryValue(id, table.psa));
        CComVariant out;
        table.GetElement(&out, 0, 1);
        return out;
    }

    standin::Holder<standin::CSettingsStandIn> appSettings_;
    standin::Holder<CForwardingEngine> forward_;
    CComPtr<IKorQuery2> engine_;
    UINT window_ = 0;
};

TEST_F(AcxQuery, WindowedControlAnswersEveryPropertyOfTheTable) {
    auto grid = WindowId(L"grid");
    EXPECT_EQ(L"MSFlexGrid.Grid.1", Text(Ask(grid, L"progid")));
    EXPECT_EQ(L"MSFlexGrid.Grid.1", Text(Ask(grid, L"PROGID")));  // names without case
    EXPECT_EQ(L"Flex Grid", Text(Ask(grid, L"acx_name")));
    EXPECT_EQ(L"Caption\tRows", Text(Ask(grid, L"GetActiveXPropertiesName")));

    CComVariant rows = Ask(grid, L"GetActiveXProperty", CComVariant(), CComVariant(L"Rows"));
    EXPECT_EQ(VT_I4, rows.vt);
    EXPECT_EQ(3, rows.lVal);
    EXPECT_EQ(VT_EMPTY, Ask(grid, L"GetActiveXProperty", CComVariant(), CComVariant(L"korclass")).vt);

    CComVariant created = Ask(grid, L"GetActiveXCreateTime");
    EXPECT_EQ(VT_UI4, created.vt);
    EXPECT_EQ(777u, created.ulVal);
    CComVariant inproc = Ask(grid, L"Wrapped Inprocess IUnknown");
    EXPECT_EQ(VT_UI4, inproc.vt);
    EXPECT_EQ(0x1234u, inproc.ulVal);

    CComVariant control = Ask(grid, L"GetActiveXLpDispatch");
    ASSERT_EQ(VT_DISPATCH, control.vt);
    EXPECT_NE(nullptr, control.pdispVal);
    CComVariant listener = Ask(grid, L"Get Listener Idispatch");
    ASSERT_EQ(VT_DISPATCH, listener.vt);
    EXPECT_NE(nullptr, listener.pdispVal);

    CComVariant windowless = Ask(grid, L"Windowless");
    EXPECT_EQ(VT_BOOL, windowless.vt);
    EXPECT_EQ(VARIANT_FALSE, windowless.boolVal);
    EXPECT_EQ(VT_EMPTY, Ask(grid, L"visible").vt);  // only windowless controls answer it
    EXPECT_EQ(VT_EMPTY, Ask(grid, L"size in pixels").vt);
    EXPECT_EQ(VT_EMPTY, Ask(grid, L"abs_x").vt);

    // Detection and the ProgID were asked once; the window property kept them.
    EXPECT_EQ(1, Sent(L"IS_ACTIVEX_MSG"));
    EXPECT_EQ(1, Sent(L"GET_PROGID_MSG"));
    EXPECT_EQ(1, Sent(L"GET_ACTIVEX_PROPERTY_MSG"));
    EXPECT_EQ(1, Sent(L"HWND2IDISPATCH_MSG"));
    EXPECT_EQ(1, Sent(L"GET_LISTENER"));
}

TEST_F(AcxQuery, WindowlessControlAnswersGeometryAndIdentity) {
    auto button = WlsId(L"grid", 7);
    EXPECT_EQ(L"Wls.Button", Text(Ask(button, L"progid")));
    EXPECT_EQ(L"Wls Btn", Text(Ask(button, L"acx_name")));
    EXPECT_EQ(L"OK", Text(Ask(button, L"GetActiveXProperty", CComVariant(), CComVariant(L"Text"))));

    POINT origin{0, 0};
    ::ClientToScreen(W(L"grid"), &origin);
    EXPECT_EQ(origin.x + 1, Ask(button, L"abs_x").lVal);
    EXPECT_EQ(origin.y + 2, Ask(button, L"abs_y").lVal);
    EXPECT_EQ(30, Ask(button, L"width").lVal);
    EXPECT_EQ(20, Ask(button, L"height").lVal);

    CComVariant size = Ask(button, L"size in pixels");
    ASSERT_EQ(kSizeType, size.vt);
    LONG cells[4] = {};
    ASSERT_EQ(S_OK, CAcxQuery::TakeSizeInPixels(&size, cells));
    EXPECT_EQ(origin.x + 1, cells[CAcxQuery::SizeLeft]);
    EXPECT_EQ(origin.y + 2, cells[CAcxQuery::SizeTop]);
    EXPECT_EQ(30, cells[CAcxQuery::SizeWidth]);
    EXPECT_EQ(20, cells[CAcxQuery::SizeHeight]);
    EXPECT_EQ(VT_EMPTY, size.vt);
    EXPECT_EQ(5, Sent(L"GET_WLS_SIZE_MSG"));  // caching is off: every reading asks

    CComVariant windowless = Ask(button, L"Windowless");
    EXPECT_EQ(VARIANT_TRUE, windowless.boolVal);
    CComVariant visible = Ask(button, L"visible");
    EXPECT_EQ(VT_BOOL, visible.vt);
    EXPECT_EQ(1, visible.boolVal);  // 1, not VARIANT_TRUE
    EXPECT_EQ(0, Ask(WlsId(L"grid", 8), L"visible").boolVal);

    CComVariant created = Ask(button, L"GetActiveXCreateTime");
    EXPECT_EQ(VT_UI4, created.vt);
    EXPECT_EQ(55u, created.ulVal);
    EXPECT_EQ(0x77u, Ask(button, L"Wrapped Inprocess IUnknown").ulVal);
}

TEST_F(AcxQuery, RowsWithAValueAreAskedAgainForWindowlessControlsOnly) {
    auto button = WlsId(L"grid", 7);
    EXPECT_EQ(L"Wls.Button", Text(Ask(button, L"progid", CComVariant(L"stale"))));
    // Not a query of the table: the control's own property; no answer keeps the row as it was.
    EXPECT_EQ(L"OK", Text(Ask(button, L"Text", CComVariant(L"stale"))));
    EXPECT_EQ(L"stale", Text(Ask(button, L"NoSuchProperty", CComVariant(L"stale"))));

    // A windowed control's row keeps its value, except the object class.
    auto grid = WindowId(L"grid");
    EXPECT_EQ(L"kept", Text(Ask(grid, L"progid", CComVariant(L"kept"))));
    EXPECT_EQ(L"MSFlexGrid.Grid.1", Text(Ask(grid, L"Object Class", CComVariant(L"stale"))));
    // Unknown names go to the control itself.
    EXPECT_EQ(L"Hello", Text(Ask(grid, L"Caption")));
    EXPECT_EQ(VT_EMPTY, Ask(grid, L"NoSuchProperty").vt);
}

TEST_F(AcxQuery, PlainWindowIsNoActiveXControl) {
    auto plain = WindowId(L"plain");
    EXPECT_EQ(S_FALSE, Engine()->QueryProgID(plain, nullptr, CComVariant().ptr()));
    EXPECT_EQ(VT_EMPTY, Ask(plain, L"progid").vt);
    EXPECT_EQ(VT_EMPTY, Ask(plain, L"GetActiveXProperty", CComVariant(), CComVariant(L"Caption")).vt);
    // A runtime identifier of another package is not this engine's.
    auto other = MakeId(::RegisterClipboardFormatW(L"SomeOtherPackage"), {{L"hwnd", L(W(L"grid"))}});
    CComVariant result;
    EXPECT_EQ(S_FALSE, Engine()->QueryProgID(other, nullptr, &result));
    EXPECT_EQ(S_FALSE, Engine()->QueryAcxName(other, nullptr, &result));
    EXPECT_EQ(VT_EMPTY, result.vt);
    EXPECT_EQ(0, Sent(L"GET_PROGID_MSG"));
}

TEST_F(AcxQuery, NameAnswersTheProgIdOnlyUnderTheOldNameFlag) {
    auto grid = WindowId(L"grid");
    CComVariant result;
    EXPECT_EQ(E_FAIL, Engine()->QueryName(grid, nullptr, &result));
    EXPECT_EQ(VT_EMPTY, Ask(grid, L"name").vt);
    EXPECT_EQ(L"mine", Text(Ask(grid, L"name", CComVariant(L"mine"))));

    ::InterlockedExchange(&g_useOldNameQuery, 1);
    EXPECT_EQ(S_OK, Engine()->QueryName(grid, nullptr, &result));
    EXPECT_EQ(L"MSFlexGrid.Grid.1", Text(result));
    EXPECT_EQ(L"MSFlexGrid.Grid.1", Text(Ask(grid, L"name")));
    EXPECT_EQ(L"MSFlexGrid.Grid.1", Text(Ask(grid, L"NAME", CComVariant(L"mine"))));
    EXPECT_EQ(L"mine", Text(Ask(WindowId(L"plain"), L"name", CComVariant(L"mine"))));
}

TEST_F(AcxQuery, AutomationModeAnswersNothing) {
    options_->Put(L"", L"AutMode", 1L);
    auto grid = WindowId(L"grid");
    EXPECT_EQ(VT_EMPTY, Ask(grid, L"progid").vt);
    EXPECT_EQ(0, PelluceStub_GetTotalCount());
}

TEST_F(AcxQuery, PointsGiveControlsAndCookies) {
    DesktopLock desktop;
    // Above the windows of the other test programs' applications.
    ::SetWindowPos(W(L"main"), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    RECT rect{};
    ::GetWindowRect(W(L"grid"), &rect);
    const UINT pointFormat = ::RegisterClipboardFormatW(L"FormatShelXYPosition");
    auto point = MakeId(pointFormat, {{L"x", rect.left + 150}, {L"y", rect.top + 50}});
    CComVariant found = Ask(point, L"GetActiveXRunTimeIDFromPoint");
    ASSERT_EQ(VT_UNKNOWN, found.vt);
    CRuntimeId id(found);
    EXPECT_EQ(window_, id.GetPackage());
    long hwnd = 0;
    EXPECT_EQ(S_OK, id.GetLong(L"hwnd", &hwnd));
    EXPECT_EQ(L(W(L"grid")), hwnd);

    // A point over a window that is no control, and an identifier that is no point.
    ::GetWindowRect(W(L"plain"), &rect);
    CComVariant none;
    EXPECT_EQ(S_FALSE, Engine()->QueryRunTimeIDFromPoint(MakeId(pointFormat, {{L"x", rect.left + 5},
                                                                               {L"y", rect.top + 5}}),
                                                         nullptr, &none));
    EXPECT_EQ(S_OK, Engine()->QueryRunTimeIDFromPoint(WindowId(L"grid"), nullptr, &none));
    EXPECT_EQ(VT_EMPTY, none.vt);

    CComVariant cookie = Ask(WindowId(L"grid"), L"get windowless cookie from point", CComVariant(),
                             CComVariant(static_cast<long>(MAKELONG(3, 4))));
    EXPECT_EQ(VT_I4, cookie.vt);
    EXPECT_EQ(7, cookie.lVal);
}

TEST_F(AcxQuery, AHookThatDoesNotAnswerLeavesTheRowsAsTheyWere) {
    PelluceStub_FailNext(100, E_FAIL);
    auto button = WlsId(L"grid", 8);
    EXPECT_EQ(L"before", Text(Ask(button, L"size in pixels", CComVariant(L"before"))));
    EXPECT_EQ(L"before", Text(Ask(button, L"width", CComVariant(L"before"))));
    CComVariant result;
    EXPECT_EQ(S_FALSE, Engine()->QueryWidth(button, nullptr, &result));
    EXPECT_EQ(VT_EMPTY, result.vt);
}

TEST_F(AcxQuery, SizeInPixelsReadersRefuseAnythingElse) {
    LONG cells[4] = {};
    CComVariant text(L"not a size");
    EXPECT_EQ(E_UNEXPECTED, CAcxQuery::TakeSizeInPixels(&text, cells));
    EXPECT_EQ(L"not a size", Text(text));
    EXPECT_EQ(S_FALSE, CAcxQuery::ReleaseSizeInPixels(&text));

    VARIANT null{};
    null.vt = kSizeType;
    EXPECT_EQ(E_UNEXPECTED, CAcxQuery::TakeSizeInPixels(&null, cells));
    EXPECT_EQ(S_OK, CAcxQuery::ReleaseSizeInPixels(&null));
    EXPECT_EQ(VT_EMPTY, null.vt);

    // Too few cells, and cells that are not numbers.
    CKorSafeArray narrow(1, 2, VT_I4);
    VARIANT small{};
    small.vt = kSizeType;
    small.byref = narrow.Detach();
    EXPECT_EQ(E_UNEXPECTED, CAcxQuery::TakeSizeInPixels(&small, cells));
    EXPECT_EQ(kSizeType, small.vt);
    EXPECT_EQ(S_OK, CAcxQuery::ReleaseSizeInPixels(&small));

    CKorSafeArray texts(1, 4, VT_VARIANT);
    CComVariant word(L"x");
    texts.PutElement(&word, 0, 0);
    VARIANT wrong{};
    wrong.vt = kSizeType;
    wrong.byref = texts.Detach();
    EXPECT_EQ(E_UNEXPECTED, CAcxQuery::TakeSizeInPixels(&wrong, cells));
    CKorSafeArray owner;
    owner.Attach(static_cast<SAFEARRAY*>(wrong.byref), true);  // VARIANT cells: freed with their text

    // A row asked again gets a new array; the one it held is freed with the old value.
    {
        auto again = WlsId(L"grid", 7);
        CKorSafeArray table(1, 3, VT_VARIANT);
        CComVariant n(L"size in pixels");
        table.PutElement(&n, 0, 0);
        ASSERT_EQ(S_OK, engine_->QueryValue(again, table.psa));
        CComVariant held;
        table.GetElement(&held, 0, 1);
        ASSERT_EQ(kSizeType, held.vt);
        ASSERT_EQ(S_OK, engine_->QueryValue(again, table.psa));
        CComVariant renewed;
        table.GetElement(&renewed, 0, 1);
        ASSERT_EQ(kSizeType, renewed.vt);
        EXPECT_NE(held.byref, renewed.byref);
        EXPECT_EQ(S_OK, CAcxQuery::ReleaseSizeInPixels(&renewed));
    }

    // The value travels through a table by plain copy and is read safely there.
    auto button = WlsId(L"grid", 7);
    CComVariant first = Ask(button, L"size in pixels");
    ASSERT_EQ(kSizeType, first.vt);
    CComVariant copy(first);  // VariantCopy of a by-reference value copies the word only
    EXPECT_EQ(first.byref, copy.byref);
    EXPECT_EQ(S_OK, CAcxQuery::TakeSizeInPixels(&copy, cells));
    EXPECT_EQ(30, cells[CAcxQuery::SizeWidth]);
}

TEST_F(AcxQuery, HandlersRefuseNullArguments) {
    CComVariant result;
    auto grid = WindowId(L"grid");
    CAcxQuery* e = Engine();
    using Handler = HRESULT (CAcxQuery::*)(IRuntimeID*, VARIANT*, VARIANT*);
    const Handler all[] = {&CAcxQuery::QueryProgID, &CAcxQuery::QueryName, &CAcxQuery::QueryLpDispatch,
                           &CAcxQuery::QueryRunTimeIDFromPoint, &CAcxQuery::QueryActiveXProperty,
                           &CAcxQuery::QueryPropertiesName, &CAcxQuery::QuerySizeInPixels,
                           &CAcxQuery::QueryCookieFromPoint, &CAcxQuery::QueryCreateTime,
                           &CAcxQuery::QueryInprocUnknown, &CAcxQuery::QueryListener, &CAcxQuery::QueryAbsX,
                           &CAcxQuery::QueryAbsY, &CAcxQuery::QueryWidth, &CAcxQuery::QueryHeight,
                           &CAcxQuery::QueryWindowless, &CAcxQuery::QueryVisible, &CAcxQuery::QueryAcxName};
    for (Handler h : all) {
        EXPECT_EQ(E_POINTER, (e->*h)(nullptr, nullptr, &result));
        EXPECT_EQ(E_POINTER, (e->*h)(grid, nullptr, nullptr));
    }
    EXPECT_EQ(S_OK, engine_->QueryValue(grid, nullptr));
    EXPECT_EQ(S_OK, engine_->QueryIdFromSet(nullptr, nullptr));
}

TEST_F(AcxQuery, PrimaryInterfaceIsADualWithoutMembers) {
    CComPtr<IAcxQueryFunc> func;
    ASSERT_EQ(S_OK, engine_->QueryInterface(IID_IAcxQueryFunc, reinterpret_cast<void**>(func.Put())));
    CComPtr<ITypeInfo> info;
    ASSERT_EQ(S_OK, func->GetTypeInfo(0, 0, info.Put()));
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
    EXPECT_TRUE(::IsEqualGUID(attr->guid, IID_IAcxQueryFunc));
    info->ReleaseTypeAttr(attr);
    // The handlers sit in the primary interface's vtable: a call through it reaches the engine.
    CComVariant result;
    EXPECT_EQ(S_OK, static_cast<IAcxQueryFuncHandlers*>(func.get())->QueryWindowless(WlsId(L"grid", 7), nullptr,
                                                                                       &result));
    EXPECT_EQ(VARIANT_TRUE, result.boolVal);
}

// ---- containers ----

class AcxQueryContainers : public AcxQuery {
protected:
    standin::Holder<CContainerFake> Container(IRuntimeID* id, long hwndValue = 0) {
        auto c = standin::Holder<CContainerFake>::New();
        c->id = id;
        if (hwndValue) c->hwndValue = CComVariant(hwndValue);
        return c;
    }

    // progid row, compared exactly.
    CKorSafeArray Description(const wchar_t* progId) {
        CKorSafeArray d(1, 5, VT_VARIANT);
        PutRow(d, 0, L"progid", CComVariant(progId));
        return d;
    }

    std::vector<std::pair<long, long>> Found(SAFEARRAY* psa) {
        std::vector<std::pair<long, long>> out;
        kcom::CComSafeArray owner(psa);
        CKorPtrSafeArray ids;
        ids.Attach(psa, false);
        for (ULONG r = 0; r < ids.GetRowCount(); ++r) {
            CComPtr<IUnknown> unk;
            ids.GetElement(unk.Put(), static_cast<LONG>(r), 0);
            kcom::CComQIPtr<IRuntimeID> rid(unk.get());
            CRuntimeId id(rid.get());
            long hwnd = 0, cookie = 0;
            id.GetLong(L"hwnd", &hwnd);
            id.GetLong(L"punknown", &cookie);
            EXPECT_EQ(g_cfWindowlessAcxControl, id.GetPackage());
            out.emplace_back(hwnd, cookie);
        }
        return out;
    }
};

TEST_F(AcxQueryContainers, ControlsOfTheContainerMatchingTheDescription) {
    auto main = Container(WindowId(L"main"));
    CKorSafeArray description = Description(L"Wls.Button");
    SAFEARRAY* found = nullptr;
    ASSERT_EQ(S_OK, engine_->QueryIdFromContainer(description.psa, main.as<IDispatch>(), &found, nullptr, nullptr));
    const auto ids = Found(found);
    const std::vector<std::pair<long, long>> expected = {{L(W(L"grid")), 7}, {L(W(L"grid")), 9}};
    EXPECT_EQ(expected, ids);
    EXPECT_EQ(1, Sent(L"GET_CONTAINERS_MSG"));
    // "plain" has no list of its own and counts no rows; "empty" lists nothing either.
    EXPECT_EQ(3, Sent(L"GET_WLS_COOKIES_FROM_CONTAINER"));
    EXPECT_EQ(3, forward_->asked);
    EXPECT_TRUE(main->scriptCalls.empty());  // the window came from the identifier
}

TEST_F(AcxQueryContainers, FormatListMustNameAQueryFormat) {
    auto main = Container(WindowId(L"main"));
    CKorSafeArray description = Description(L"Wls.Label");
    CKorSafeArray formats(2, 1, VT_VARIANT);
    CComVariant f1(static_cast<long>(::RegisterClipboardFormatW(L"SomethingElse"))), f2(f1);
    formats.PutElement(&f1, 0, 0);
    formats.PutElement(&f2, 1, 0);
    SAFEARRAY* found = nullptr;
    EXPECT_EQ(static_cast<HRESULT>(0x8004020D), engine_->QueryIdFromContainer(description.psa, main.as<IDispatch>(),
                                                                               &found, nullptr, formats.psa));
    EXPECT_EQ(nullptr, found);
    EXPECT_EQ(0, main->finds);

    const std::vector<std::pair<long, long>> expected = {{L(W(L"grid")), 8}};
    for (UINT accepted : {g_cfQueryIdWindowlessActiveXTO, g_cfQueryIdActiveXTO, window_}) {
        CComVariant query(static_cast<long>(accepted));
        formats.PutElement(&query, 1, 0);
        ASSERT_EQ(S_OK, engine_->QueryIdFromContainer(description.psa, main.as<IDispatch>(), &found, nullptr,
                                                      formats.psa));
        EXPECT_EQ(expected, Found(found));
    }
    // A plain list of 32-bit formats is read as well.
    SAFEARRAYBOUND bound{1, 0};
    kcom::CComSafeArray plain(::SafeArrayCreate(VT_I4, 1, &bound));
    LONG index = 0, format = static_cast<LONG>(g_cfQueryIdActiveXTO);
    ASSERT_EQ(S_OK, ::SafeArrayPutElement(plain, &index, &format));
    ASSERT_EQ(S_OK, engine_->QueryIdFromContainer(description.psa, main.as<IDispatch>(), &found, nullptr, plain));
    EXPECT_EQ(expected, Found(found));
}

TEST_F(AcxQueryContainers, TabPagesListTheControlsOfTheTabsParent) {
    auto main = Container(WindowId(L"main"));
    auto tab = Container(WindowId(L"tab"));
    tab->parent = main.as<IDispatch>();
    CKorSafeArray description = Description(L"Wls.Label");
    SAFEARRAY* found = nullptr;
    ASSERT_EQ(S_OK, engine_->QueryIdFromContainer(description.psa, tab.as<IDispatch>(), &found, nullptr, nullptr));
    EXPECT_EQ(1u, Found(found).size());
    EXPECT_EQ(1, tab->finds);
    EXPECT_EQ(1, main->finds);
    EXPECT_EQ(1, Sent(L"GET_CONTAINERS_MSG"));  // of the form: the tab itself lists none
}

TEST_F(AcxQueryContainers, WindowFromTheScriptValueOrTheParent) {
    // No window identity: the container's own "hwnd" value names the window.
    auto byValue = Container(MakeId(::RegisterClipboardFormatW(L"HostWindowFormat"), {{L"hwnd", 1}}), L(W(L"main")));
    CKorSafeArray description = Description(L"Wls.Button");
    SAFEARRAY* found = nullptr;
    ASSERT_EQ(S_OK,
              engine_->QueryIdFromContainer(description.psa, byValue.as<IDispatch>(), &found, nullptr, nullptr));
    EXPECT_EQ(2u, Found(found).size());
    EXPECT_EQ(std::vector<std::wstring>{L"hwnd"}, byValue->scriptCalls);

    // Neither: the parent is asked; without a parent the answer is an empty list.
    auto parent = Container(WindowId(L"main"));
    auto child = Container(MakeId(::RegisterClipboardFormatW(L"HostWindowFormat"), {}));
    child->parent = parent.as<IDispatch>();
    ASSERT_EQ(S_OK, engine_->QueryIdFromContainer(description.psa, child.as<IDispatch>(), &found, nullptr, nullptr));
    EXPECT_EQ(2u, Found(found).size());
    EXPECT_EQ(1, parent->finds);

    auto orphan = Container(MakeId(::RegisterClipboardFormatW(L"HostWindowFormat"), {}));
    ASSERT_EQ(S_OK, engine_->QueryIdFromContainer(description.psa, orphan.as<IDispatch>(), &found, nullptr, nullptr));
    EXPECT_TRUE(Found(found).empty());

    // A parent chain that leads back to itself ends with an empty list.
    auto loop = Container(MakeId(::RegisterClipboardFormatW(L"HostWindowFormat"), {}));
    loop->parent = loop.as<IDispatch>();
    ASSERT_EQ(S_OK, engine_->QueryIdFromContainer(description.psa, loop.as<IDispatch>(), &found, nullptr, nullptr));
    EXPECT_TRUE(Found(found).empty());
    loop->parent.Release();

    // Without the script interface the window cannot be asked for.
    auto mute = Container(MakeId(::RegisterClipboardFormatW(L"HostWindowFormat"), {}));
    mute->hasScript = false;
    EXPECT_EQ(E_FAIL, engine_->QueryIdFromContainer(description.psa, mute.as<IDispatch>(), &found, nullptr, nullptr));
}

TEST_F(AcxQueryContainers, WindowlessContainersAndFailures) {
    CKorSafeArray description = Description(L"Wls.Button");
    SAFEARRAY* found = nullptr;
    auto wls = Container(WlsId(L"grid", 7));
    ASSERT_EQ(S_OK, engine_->QueryIdFromContainer(description.psa, wls.as<IDispatch>(), &found, nullptr, nullptr));
    EXPECT_TRUE(Found(found).empty());
    EXPECT_EQ(0, Sent(L"GET_CONTAINERS_MSG"));

    auto failing = Container(WindowId(L"main"));
    failing->findResult = static_cast<HRESULT>(0x80040202);
    EXPECT_EQ(static_cast<HRESULT>(0x80040202),
              engine_->QueryIdFromContainer(description.psa, failing.as<IDispatch>(), &found, nullptr, nullptr));
    EXPECT_EQ(S_FALSE, engine_->QueryIdFromContainer(description.psa, nullptr, &found, nullptr, nullptr));
    EXPECT_EQ(E_POINTER, engine_->QueryIdFromContainer(description.psa, wls.as<IDispatch>(), nullptr, nullptr,
                                                       nullptr));

    // A container list whose count disagrees with its length is the agent's failure.
    auto miscounted = Container(WindowId(L"form2"));
    EXPECT_EQ(E_FAIL,
              engine_->QueryIdFromContainer(description.psa, miscounted.as<IDispatch>(), &found, nullptr, nullptr));
    EXPECT_EQ(nullptr, found);
    EXPECT_EQ(0, Sent(L"GET_WLS_COOKIES_FROM_CONTAINER"));
}

TEST_F(AcxQueryContainers, VisibleWindowlessControlsOfTheContainersWindow) {
    auto grid = Container(WindowId(L"grid"));
    SAFEARRAY* found = nullptr;
    ASSERT_EQ(S_OK, engine_->QueryWlsIdsFromContainer(grid.as<IDispatch>(), 0, &found));
    const std::vector<std::pair<long, long>> expected = {{L(W(L"grid")), 7}, {L(W(L"grid")), 9}};
    EXPECT_EQ(expected, Found(found));
    EXPECT_EQ(3, Sent(L"GET_WLS_VISIBLE_STATE"));

    // A window without a list passes the agent's answer on.
    auto plain = Container(WindowId(L"plain"));
    EXPECT_EQ(S_FALSE, engine_->QueryWlsIdsFromContainer(plain.as<IDispatch>(), 0, &found));
    EXPECT_EQ(nullptr, found);
    EXPECT_EQ(S_FALSE, engine_->QueryWlsIdsFromContainer(nullptr, 0, &found));
    auto failing = Container(WindowId(L"grid"));
    failing->findResult = S_FALSE;
    EXPECT_EQ(S_FALSE, engine_->QueryWlsIdsFromContainer(failing.as<IDispatch>(), 0, &found));
}

// ---- records and custom queries ----

TEST_F(AcxQuery, CustomQueriesOfTheSettingsRunAfterTheBuiltInOnes) {
    const CLSID clsid = {0x5D0C1E77, 0x2B41, 0x4E0A, {0x9A, 0x61, 0x3C, 0x7E, 0x11, 0x20, 0x45, 0x90}};
    // The settings name the class: this process's own name for it, as programs run side by side.
    const std::wstring progId = L"KestruneTest.CustomQuery." + std::to_wstring(::GetCurrentProcessId());
    const std::wstring key = progId + L"\\CLSID";
    const wchar_t clsidText[] = L"{5D0C1E77-2B41-4E0A-9A61-3C7E11204590}";
    CRegistryRestore restore(HKEY_CLASSES_ROOT, key);
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_SZ, clsidText,
                                                sizeof(clsidText)));
    standin::CClassRegistration registration(clsid, &kcom::CComCreator<CCustomQueryFake>::CreateInstance);
    ASSERT_HRESULT_SUCCEEDED(registration.Result());

    const std::wstring section = std::wstring(L"Packages\\Kestrune\\CustQuery\\") + progId;
    appSettings_->Put(section.c_str(), L"customprop", L"LookUp");
    appSettings_->Put(section.c_str(), L"acx_name", L"LookUp");
    appSettings_->Put(section.c_str(), L"ignored", L"");
    appSettings_->Put(L"Packages\\Kestrune\\CustQuery\\No.Such.ProgId", L"customprop", L"LookUp");
    kcom::CComQIPtr<IObjectRackClient> client(static_cast<IUnknown*>(engine_.get()));
    CCustomQueryFake::calls = 0;
    ASSERT_EQ(S_OK, client->SetRack(rack_.as<IObjectRack>()));

    EXPECT_EQ(L"custom", Text(Ask(WindowId(L"grid"), L"customprop")));
    EXPECT_TRUE(CCustomQueryFake::sawRuntimeId);
    EXPECT_EQ(1, CCustomQueryFake::calls);
    // The built-in handler answers first; the custom one only where it does not.
    EXPECT_EQ(L"Flex Grid", Text(Ask(WindowId(L"grid"), L"acx_name")));
    EXPECT_EQ(1, CCustomQueryFake::calls);
    EXPECT_EQ(L"custom", Text(Ask(WindowId(L"plain"), L"acx_name")));
    EXPECT_EQ(2, CCustomQueryFake::calls);
}

TEST_F(AcxQuery, NotificationRecordsHandTheProductRootToTheHook) {
    CComPtr<IKorDataTarget> target;
    ASSERT_EQ(S_OK, engine_->QueryInterface(IID_IKorDataTarget, reinterpret_cast<void**>(target.Put())));
    HWND record[1] = {W(L"grid")};
    FORMATETC format{};
    STGMEDIUM medium{};
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = reinterpret_cast<HGLOBAL>(record);
    ULONG mdRet = 0;

    format.cfFormat = static_cast<CLIPFORMAT>(::RegisterClipboardFormatW(L"NotTheNotification"));
    EXPECT_EQ(S_OK, target->ReceiveData(&format, &medium, &mdRet));
    EXPECT_EQ(8u, mdRet);
    EXPECT_EQ(0, Sent(L"SET_AGENT_DATA"));

    format.cfFormat = static_cast<CLIPFORMAT>(CAcxSetting::GetInstance()->m_notificationFormat);
    appSettings_->SetProductRoot(L"Software\\Host\\Product");
    mdRet = 0;
    EXPECT_EQ(S_OK, target->ReceiveData(&format, &medium, &mdRet));
    EXPECT_EQ(8u, mdRet);
    EXPECT_EQ(1, Sent(L"SET_AGENT_DATA"));
    EXPECT_NE(std::wstring::npos, aut_.HookLog().back().find(L"Software\\Host\\Product"));

    appSettings_->SetProductRoot(nullptr);
    EXPECT_EQ(E_FAIL, target->ReceiveData(&format, &medium, &mdRet));
    appSettings_->SetProductRoot(L"x", E_ACCESSDENIED);
    EXPECT_EQ(E_ACCESSDENIED, target->ReceiveData(&format, &medium, &mdRet));
    OrlentyStandIn_SetApplicationSettings(nullptr);
    EXPECT_EQ(E_UNEXPECTED, target->ReceiveData(&format, &medium, &mdRet));
    EXPECT_EQ(E_POINTER, target->ReceiveData(&format, &medium, nullptr));
    EXPECT_EQ(1, Sent(L"SET_AGENT_DATA"));
}

}  // namespace
