#include "WinObjectStandIn.h"
#include <algorithm>
#include <cwchar>
#include <vector>
#include "HostStandIn.h"
#include "InputDelivery.h"
#include "com/ComBSTR.h"
#include "com/ComError.h"
#include "com/ComSafeArray.h"
#include "com/Handles.h"
#include "tables/RuntimeId.h"

namespace standin {

namespace {

constexpr int kCentre = -9999;

std::vector<CWinObjectStandIn*>& Live() {
    static std::vector<CWinObjectStandIn*> live;
    return live;
}

std::wstring Text(BSTR b) { return b ? std::wstring(b, ::SysStringLen(b)) : std::wstring(L"(null)"); }

std::wstring Numbers(std::initializer_list<long> values) {
    std::wstring text;
    for (long v : values) text += (text.empty() ? L"" : L",") + std::to_wstring(v);
    return text;
}

bool IsObjectId(BSTR name) { return name && _wcsicmp(name, L"objectid") == 0; }

// The "hwnd" of a runtime identifier held in a value, or null.
HWND WindowOf(const VARIANT& id) {
    CRuntimeId rid(id);
    long window = 0;
    if (!static_cast<IRuntimeID2*>(rid) || FAILED(rid.GetLong(L"hwnd", &window))) return nullptr;
    return reinterpret_cast<HWND>(static_cast<LONG_PTR>(window));
}

}  // namespace

HRESULT CWinObjectStandIn::Create(IUnknown* outer, REFIID iid, void** out) {
    return kcom::CComCreatorNoAggregation<CWinObjectStandIn>::CreateInstance(outer, iid, out);
}

CWinObjectStandIn* CWinObjectStandIn::Last() noexcept { return Live().empty() ? nullptr : Live().back(); }

CWinObjectStandIn* CWinObjectStandIn::OfOuter(IUnknown* outer) noexcept {
    kcom::CComPtr<IUnknown> wanted;
    if (!outer || FAILED(outer->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(wanted.Put())))) return nullptr;
    for (CWinObjectStandIn* object : Live()) {
        kcom::CComPtr<IUnknown> identity;
        if (object->Outer() &&
            SUCCEEDED(object->Outer()->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(identity.Put()))) &&
            identity == wanted)
            return object;
    }
    return nullptr;
}

CWinObjectStandIn::CWinObjectStandIn() { Live().push_back(this); }

CWinObjectStandIn::~CWinObjectStandIn() {
    auto& live = Live();
    live.erase(std::remove(live.begin(), live.end(), this), live.end());
}

HRESULT CWinObjectStandIn::Unanswered(const wchar_t* method) {
    Log().Add(std::wstring(method) + L"()");
    return E_NOTIMPL;
}

HRESULT CWinObjectStandIn::Hook(const wchar_t* method) {
    Log().Add(std::wstring(method) + L"()");
    return result_;
}

HWND CWinObjectStandIn::Window() {
    if (HWND own = WindowOf(ownId_)) return own;
    kcom::CComPtr<ITestObjectInfo> info;
    if (Outer() && SUCCEEDED(Outer()->QueryInterface(__uuidof(ITestObjectInfo), reinterpret_cast<void**>(info.Put())))) {
        kcom::CComBSTR name(L"objectid");
        kcom::CComVariant id;
        if (SUCCEEDED(info->get_Prop(name, nullptr, nullptr, nullptr, id.Put())))
            if (HWND outerWindow = WindowOf(id)) return outerWindow;
    }
    return window_;
}

POINT CWinObjectStandIn::ClientPoint(HWND window, int x, int y) const {
    RECT client{};
    ::GetClientRect(window, &client);
    return POINT{x == kCentre ? client.right / 2 : x, y == kCentre ? client.bottom / 2 : y};
}

template <class Input>
HRESULT CWinObjectStandIn::Perform(std::wstring line, Input&& input) {
    return kcom::Guard([&]() -> HRESULT {
        Log().Add(std::move(line));
        const HWND window = Window();
        if (!window || !::IsWindow(window)) return E_FAIL;
        input(window);
        return result_;
    });
}

// ---- DispTestObject ----

STDMETHODIMP CWinObjectStandIn::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP CWinObjectStandIn::Init() {
    Log().Add(L"Init()");
    return result_;
}

// ---- input ----

HRESULT CWinObjectStandIn::Click(const wchar_t* method, int x, int y, BUTTON button, bool doubleClick) {
    return Perform(method + (L"(" + Numbers({x, y, button}) + L")"), [&](HWND w) {
        PostClick(w, ClientPoint(w, x, y), ButtonOf(button), doubleClick);
    });
}

HRESULT CWinObjectStandIn::Type(const wchar_t* method, BSTR text) {
    return Perform(method + (L"(" + Text(text) + L")"), [&](HWND w) { PostText(w, text ? text : L""); });
}

HRESULT CWinObjectStandIn::MouseMove(const wchar_t* method, int x, int y) {
    return Perform(method + (L"(" + Numbers({x, y}) + L")"), [&](HWND w) { PostMouseMove(w, ClientPoint(w, x, y)); });
}

STDMETHODIMP CWinObjectStandIn::do_Click(int x, int y, BUTTON button) { return Click(L"do_Click", x, y, button, false); }

STDMETHODIMP CWinObjectStandIn::do_DblClick(int x, int y, BUTTON button) {
    return Click(L"do_DblClick", x, y, button, true);
}

STDMETHODIMP CWinObjectStandIn::do_Type(BSTR text) { return Type(L"do_Type", text); }

STDMETHODIMP CWinObjectStandIn::do_MouseMove(int x, int y) { return MouseMove(L"do_MouseMove", x, y); }

STDMETHODIMP CWinObjectStandIn::do_Drag(int x, int y, BUTTON button) {
    return Perform(L"do_Drag(" + Numbers({x, y, button}) + L")",
                   [&](HWND w) { PostDragStart(w, ClientPoint(w, x, y), ButtonOf(button)); });
}

STDMETHODIMP CWinObjectStandIn::do_Drop(int x, int y, BUTTON button) {
    return Perform(L"do_Drop(" + Numbers({x, y, button}) + L")",
                   [&](HWND w) { PostDrop(w, ClientPoint(w, x, y), ButtonOf(button)); });
}

STDMETHODIMP CWinObjectStandIn::do_hWnd(long* window) {
    Log().Add(L"do_hWnd()");
    if (!window) return E_POINTER;
    *window = static_cast<long>(reinterpret_cast<LONG_PTR>(Window()));
    return *window ? S_OK : E_FAIL;
}

STDMETHODIMP CWinObjectStandIn::DoClick(int x, int y, BUTTON button) { return Click(L"DoClick", x, y, button, false); }

STDMETHODIMP CWinObjectStandIn::DoDblClick(int x, int y, BUTTON button) {
    return Click(L"DoDblClick", x, y, button, true);
}

STDMETHODIMP CWinObjectStandIn::DoType(BSTR text) { return Type(L"DoType", text); }

STDMETHODIMP CWinObjectStandIn::DoMouseMove(int x, int y) { return MouseMove(L"DoMouseMove", x, y); }

STDMETHODIMP CWinObjectStandIn::PrepareObject(long moveToTop, long waitEnabled, long waitVisible, long checkIconic) {
    Log().Add(L"PrepareObject(" + Numbers({moveToTop, waitEnabled, waitVisible, checkIconic}) + L")");
    return result_;
}

STDMETHODIMP CWinObjectStandIn::EnableReport(long enable) {
    Log().Add(L"EnableReport(" + Numbers({enable}) + L")");
    return result_;
}

// ---- text ----

STDMETHODIMP CWinObjectStandIn::do_GetVisibleText(long left, long top, long right, long bottom, BSTR* text) {
    return kcom::Guard([&]() -> HRESULT {
        const HWND window = Window();
        Log().Add(L"do_GetVisibleText(" + Numbers({left, top, right, bottom}) + L",window=" +
                 std::to_wstring(reinterpret_cast<LONG_PTR>(window)) + L")");
        if (!text) return E_POINTER;
        *text = nullptr;
        if (!window) return E_FAIL;
        // Read without a message: the window's thread may be busy.
        wchar_t buffer[512] = {};
        ::InternalGetWindowText(window, buffer, 512);
        *text = ::SysAllocString(buffer);
        return *text ? result_ : E_OUTOFMEMORY;
    });
}

STDMETHODIMP CWinObjectStandIn::do_GetTextLocation(BSTR text, long*, long*, long*, long*, VARIANT_BOOL* found) {
    Log().Add(L"do_GetTextLocation(" + Text(text) + L")");
    if (found) *found = VARIANT_FALSE;
    return result_;
}

STDMETHODIMP CWinObjectStandIn::do_ClickOnText(BSTR text, BUTTON button) {
    Log().Add(L"do_ClickOnText(" + Text(text) + L"," + Numbers({button}) + L")");
    return result_;
}

// ---- recording ----

STDMETHODIMP CWinObjectStandIn::BeginKeyboardRecord() { return Hook(L"BeginKeyboardRecord"); }
STDMETHODIMP CWinObjectStandIn::EndKeyboardRecord() { return Hook(L"EndKeyboardRecord"); }
STDMETHODIMP CWinObjectStandIn::FlushKeyboardRecord() { return Hook(L"FlushKeyboardRecord"); }
STDMETHODIMP CWinObjectStandIn::ResetKeyboardRecord() { return Hook(L"ResetKeyboardRecord"); }

STDMETHODIMP CWinObjectStandIn::RecordKey(UINT message, WPARAM wParam, LPARAM lParam) {
    Log().Add(L"RecordKey(" + Numbers({static_cast<long>(message), static_cast<long>(wParam), static_cast<long>(lParam)}) +
             L")");
    return result_;
}

STDMETHODIMP CWinObjectStandIn::RecordDrag(long x, long y, long button) {
    Log().Add(L"RecordDrag(" + Numbers({x, y, button}) + L")");
    return result_;
}

STDMETHODIMP CWinObjectStandIn::RecordDrop(long x, long y, long button) {
    Log().Add(L"RecordDrop(" + Numbers({x, y, button}) + L")");
    return result_;
}

STDMETHODIMP CWinObjectStandIn::ReceiveData(FORMATETC* format, STGMEDIUM* medium, ULONG* status) {
    return kcom::Guard([&]() -> HRESULT {
        wchar_t name[128] = L"?";
        if (format) ::GetClipboardFormatNameW(format->cfFormat, name, 128);
        // Both record layouts keep the message at byte 12.
        const BYTE* record = medium ? static_cast<const BYTE*>(static_cast<void*>(medium->hGlobal)) : nullptr;
        const UINT message = record ? *reinterpret_cast<const UINT*>(record + 12) : 0;
        Log().Add(std::wstring(L"ReceiveData(") + name + L"," + std::to_wstring(message) + L")");
        if (!status) return E_POINTER;
        *status = 1;
        if (message == WM_LBUTTONUP && std::wstring(name) == L"FormaShelHalonotRegilim")
            RecordClick(*reinterpret_cast<const DWORD*>(record + 24));
        return result_;
    });
}

// As the host's window recorder: a button release on the window is the outer object's "Click"
// at the window's point, handed to the record manager like a test object's step.
void CWinObjectStandIn::RecordClick(DWORD lParam) {
    kcom::CComPtr<IDispatch> step;
    if (!RecordMgr() || !Outer() || FAILED(kcom::QueryTo(Outer(), step.Put()))) return;
    SAFEARRAYBOUND bound{2, 0};
    kcom::CComSafeArray arguments(::SafeArrayCreate(VT_VARIANT, 1, &bound));
    if (!arguments) return;
    LONG index = 0;
    for (long value : {static_cast<long>(static_cast<short>(LOWORD(lParam))),
                       static_cast<long>(static_cast<short>(HIWORD(lParam)))}) {
        kcom::CComVariant cell(value);
        ::SafeArrayPutElement(arguments, &index, &cell);
        ++index;
    }
    const wchar_t* method = L"Click";
    kcom::CGlobal block(::GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, 12));
    if (!block) return;
    DWORD* fields = static_cast<DWORD*>(static_cast<void*>(block.get()));
    fields[0] = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(step.get()));
    fields[1] = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(method));
    fields[2] = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(static_cast<SAFEARRAY*>(arguments)));
    FORMATETC format{static_cast<CLIPFORMAT>(::RegisterClipboardFormatW(L"FormatVovuvarShellTestObjects")), nullptr,
                     DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = block.get();
    ULONG answer = 0;
    RecordMgr()->ReceiveData(&format, &medium, &answer);
}

// ---- ITestObject, ITestObjectInfo ----

STDMETHODIMP CWinObjectStandIn::GetRTAttribs(SAFEARRAY** names, BSTR) {
    return kcom::Guard([&]() -> HRESULT {
        if (!names) return E_POINTER;
        *names = nullptr;
        if (attributes_.empty()) return E_NOTIMPL;
        SAFEARRAYBOUND bounds[2] = {{1, 0}, {static_cast<ULONG>(attributes_.size()), 0}};  // {column, row}
        kcom::CComSafeArray table(::SafeArrayCreate(VT_BSTR, 2, bounds));
        if (!table) return E_OUTOFMEMORY;
        for (LONG row = 0; row < static_cast<LONG>(attributes_.size()); ++row) {
            kcom::CComBSTR name(attributes_[static_cast<size_t>(row)].c_str());
            LONG index[2] = {0, row};
            kcom::ThrowIfFailed(::SafeArrayPutElement(table, index, static_cast<BSTR>(name)));
        }
        *names = table.Detach();
        return S_OK;
    });
}

STDMETHODIMP CWinObjectStandIn::FindObjectId(IUnknown** object, QueryIdInfo*) {
    Log().Add(L"FindObjectId()");
    if (ownId_.vt != VT_UNKNOWN || !ownId_.punkVal) return E_FAIL;
    if (object) {
        *object = ownId_.punkVal;
        (*object)->AddRef();
    }
    return S_OK;
}

STDMETHODIMP CWinObjectStandIn::get_Prop(BSTR name, long*, long*, long*, VARIANT* value) {
    Log().Add(L"get_Prop(" + Text(name) + L")");
    if (!value) return E_POINTER;
    ::VariantInit(value);
    if (!IsObjectId(name) || ownId_.vt == VT_EMPTY) return E_FAIL;
    return ownId_.CopyTo(value);
}

STDMETHODIMP CWinObjectStandIn::get_PropExpr(BSTR name, long* flags, long* type, long* compareType, VARIANT* value) {
    return get_Prop(name, flags, type, compareType, value);
}

STDMETHODIMP CWinObjectStandIn::put_PropExpr(BSTR name, long*, long*, long*, VARIANT value) {
    Log().Add(L"put_PropExpr(" + Text(name) + L"," + VariantText(value) + L")");
    if (!IsObjectId(name)) return E_FAIL;
    ownId_ = value;
    return S_OK;
}

STDMETHODIMP CWinObjectStandIn::put_InternalPropExpr(BSTR name, long* flags, long* type, long* compareType,
                                                     VARIANT value) {
    if (!IsObjectId(name)) return E_INVALIDARG;
    return put_PropExpr(name, flags, type, compareType, value);
}

// ---- IReplaySkeleton ----

STDMETHODIMP CWinObjectStandIn::ReplayFindObject(QueryIdInfo*, IUnknown** object) {
    Log().Add(L"ReplayFindObject()");
    if (!object) return E_POINTER;
    *object = found_.get();
    if (found_) found_->AddRef();
    return findResult_;
}

STDMETHODIMP CWinObjectStandIn::SetRuntimeId(IUnknown* object) {
    Log().Add(std::wstring(L"SetRuntimeId(") + (object ? L"id" : L"(null)") + L")");
    ownId_.Clear();
    if (object) {
        ownId_.vt = VT_UNKNOWN;
        ownId_.punkVal = object;
        object->AddRef();
    }
    return S_OK;
}

// ---- snapshots, custom steps ----

STDMETHODIMP CWinObjectStandIn::Snapshot(BSTR folder, VARIANT*, long kind, BSTR* name, byte, long, IDispatch*) {
    return kcom::Guard([&]() -> HRESULT {
        std::wstring cache = L"?";
        kcom::CComPtr<IAcxAgntUtil2> agent;
        long enabled = 0;
        if (SUCCEEDED(::CoCreateInstance(CLSID_AcxAgntUtil, nullptr, CLSCTX_INPROC_SERVER, IID_IAcxAgntUtil2,
                                         reinterpret_cast<void**>(agent.Put()))) &&
            SUCCEEDED(agent->IsCacheEnabled(&enabled)))
            cache = std::to_wstring(enabled);
        Log().Add(L"Snapshot(" + Text(folder) + L"," + std::to_wstring(kind) + L",cache=" + cache + L")");
        if (name) *name = ::SysAllocString(L"winobject.png");
        return result_;
    });
}

STDMETHODIMP CWinObjectStandIn::GetCheckpointDialogClsid(BSTR type, CLSID* clsid) {
    Log().Add(L"GetCheckpointDialogClsid(" + Text(type) + L")");
    if (!clsid) return E_POINTER;
    *clsid = CLSID_NULL;
    return result_;
}

STDMETHODIMP CWinObjectStandIn::GetSupportedCheckpointTypes(BSTR type, BOOL* supported) {
    Log().Add(L"GetSupportedCheckpointTypes(" + Text(type) + L")");
    if (!supported) return E_POINTER;
    *supported = FALSE;
    return result_;
}

// ---- chain ----

STDMETHODIMP CWinObjectStandIn::GetNext(IUnknown** next) {
    Log().Add(L"GetNext()");
    if (!next) return E_POINTER;
    return next_.CopyTo(next);
}

}  // namespace standin
