// The host's side of an ActiveX test object against the real controls of the application under
// test: clicks of the device-replay engine land where Wine's hit testing puts them, the standard
// window test object's input lands in the control's own log, and the host's query engine
// identifies windowed and windowless controls through the package's engine.
#include <gtest/gtest.h>
#include <windows.h>
#include <ocidl.h>
#include <string>
#include <vector>
#include "AcxHostBed.h"
#include "AutTestBed.h"
#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "com/ComVariant.h"
#include "tables/KorSafeArray.h"
#include "tables/RuntimeId.h"
#include "AutControls.h"

using kcom::CComPtr;
using kcom::CComVariant;

namespace {

using Lines = std::vector<std::wstring>;

// Records the control's Clicked events as they reach this process.
class CClickSink : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IDispatch {
public:
    BEGIN_COM_MAP(CClickSink)
        COM_INTERFACE_ENTRY(IDispatch)
        COM_INTERFACE_ENTRY_IID(DIID_DKorTestControlEvents, IDispatch)
    END_COM_MAP()
    int clicks = 0;
    STDMETHOD(GetTypeInfoCount)(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHOD(Invoke)(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        if (id == 1) ++clicks;
        return S_OK;
    }
};

POINT ScreenPoint(HWND window, int x, int y) {
    POINT p{x, y};
    ::ClientToScreen(window, &p);
    return p;
}

CComPtr<IRuntimeID> WindowId(HWND window) {
    CRuntimeId id(::RegisterClipboardFormatW(L"FormaShelHalonotRegilim"));
    id.PutVariantValue(L"hwnd", CComVariant(static_cast<long>(reinterpret_cast<LONG_PTR>(window))));
    return CComPtr<IRuntimeID>(static_cast<IRuntimeID2*>(id));
}

// A description of one row (name, value, flags, type, compare type), as identification builds it.
CKorSafeArray Description(const wchar_t* name, const wchar_t* value) {
    CKorSafeArray table(1, 5, VT_VARIANT);
    CComVariant n(name), v(value), zero(0L);
    table.PutElement(&n, 0, 0);
    table.PutElement(&v, 0, 1);
    for (LONG col = 2; col < 5; ++col) table.PutElement(&zero, 0, col);
    return table;
}

// A one-row VT_I4 format filter.
CKorSafeArray Formats(const wchar_t* format) {
    CKorSafeArray table(1, 1, VT_VARIANT);
    CComVariant cell(static_cast<long>(::RegisterClipboardFormatW(format)));
    table.PutElement(&cell, 0, 0);
    return table;
}

// The "hwnd" and "punknown" of each identifier found.
std::vector<std::pair<HWND, long>> Found(SAFEARRAY* ids) {
    std::vector<std::pair<HWND, long>> out;
    CKorSafeArray table;
    table.Attach(ids, true);
    for (ULONG row = 0; row < table.GetRowCount(); ++row) {
        CComVariant cell;
        table.GetElement(cell.Put(), static_cast<LONG>(row), 0);
        kcom::CComQIPtr<IRuntimeID> id(cell.vt == VT_UNKNOWN ? cell.punkVal : nullptr);
        long window = 0, cookie = 0;
        CRuntimeId(id.get()).GetLong(L"hwnd", &window);
        CRuntimeId(id.get()).GetLong(L"punknown", &cookie);
        out.emplace_back(reinterpret_cast<HWND>(static_cast<LONG_PTR>(window)), cookie);
    }
    return out;
}

class AcxHost : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(bed_.Start(kAutControlsScenario));
        main_ = bed_.aut.Window(L"main");
        ctl_ = bed_.aut.Window(L"ctl");
        ASSERT_HRESULT_SUCCEEDED(AutControlDispatch(ctl_, 0, control_.Put()));
        ASSERT_HRESULT_SUCCEEDED(AutControlDispatch(main_, 7, seven_.Put()));
    }

    CAcxHostBed bed_;
    HWND main_ = nullptr, ctl_ = nullptr;
    CComPtr<IDispatch> control_, seven_;
};

TEST_F(AcxHost, DeviceReplayClicksLandWhereHitTestingPutsThem) {
    bed_.TakeDesktop(main_);
    // Created by ProgID, as the package does when the rack lacks the engine.
    CComPtr<IKorDeviceReplay> engine;
    ASSERT_HRESULT_SUCCEEDED(engine.CoCreateInstance(standin::kDeviceReplayProgId, nullptr, CLSCTX_INPROC_SERVER));
    // The click's own time while no event comes into this process.
    const POINT onControl = ScreenPoint(ctl_, 30, 12);
    DWORD start = ::GetTickCount();
    EXPECT_EQ(S_OK, engine->Click(onControl.x, onControl.y, 0));
    const DWORD own = ::GetTickCount() - start;
    DispCall(control_, L"ClearInputLog", {}, nullptr);

    // An event the click fires into this process is served while the engine waits, not after a
    // time-out: within the click's own time and half the engine's bound on its wait for the input
    // to be taken.
    constexpr DWORD kEngineWaitMs = 1000;  // 100 rounds of 10 ms
    kcom::CComQIPtr<IConnectionPointContainer> points(control_.get());
    CComPtr<IConnectionPoint> point;
    ASSERT_HRESULT_SUCCEEDED(points->FindConnectionPoint(DIID_DKorTestControlEvents, point.Put()));
    kcom::CComObject<CClickSink>* sink = nullptr;
    ASSERT_HRESULT_SUCCEEDED(kcom::CComObject<CClickSink>::CreateInstance(&sink));
    CComPtr<IDispatch> hold(sink);
    DWORD cookie = 0;
    ASSERT_HRESULT_SUCCEEDED(point->Advise(hold, &cookie));

    start = ::GetTickCount();
    EXPECT_EQ(S_OK, engine->Click(onControl.x, onControl.y, 0));
    EXPECT_LT(::GetTickCount() - start, own + kEngineWaitMs / 2);
    EXPECT_EQ((Lines{L"WM_LBUTTONDOWN 30,12", L"WM_LBUTTONUP 30,12"}), InputLog(control_));
    EXPECT_EQ(1, sink->clicks);
    point->Unadvise(cookie);

    // A windowless control gets it from its container; button code 2 is the right button.
    const POINT onSeven = ScreenPoint(main_, 30, 90);
    EXPECT_EQ(S_OK, engine->DblClick(onSeven.x, onSeven.y, 2));
    EXPECT_EQ((Lines{L"WM_SETFOCUS", L"WM_RBUTTONDOWN 10,10", L"WM_RBUTTONUP 10,10", L"WM_RBUTTONDBLCLK 10,10",
                     L"WM_RBUTTONUP 10,10"}),
              InputLog(seven_));

    // Real input goes through the system's queue to the same place.
    DispCall(control_, L"ClearInputLog", {}, nullptr);
    bed_.deviceReplay->SetDelivery(standin::CDeviceReplayStandIn::Delivery::RealInput);
    EXPECT_EQ(S_OK, bed_.deviceReplay->Click(onControl.x, onControl.y, 0));
    Lines real = InputLog(control_);
    std::erase(real, L"WM_MOUSEMOVE 30,12");
    EXPECT_EQ((Lines{L"WM_LBUTTONDOWN 30,12", L"WM_LBUTTONUP 30,12"}), real);
}

TEST_F(AcxHost, WinObjectPerformsItsInputOnTheControlWindow) {
    CLSID clsid{};
    ASSERT_HRESULT_SUCCEEDED(::CLSIDFromProgID(standin::kWinObjectProgId, &clsid));
    CComPtr<IDispatch> inner;
    ASSERT_HRESULT_SUCCEEDED(inner.CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER));
    kcom::CComQIPtr<IReplaySkeleton> skeleton(inner.get());
    ASSERT_HRESULT_SUCCEEDED(skeleton->SetRuntimeId(WindowId(ctl_)));

    kcom::CComQIPtr<IStdObjectReplay> replay(inner.get());
    kcom::CComQIPtr<IStdReplay> input(inner.get());
    EXPECT_EQ(S_OK, replay->do_Type(kcom::CComBSTR(L"a")));
    EXPECT_EQ(S_OK, input->DoClick(-9999, -9999, BUTTON_LEFT));  // the centre of 101 x 41
    EXPECT_EQ(S_OK, replay->do_Drag(5, 6, BUTTON_LEFT));
    EXPECT_EQ(S_OK, replay->do_Drop(60, 30, BUTTON_LEFT));
    EXPECT_EQ((Lines{L"WM_KEYDOWN 0x41", L"WM_CHAR 0x61", L"WM_KEYUP 0x41", L"WM_LBUTTONDOWN 50,20",
                     L"WM_LBUTTONUP 50,20", L"WM_LBUTTONDOWN 5,6", L"WM_MOUSEMOVE 60,30", L"WM_LBUTTONUP 60,30"}),
              InputLog(control_));

    // Without an identifier of its own, the window is its outer object's "objectid".
    CComPtr<IDispatch> outer, second;
    ASSERT_HRESULT_SUCCEEDED(outer.CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER));
    ASSERT_HRESULT_SUCCEEDED(second.CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER));
    kcom::CComQIPtr<ITestObjectInfo> outerInfo(outer.get());
    CComVariant id;
    id.vt = VT_UNKNOWN;
    id.punkVal = WindowId(main_).Detach();
    ASSERT_HRESULT_SUCCEEDED(outerInfo->put_PropExpr(kcom::CComBSTR(L"objectid"), nullptr, nullptr, nullptr, id));
    kcom::CComQIPtr<ITestObject>(second.get())->SetOuterObject(outer);
    EXPECT_EQ(S_OK, kcom::CComQIPtr<IStdReplay>(second.get())->DoClick(30, 90, BUTTON_LEFT));
    EXPECT_EQ((Lines{L"WM_SETFOCUS", L"WM_LBUTTONDOWN 10,10", L"WM_LBUTTONUP 10,10"}), InputLog(seven_));

    // No window at all: a failure, nothing sent.
    CComPtr<IDispatch> lone;
    ASSERT_HRESULT_SUCCEEDED(lone.CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER));
    EXPECT_EQ(E_FAIL, kcom::CComQIPtr<IStdReplay>(lone.get())->DoType(kcom::CComBSTR(L"b")));
}

TEST_F(AcxHost, QueryEngineIdentifiesControlsThroughThePackageEngine) {
    ASSERT_EQ(1u, bed_.queryEngine->EngineCount());
    IKorQuery* engine = bed_.queryEngine.as<IKorQuery2>();

    // A windowed control among the application's windows.
    SAFEARRAY* ids = nullptr;
    CKorSafeArray byProgId = Description(L"progid", L"KorTest.WndCtl");
    ASSERT_EQ(S_OK, engine->QueryIdFromContainer(byProgId.psa, nullptr, &ids, nullptr, nullptr));
    EXPECT_EQ((std::vector<std::pair<HWND, long>>{{ctl_, 0}}), Found(ids));

    // A windowless one inside its container, the container being a window test object.
    CComPtr<IDispatch> container;
    ASSERT_HRESULT_SUCCEEDED(container.CoCreateInstance(standin::kWinObjectProgId, nullptr, CLSCTX_INPROC_SERVER));
    kcom::CComQIPtr<IReplaySkeleton>(container.get())->SetRuntimeId(WindowId(main_));
    CKorSafeArray button = Description(L"progid", L"KorTest.WlsButton");
    CKorSafeArray windowless = Formats(L"FormatForQueryId_WindowlessActiveXTO");
    ids = nullptr;
    ASSERT_EQ(S_OK, engine->QueryIdFromContainer(button.psa, container, &ids, nullptr, windowless.psa));
    std::vector<std::pair<HWND, long>> found = Found(ids);
    EXPECT_EQ((std::vector<std::pair<HWND, long>>{{main_, 7}}), found);

    // Its values: the control's own property through the package engine, its offsets from here.
    CRuntimeId seven(::RegisterClipboardFormatW(L"Windowless ACX Control"));
    seven.PutVariantValue(L"hwnd", CComVariant(static_cast<long>(reinterpret_cast<LONG_PTR>(main_))));
    seven.PutVariantValue(L"punknown", CComVariant(7L));
    ASSERT_HRESULT_SUCCEEDED(DispCall(seven_, L"Move", {25L, 85L, 100L, 30L}, nullptr));
    CKorSafeArray values(3, 2, VT_VARIANT);
    const wchar_t* names[3] = {L"Caption", L"x", L"y"};
    for (LONG row = 0; row < 3; ++row) {
        CComVariant name(names[row]);
        values.PutElement(&name, row, 0);
    }
    ASSERT_EQ(S_OK, engine->QueryValue(seven, values.psa));
    CComVariant caption, x, y;
    values.GetElement(&caption, 0, 1);
    values.GetElement(&x, 1, 1);
    values.GetElement(&y, 2, 1);
    ASSERT_EQ(VT_BSTR, caption.vt);
    EXPECT_STREQ(L"Seven", caption.bstrVal);
    EXPECT_EQ(VT_I4, x.vt);
    EXPECT_EQ(25, x.lVal);
    EXPECT_EQ(85, y.lVal);
}

}  // namespace
