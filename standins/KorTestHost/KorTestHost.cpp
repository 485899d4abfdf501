#include "KorTestHost.h"
#include <shlwapi.h>
#include <cwchar>
#include "AutTestBed.h"
#include "ControlEventSink.h"
#include "OrlentyStandIn.h"
#include "WinObjectStandIn.h"
#include "com/ComBSTR.h"
#include "com/ComSafeArray.h"
#include "com/ComVariant.h"
#include "environment/LoadTimeValues.h"
#include "environment/ObjectMap.h"
#include "tables/RuntimeId.h"
#include "win32/MessageWait.h"

using kcom::CComBSTR;
using kcom::CComPtr;
using kcom::CComVariant;

namespace {

// {5B0C9E41-7A2D-4E8F-9C13-6D4A2F8B1E70}
const CLSID kHostClsid = {0x5B0C9E41, 0x7A2D, 0x4E8F, {0x9C, 0x13, 0x6D, 0x4A, 0x2F, 0x8B, 0x1E, 0x70}};
constexpr wchar_t kHostProgId[] = L"KorTest.Host";

enum Member : DISPID {
    kStart = 1, kTestObject, kSetOption, kInnerAnswer, kListen, kEvents, kLog, kInnerLog, kControlLog, kClear, kPump,
    kWindow, kLoadTestObject
};
constexpr struct {
    const wchar_t* name;
    DISPID id;
} kMembers[] = {{L"Start", kStart},         {L"TestObject", kTestObject}, {L"SetOption", kSetOption},
                {L"InnerAnswer", kInnerAnswer}, {L"Listen", kListen},         {L"Events", kEvents},
                {L"Log", kLog},             {L"InnerLog", kInnerLog},     {L"ControlLog", kControlLog},
                {L"Clear", kClear},         {L"Pump", kPump},             {L"Window", kWindow},
                {L"LoadTestObject", kLoadTestObject}};

std::wstring Joined(const std::vector<std::wstring>& lines) {
    std::wstring all;
    for (const std::wstring& line : lines) all += (all.empty() ? L"" : L" | ") + line;
    return all;
}

// A control whose caption, and so the name a recording gives its object, is not ASCII: what the
// application says has to reach a script and its output intact.
constexpr wchar_t kLocalCaptionControl[] =
    L"windowless main 10 KorTest.WlsLocal rect=20,140,130,30 caption=\u00DCbernehmen usertype=\"Kor Test Button\"\n";

long L(HWND window) { return static_cast<long>(reinterpret_cast<LONG_PTR>(window)); }

// The argument at position i counted from the first, as a value of type vt; VT_EMPTY for a
// missing one.
HRESULT Arg(DISPPARAMS* params, UINT i, VARTYPE vt, CComVariant& out) {
    out.Clear();
    if (!params || i >= params->cArgs) return vt == VT_EMPTY ? S_OK : DISP_E_BADPARAMCOUNT;
    CComVariant given;
    HRESULT hr = ::VariantCopyInd(&given, &params->rgvarg[params->cArgs - 1 - i]);
    if (FAILED(hr)) return hr;
    if (vt == VT_EMPTY) return out.Copy(given);
    return ::VariantChangeType(&out, &given, 0, vt);
}

}  // namespace

CKorTestHost::CKorTestHost() = default;

CKorTestHost::~CKorTestHost() { Stop(); }

// ---- The host's set-up ---------------------------------------------------------------------------

HRESULT CKorTestHost::Start(const std::wstring& extraScenario) {
    if (bed_) return E_UNEXPECTED;
    bed_ = std::make_unique<CAcxHostBed>();
    bed_->linkedPackage = linkedPackage_;
    const std::wstring scenario =
        std::wstring(kAutControlsScenario) + kAutRecoveryChildren + kLocalCaptionControl + extraScenario;
    HRESULT hr = bed_->Start(scenario);
    if (FAILED(hr)) return hr;
    bed_->TakeDesktop(bed_->aut.Window(L"main"));
    controls_ = {L"ctl", L"main:7", L"main:8", L"main:9", L"main:10"};
    for (auto [clsid, creator] : {std::pair{&CLSID_KestruneMgr, KestruneMgrCreator},
                                  std::pair{&CLSID_AcxFactory, AcxFactoryCreator},
                                  std::pair{&CLSID_KorActiveX, KorActiveXCreator}}) {
        if (!linkedPackage_) break;
        classes_.push_back(std::make_unique<standin::CClassRegistration>(*clsid, creator));
        if (FAILED(hr = classes_.back()->Result())) return hr;
    }
    bed_->options->Put(L"", L"OnReplay", CComVariant(true));
    bed_->options->Put(L"", L"DefaultTimeout", 1000L);
    bed_->options->Put(L"", L"DefaultDelay", 50L);

    // The package manager in the host's order: rack, configuration, Init, engines.
    if (FAILED(hr = manager_.CoCreateInstance(CLSID_KestruneMgr, nullptr, CLSCTX_INPROC_SERVER))) return hr;
    CComPtr<IObjectRackClient> client;
    if (FAILED(hr = manager_.QueryInterface(client.Put())) || FAILED(hr = client->SetRack(bed_->Rack()))) return hr;
    {
        SAFEARRAYBOUND bound{1, 0};
        kcom::CComSafeArray words(::SafeArrayCreate(VT_BSTR, 1, &bound));
        LONG index = 0;
        CComBSTR full(L"full");
        if (!words || FAILED(hr = ::SafeArrayPutElement(words, &index, static_cast<BSTR>(full)))) return E_OUTOFMEMORY;
        CComVariant config;
        config.vt = VT_ARRAY | VT_BSTR;
        config.parray = words.Detach();
        if (FAILED(hr = manager_->SetPackageConfiguration(config))) return hr;
    }
    if (FAILED(hr = manager_->Init())) return hr;
    // The manager registers the package's query engine itself.
    bed_->queryEngine->ReleaseEngines();
    if (FAILED(hr = manager_->AddQuery(bed_->queryEngine.as<IKorQuery2>())) ||
        FAILED(hr = manager_->AddFactory(bed_->recordMgr.as<IKorDataTarget>())))
        return hr;

    // The factory, made from its registration, with the rack and its site.
    if (FAILED(hr = ::CoCreateInstance(CLSID_AcxFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                       reinterpret_cast<void**>(factory_.Put()))))
        return hr;
    CComPtr<IObjectRackClient> factoryRack;
    CComPtr<ITestObjFactory> factory;
    if (FAILED(hr = factory_.QueryInterface(factoryRack.Put())) || FAILED(hr = factoryRack->SetRack(bed_->Rack())) ||
        FAILED(hr = factory_.QueryInterface(factory.Put())) ||
        FAILED(hr = factory->SetFactorySite(site_.as<ITestObjFactorySite>(), 1)))
        return hr;
    site_->SetParent(parent_.as<IDispatch>());
    CComPtr<IPackageServices> services;
    if (FAILED(hr = factory_.QueryInterface(services.Put()))) return hr;
    bed_->recordMgr->SetPackageServices(services);
    OrlentyStandIn_SetRecordMgr(bed_->recordMgr.as<IKorDataTarget>());
    return S_OK;
}

void CKorTestHost::Stop() {
    if (!bed_) return;
    if (recorder_.get()) bed_->aut.Record(nullptr);
    recorder_ = {};
    sinks_.clear();
    handedOut_.clear();
    OrlentyStandIn_SetRecordMgr(nullptr);
    OrlentyStandIn_SetApplicationSettings(nullptr);
    bed_->recordMgr->SetPackageServices(nullptr);
    bed_->rack->Drop(L"KestruneMgr");
    bed_->rack->Drop(L"AcxFlowEventsObject");
    factory_.Release();
    manager_.Release();
    bed_.reset();
    classes_.clear();
}

bool CKorTestHost::Locate(const std::wstring& name, HWND& window, LONG& cookie) const {
    const size_t colon = name.find(L':');
    cookie = colon == std::wstring::npos ? 0 : std::wcstol(name.c_str() + colon + 1, nullptr, 10);
    window = bed_ ? bed_->aut.Window(name.substr(0, colon)) : nullptr;
    return window != nullptr;
}

HRESULT CKorTestHost::TestObject(const std::wstring& name, IDispatch** object) {
    HWND window = nullptr;
    LONG cookie = 0;
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!Locate(name, window, cookie)) return E_INVALIDARG;
    CComPtr<IPackageServices5> services;
    HRESULT hr = factory_.QueryInterface(services.Put());
    if (FAILED(hr)) return hr;
    if (!cookie) {
        hr = services->CreateTestObjFromWindow(window, object);
        if (*object) handedOut_.push_back(*object);
        return hr;
    }
    CRuntimeId id(g_cfWindowlessAcxControl);
    id.PutVariantValue(L"hwnd", CComVariant(L(window)));
    id.PutVariantValue(L"punknown", CComVariant(static_cast<long>(cookie)));
    hr = services->CreateTestObjFromRuntimeId(id, object);
    if (hr == S_OK && *object) {
        handedOut_.push_back(*object);
        return hr;
    }
    // A control that is not there: the test object the factory would have made for it.
    CComPtr<IDispatch> made;
    CComPtr<ITestObjectInfo> info;
    CComPtr<IKorActiveXInit> init;
    if (FAILED(hr = NewActiveXObject(made)) || FAILED(hr = made.QueryInterface(info.Put())) ||
        FAILED(hr = info->put_PropExpr(CComBSTR(L"objectid"), nullptr, nullptr, nullptr,
                                       CComVariant(static_cast<IUnknown*>(static_cast<IRuntimeID2*>(id))))) ||
        FAILED(hr = made.QueryInterface(init.Put())) || FAILED(hr = init->Init(g_cfWindowlessAcxControl)))
        return hr;
    handedOut_.push_back(made.get());
    *object = made.Detach();
    return S_OK;
}

HRESULT CKorTestHost::NewActiveXObject(CComPtr<IDispatch>& made) const {
    CComPtr<IObjectRackClient> rack;
    HRESULT hr = made.CoCreateInstance(CLSID_KorActiveX, nullptr, CLSCTX_INPROC_SERVER);
    if (SUCCEEDED(hr)) hr = made.QueryInterface(rack.Put());
    if (SUCCEEDED(hr)) hr = rack->SetRack(bed_->Rack());
    return hr;
}

HRESULT CKorTestHost::Window(const std::wstring& name, IDispatch** object) const {
    if (!object) return E_POINTER;
    *object = nullptr;
    const HWND window = bed_ ? bed_->aut.Window(name) : nullptr;
    if (!window) return E_INVALIDARG;
    CComPtr<IDispatch> made;
    CComPtr<IReplaySkeleton> skeleton;
    CRuntimeId id(g_cfShelHalonotRegilim);
    id.PutVariantValue(L"hwnd", CComVariant(L(window)));
    HRESULT hr = made.CoCreateInstance(standin::kWinObjectProgId, nullptr, CLSCTX_INPROC_SERVER);
    if (SUCCEEDED(hr)) hr = made.QueryInterface(skeleton.Put());
    if (SUCCEEDED(hr)) hr = skeleton->SetRuntimeId(static_cast<IRuntimeID2*>(id));
    if (SUCCEEDED(hr)) *object = made.Detach();
    return hr;
}

HRESULT CKorTestHost::LoadTestObject(const std::wstring& file, const std::wstring& name, IDispatch* parent,
                                     IDispatch** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!bed_) return E_UNEXPECTED;
    CComPtr<IStream> stream;
    HRESULT hr = ::SHCreateStreamOnFileEx(file.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, 0, FALSE, nullptr,
                                          stream.Put());
    if (FAILED(hr)) return hr;
    CComPtr<IDispatch> made;
    CComPtr<IPersistStreamInit> persist;
    CComPtr<ITestObject> testObject;
    if (FAILED(hr = NewActiveXObject(made)) || FAILED(hr = made.QueryInterface(persist.Put())) ||
        FAILED(hr = persist->Load(stream)) ||
        FAILED(hr = made.QueryInterface(testObject.Put())) ||
        FAILED(hr = testObject->SetLogicalName(CComBSTR(name.c_str()))))
        return hr;
    if (parent) {
        CComPtr<ITestObjectInfo> info;
        if (FAILED(hr = made.QueryInterface(info.Put())) ||
            FAILED(hr = info->put_PropExpr(CComBSTR(L"parent"), nullptr, nullptr, nullptr, CComVariant(parent))))
            return hr;
    }
    handedOut_.push_back(made.get());
    *object = made.Detach();
    return S_OK;
}

HRESULT CKorTestHost::Record() {
    if (!bed_ || !factory_) return E_UNEXPECTED;
    if (recorder_.get()) return S_FALSE;
    CComPtr<IDispatch> main;
    HRESULT hr = Window(L"main", main.Put());
    if (FAILED(hr)) return hr;
    bed_->options->Put(L"", L"OnReplay", CComVariant(false));
    bed_->options->Put(L"", L"OnRecord", 1L);
    OrlentyStandIn_SetApplicationSettings(bed_->options.as<IKorSettings>());
    // The host's identification settings of the class: a control is described by its ProgID.
    bed_->options->Put(L"Test Objects\\ActiveX\\Description", L"progid", 0x10L);
    recorder_ = standin::Holder<standin::CRecorderStandIn>::New();
    recorder_->SetParent(main);
    recorder_->SetRecordMgr(bed_->RecordTarget());
    if (FAILED(hr = recorder_->AddFactory(factory_, bed_->Rack()))) return hr;
    return bed_->aut.Record(recorder_->Window());
}

// ---- The application's controls -----------------------------------------------------------------

CComPtr<IDispatch> CKorTestHost::Control(const std::wstring& name) const {
    CComPtr<IDispatch> control;
    HWND window = nullptr;
    LONG cookie = 0;
    if (Locate(name, window, cookie)) AutControlDispatch(window, cookie, control.Put());
    return control;
}

HRESULT CKorTestHost::Listen(const std::wstring& name) {
    CComPtr<IUnknown> sink;
    HRESULT hr = CControlEventSink::Listen(Control(name), events_, sink.Put());
    if (SUCCEEDED(hr)) sinks_.push_back(sink);
    return hr;
}

std::wstring CKorTestHost::InnerLog(IUnknown* testObject) const {
    std::vector<std::wstring> actions;
    if (standin::CWinObjectStandIn* inner = standin::CWinObjectStandIn::OfOuter(testObject))
        for (const std::wstring& line : inner->Log().Lines())
            if (line.rfind(L"do_", 0) == 0) actions.push_back(line);
    return Joined(actions);
}

void CKorTestHost::Clear() {
    if (!bed_) return;
    bed_->deviceReplay->Log().Clear();
    for (const CComPtr<IUnknown>& object : handedOut_)
        if (standin::CWinObjectStandIn* inner = standin::CWinObjectStandIn::OfOuter(object)) inner->Log().Clear();
    bed_->recordMgr->Log().Clear();
    events_->Clear();
    for (const std::wstring& name : controls_) {
        CComVariant ignored;
        DispCall(Control(name), L"ClearInputLog", {}, ignored.Put());
    }
}

// ---- IDispatch ---------------------------------------------------------------------------------

STDMETHODIMP CKorTestHost::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP CKorTestHost::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) *info = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CKorTestHost::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!names || !ids) return E_POINTER;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
        for (const auto& m : kMembers)
            if (names[i] && _wcsicmp(names[i], m.name) == 0) ids[i] = m.id;
        if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

STDMETHODIMP CKorTestHost::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                                  UINT*) {
    return kcom::Guard([&]() -> HRESULT {
        CComVariant a, b, answer;
        HRESULT hr = S_OK;
        auto text = [&](const std::wstring& s) { answer = CComVariant(s.c_str()); };
        switch (id) {
        case kStart:
            if (SUCCEEDED(hr = Arg(params, 0, VT_EMPTY, a)) && a.vt != VT_EMPTY) hr = a.ChangeType(VT_BSTR);
            if (SUCCEEDED(hr)) hr = Start(a.vt == VT_BSTR && a.bstrVal ? a.bstrVal : L"");
            break;
        case kTestObject:
            if (SUCCEEDED(hr = Arg(params, 0, VT_BSTR, a))) {
                CComPtr<IDispatch> object;
                hr = TestObject(a.bstrVal ? a.bstrVal : L"", object.Put());
                if (SUCCEEDED(hr)) answer = CComVariant(object.get());
            }
            break;
        case kSetOption:
            // A script's small numbers are VT_I2; the host keeps its numbers as VT_I4.
            if (SUCCEEDED(hr = Arg(params, 0, VT_BSTR, a)) && SUCCEEDED(hr = Arg(params, 1, VT_EMPTY, b)) && bed_) {
                if (b.vt == VT_I2 || b.vt == VT_UI1) b.ChangeType(VT_I4);
                bed_->options->Put(L"", a.bstrVal, b);
            }
            break;
        case kInnerAnswer: {
            CComVariant c;
            standin::CWinObjectStandIn* inner = nullptr;
            if (SUCCEEDED(hr = Arg(params, 0, VT_UNKNOWN, a)) && SUCCEEDED(hr = Arg(params, 1, VT_BSTR, b)) &&
                SUCCEEDED(hr = Arg(params, 2, VT_I4, c)))
                inner = standin::CWinObjectStandIn::OfOuter(a.punkVal);
            if (inner) inner->SetStepAnswer(b.bstrVal ? b.bstrVal : L"", c.lVal);
            else if (SUCCEEDED(hr)) hr = E_INVALIDARG;
            break;
        }
        case kListen:
            if (SUCCEEDED(hr = Arg(params, 0, VT_BSTR, a))) hr = Listen(a.bstrVal ? a.bstrVal : L"");
            break;
        case kEvents:
            text(Joined(events_->Lines()));
            break;
        case kLog:
            if (SUCCEEDED(hr = Arg(params, 0, VT_BSTR, a)) && bed_) {
                const std::wstring which = a.bstrVal ? a.bstrVal : L"";
                if (which == L"DeviceReplay") text(Joined(bed_->deviceReplay->Log().Lines()));
                else if (which == L"RecordMgr") text(Joined(bed_->recordMgr->Log().Lines()));
                else hr = E_INVALIDARG;
            }
            break;
        case kInnerLog:
            if (SUCCEEDED(hr = Arg(params, 0, VT_UNKNOWN, a))) text(InnerLog(a.punkVal));
            break;
        case kControlLog:
            if (SUCCEEDED(hr = Arg(params, 0, VT_BSTR, a))) text(Joined(::InputLog(Control(a.bstrVal ? a.bstrVal : L""))));
            break;
        case kClear:
            Clear();
            break;
        case kWindow:
            if (SUCCEEDED(hr = Arg(params, 0, VT_BSTR, a))) {
                CComPtr<IDispatch> object;
                if (SUCCEEDED(hr = Window(a.bstrVal ? a.bstrVal : L"", object.Put()))) answer = CComVariant(object.get());
            }
            break;
        case kLoadTestObject: {
            CComVariant c;
            if (SUCCEEDED(hr = Arg(params, 0, VT_BSTR, a)) && SUCCEEDED(hr = Arg(params, 1, VT_BSTR, b)) &&
                SUCCEEDED(hr = Arg(params, 2, VT_EMPTY, c))) {
                if (c.vt != VT_EMPTY && c.vt != VT_ERROR) hr = c.ChangeType(VT_DISPATCH);
                CComPtr<IDispatch> object;
                if (SUCCEEDED(hr))
                    hr = LoadTestObject(a.bstrVal ? a.bstrVal : L"", b.bstrVal ? b.bstrVal : L"",
                                        c.vt == VT_DISPATCH ? c.pdispVal : nullptr, object.Put());
                if (SUCCEEDED(hr)) answer = CComVariant(object.get());
            }
            break;
        }
        case kPump:
            if (SUCCEEDED(hr = Arg(params, 0, VT_I4, a))) PumpMessagesFor(static_cast<DWORD>(a.lVal));
            break;
        default:
            return DISP_E_MEMBERNOTFOUND;
        }
        if (SUCCEEDED(hr) && result) answer.Detach(result);
        return hr;
    });
}

// ---- Serving scripts -------------------------------------------------------------------------------

CKorTestHostServer::CKorTestHostServer() {
    registration_ = std::make_unique<standin::CObjectRegistration>(kHostClsid, host_.as<IDispatch>(),
                                                                   CLSCTX_LOCAL_SERVER);
    key_.emplace(kHostProgId, kHostClsid);
}

CKorTestHostServer::~CKorTestHostServer() {
    registration_.reset();
    host_->Stop();
}

HRESULT CKorTestHostServer::Result() const noexcept { return registration_->Result(); }
