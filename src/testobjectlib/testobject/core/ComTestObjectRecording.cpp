// Recorded steps handed to the host, and the error texts of the object.
#include <string>
#include <vector>
#include "com/ComError.h"
#include "com/Handles.h"
#include "errors/ErrorTexts.h"
#include "errors/TestObjectError.h"
#include "host/HostApplication.h"
#include "host/RackServices.h"
#include "host/ResourceStrings.h"
#include "host/TestObjectSettings.h"
#include "kestrune.h"
#include "testobject/clock/TestObjectClock.h"
#include "testobject/core/ComTestObject.h"
#include "testobject/core/TestObjectGuard.h"
#include "win32/WindowServices.h"

namespace {

constexpr DWORD kRecordStep = 0x1;
constexpr DWORD kMonitorStep = 0x2;
constexpr ULONG kStopRecording = 0x20;
constexpr UINT kRecordingRefusedId = 101;
constexpr wchar_t kScriptInfoFile[] = L"script infofile";
constexpr wchar_t kHighlightId[] = L"hightlight id";
constexpr wchar_t kSnapshotPathOption[] = L"ActionSSPath";

// The text of the `Marrin` string shown when recording is refused, read once.
const std::wstring& RecordingRefusedText() {
    static std::wstring text;
    if (text.empty()) {
        kcom::CComBSTR s;
        if (HMODULE marrin = LoadMarrinModule(); marrin && LoadResourceString(s.Put(), marrin, kRecordingRefusedId))
            text.assign(s.c_str(), s.Length());
    }
    return text;
}

std::wstring Text(BSTR b) { return b ? std::wstring(b, ::SysStringLen(b)) : std::wstring(); }

// The id as text; empty when it has none or cannot be converted.
std::wstring IdText(const VARIANT& id) {
    kcom::CComVariant text;
    if (id.vt == VT_EMPTY || FAILED(::VariantChangeType(text.Put(), const_cast<VARIANT*>(&id), 0, VT_BSTR)))
        return std::wstring();
    return Text(text.bstrVal);
}

// The snapshot file and highlight id that an object's snapshot helper gives for the action's
// active screen, into the folder named by the option "ActionSSPath".
HRESULT TakeActionSnapshot(ISnapshotHelper* helper, const VARIANT& folder, std::wstring& file, std::wstring& id) {
    kcom::CComBSTR name;
    kcom::CComVariant highlight;
    HRESULT hr = helper->Snapshot(folder.bstrVal, &highlight, 0, name.Put(), 0, 0, nullptr);
    if (FAILED(hr)) return hr;
    file = Text(name);
    id = IdText(highlight);
    return hr;
}

// The step's script information: ("script infofile", file) and ("hightlight id", id).
void FillScriptInfo(CKorPtrSafeArray& info, const std::wstring& file, const std::wstring& id) {
    info.Create(2, 2, VT_BSTR);
    const std::pair<const wchar_t*, const std::wstring*> rows[] = {{kScriptInfoFile, &file}, {kHighlightId, &id}};
    for (LONG row = 0; row < 2; ++row) {
        kcom::CComBSTR name(rows[row].first);
        kcom::CComBSTR value(rows[row].second->c_str(), static_cast<UINT>(rows[row].second->size()));
        BSTR cells[2] = {name, value};  // copied into the table
        kcom::ThrowIfFailed(info.PutElement(&cells[0], row, 0));
        kcom::ThrowIfFailed(info.PutElement(&cells[1], row, 1));
    }
}

// The current action of the host's active flow; null when any piece is missing.
kcom::CComPtr<IKorFlowAction> CurrentAction(IUnknown* flowObject) {
    kcom::CComPtr<IKorActiveFlow> flow;
    kcom::CComPtr<IUnknown> actionObject;
    kcom::CComPtr<IKorFlowAction> action;
    if (SUCCEEDED(kcom::QueryTo(flowObject, flow.Put())) && flow &&
        SUCCEEDED(flow->GetCurrentAction(actionObject.Put())) && actionObject)
        kcom::QueryTo(actionObject, action.Put());
    return action;
}

// The recording-state service's answer: 0 (go on) when it cannot be asked.
long RecordingState(long& flag1, long& flag2) {
    flag1 = flag2 = 0;
    kcom::CComPtr<IKorRecordingState> service;
    long state = 0;
    if (FAILED(service.CoCreateInstance(CLSID_KorRecordingState, nullptr, CLSCTX_INPROC_SERVER)) || !service ||
        FAILED(service->GetState(&state, &flag1, &flag2)))
        return 0;
    return state;
}

// The objects of the chain below the current one, by identity.
using ChainSeen = std::vector<kcom::CComPtr<IUnknown>>;

bool Chain(IDispatch* object, BSTR* path, bool notLast, ChainSeen& seen) {
    if (!object) return false;
    kcom::CComPtr<IUnknown> identity;
    object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(identity.Put()));
    for (const auto& below : seen)
        if (below == identity) return false;  // a parent chain that loops back ends here
    seen.push_back(identity);
    kcom::CComBSTR parentName(L"parent");
    kcom::CComVariant parent;
    if (SUCCEEDED(GetTestObjectProp(object, parentName, parent.Put(), nullptr, nullptr, nullptr)) &&
        parent.vt == VT_DISPATCH)
        Chain(parent.pdispVal, path, true, seen);

    kcom::CComBSTR logicalName;
    kcom::CComPtr<ITestObject> testObject;
    if (SUCCEEDED(kcom::QueryTo(object, testObject.Put())) && testObject) testObject->GetLogicalName(logicalName.Put());
    if (IsBlankString(logicalName)) return false;

    kcom::CComPtr<IObjectManagerClient> client;
    if (FAILED(kcom::QueryTo(object, client.Put())) || !client) return true;
    kcom::CComBSTR collection;
    client->get_CollectionName(collection.Put());
    std::wstring element;
    if (!IsBlankString(collection))
        element = Text(collection) + L"(\"" + Text(logicalName) + L"\")";
    else
        element = Text(logicalName);
    if (notLast) element += L'.';
    std::wstring whole = (*path ? Text(*path) : std::wstring()) + element;
    kcom::CComBSTR joined(whole.c_str(), static_cast<UINT>(whole.size()));
    ::SysFreeString(*path);
    *path = joined.Detach();
    return true;
}

}  // namespace

HRESULT CComTestObject::RegisterObject(const wchar_t* method, SAFEARRAY* arguments, long kind, DWORD flags) {
    return TestObjectGuard([&]() -> HRESULT {
        kcom::CComPtr<IObjectRack> rack = Rack();
        kcom::CComPtr<IUnknown> outer;
        ITestObject_GetOuterObject(outer.Put());
        kcom::CComQIPtr<IDispatch> stepObject(outer.get());
        HRESULT hr = S_OK;

        if ((flags & kMonitorStep) && IsOnMonitor()) {
            kcom::CComPtr<IKorExceptionMgr> monitor;
            if (SUCCEEDED(GetExceptionMgr(monitor.Put())) && monitor) {
                kcom::CComBSTR name(method);
                VARIANT args;  // lends the caller's array, owns nothing
                ::VariantInit(&args);
                if (arguments) {
                    args.vt = VT_ARRAY | VT_VARIANT;
                    args.parray = arguments;
                }
                hr = monitor->MonitorCall(name, stepObject, &args, 0);
            }
        }
        if (!(flags & kRecordStep) || !IsOnRecord()) return hr;

        if (m_recordMgr) {
            // The record points at the caller's data, valid only while the record manager reads it.
            kcom::CGlobal block(::GlobalAlloc(GPTR, 3 * sizeof(DWORD)));
            if (!block) return STG_E_MEDIUMFULL;
            {
                kcom::CGlobalLock<DWORD> record(block);
                if (!record.get()) return STG_E_MEDIUMFULL;
                record.get()[0] = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(stepObject.get()));
                record.get()[1] = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(method));
                record.get()[2] = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(arguments));
            }
            FORMATETC format = {static_cast<CLIPFORMAT>(m_stepRecordFormat), nullptr, DVASPECT_CONTENT, -1,
                                TYMED_HGLOBAL};
            STGMEDIUM medium = {};
            medium.tymed = TYMED_HGLOBAL;
            medium.hGlobal = block.get();
            ULONG answer = 0;
            hr = m_recordMgr->ReceiveData(&format, &medium, &answer);
            if (answer & kStopRecording) return S_FALSE;
        }

        kcom::CComPtr<IUnknown> objectManager;
        hr = GetObjectManager(objectManager.Put());
        if (FAILED(hr)) return hr;
        if (!objectManager) return E_FAIL;
        BOOL refused = FALSE;
        kcom::CComPtr<IKorRecordingRefusal> refusal;
        if (SUCCEEDED(objectManager.QueryInterface(refusal.Put())) && refusal) refusal->IsRecordingRefused(&refused);
        if (refused || IsRecordingBlocked()) {
            HWND host = GetHostWindowHandle();
            RaiseWindowToTop(host);
            HostMessageBox(host, RecordingRefusedText().c_str(), nullptr, MB_ICONEXCLAMATION);
            return S_FALSE;
        }

        kcom::CComPtr<IObjectManagerClient> client;
        ULONG cookie = 0;
        if (SUCCEEDED(InternalQueryInterface(IID_IObjectManagerClient, reinterpret_cast<void**>(client.Put()))) &&
            client)
            client->get_Cookie(&cookie);
        if (cookie == 0) {
            kcom::CComPtr<IKorObjectManager> manager;
            hr = objectManager.QueryInterface(manager.Put());
            if (FAILED(hr)) return hr;
            hr = manager->AddObject(stepObject);
            if (FAILED(hr)) return hr;
        }

        long flag1 = 0, flag2 = 0;
        const long state = RecordingState(flag1, flag2);
        if (state == 0 || (state == 1 && flag1 == 1 && flag2 == 0)) {
            CTestObjectClock& clock = CTestObjectClock::Current();
            const bool sameAction = (kind == 3 || kind == 4 || kind == 5) &&
                                    clock.TickCount() - m_lastStepTime <= CTestObjectClock::DoubleClickTime();
            if (!sameAction) m_pendingScriptInfo.Destroy();

            kcom::CComPtr<ISnapshotHelper> snapshots;
            if (!m_pendingScriptInfo.psa && stepObject && SUCCEEDED(stepObject.QueryInterface(snapshots.Put())) &&
                snapshots) {
                kcom::CComVariant folder;
                std::wstring file, id;
                if (SUCCEEDED(GetTestOption(L"", kSnapshotPathOption, folder.Put())) && folder.vt == VT_BSTR &&
                    SUCCEEDED(TakeActionSnapshot(snapshots, folder, file, id)))
                    FillScriptInfo(m_pendingScriptInfo, file, id);
            }
        }

        kcom::CComPtr<ITestObject> stepTestObject;
        if (stepObject && SUCCEEDED(stepObject.QueryInterface(stepTestObject.Put())) && stepTestObject)
            stepTestObject->RefreshObject();
        kcom::CComBSTR path(L"");
        BSTR chain = path.Detach();  // lent to the walk, which may replace it, and taken back
        const bool named = CollectParentChain(stepObject, &chain, false);
        path.Attach(chain);
        if (!named) {
            m_pendingScriptInfo.Destroy();
            return hr;
        }

        kcom::CComPtr<IKorScriptManager> scripts;
        if (FAILED(GetRackService(rack, RackName::ScriptManager, scripts.Put()))) return E_NOINTERFACE;
        m_lastStepTime = CTestObjectClock::Current().TickCount();
        kcom::CComBSTR name(method);
        hr = scripts->AddStep(path, name, arguments, kind, 2, -1, -1, m_pendingScriptInfo.psa);
        if (kind != 1 && kind != 5) m_pendingScriptInfo.Destroy();
        return hr;
    });
}

HRESULT CComTestObject::PrepareScriptInfo() {
    return TestObjectGuard([&]() -> HRESULT {
        if (IsRecordingBlocked()) return S_OK;
        kcom::CComPtr<IDispatch> own;
        kcom::CComPtr<ISnapshotHelper> snapshots;
        if (FAILED(GetOwnDispatch(own.Put())) || FAILED(own.QueryInterface(snapshots.Put())) || !snapshots)
            return E_NOINTERFACE;
        kcom::CComVariant folder;
        if (FAILED(GetTestOption(L"", kSnapshotPathOption, folder.Put())) || folder.vt != VT_BSTR) return E_FAIL;
        std::wstring file, id;
        HRESULT hr = TakeActionSnapshot(snapshots, folder, file, id);
        if (FAILED(hr)) return hr;

        kcom::CComPtr<IUnknown> flow;
        kcom::CComPtr<IKorFlowAction> action = SUCCEEDED(GetActiveFlow(flow.Put())) ? CurrentAction(flow) : nullptr;
        if (!action) return E_FAIL;
        long count = 0, index = -1;
        hr = action->GetStepCount(&count);
        if (FAILED(hr)) return hr;
        hr = action->GetCurrentStepIndex(&index);
        if (FAILED(hr)) return hr;
        if (index < 0 || index >= count) return S_OK;

        kcom::CComBSTR fileName(kScriptInfoFile), idName(kHighlightId);
        kcom::CComVariant old;
        action->GetStepValue(index, fileName, old.Put());
        kcom::CComVariant newFile(file.c_str()), newId(id.c_str());
        hr = action->PutStepValue(index, fileName, newFile);
        if (FAILED(hr)) return hr;
        hr = action->PutStepValue(index, idName, newId);
        if (FAILED(hr)) return hr;
        const std::wstring oldFile = old.vt == VT_BSTR ? Text(old.bstrVal) : std::wstring();
        if (oldFile.empty() || oldFile == file) return S_OK;

        kcom::CComPtr<IKorGenericHandler> handler;
        hr = GetRackService(Rack(), RackName::GenericHandler, handler.Put());
        if (FAILED(hr)) return hr;
        kcom::CComBSTR manager(L"Quorvel.SnapshotFilesMgrWrapper"), fileSystem(L"Quorvel.FileSystemObjMng");
        kcom::CComBSTR oldPath(oldFile.c_str()), newPath(file.c_str());
        return handler->ReplaceFile(manager, fileSystem, oldPath, newPath);
    });
}

bool CComTestObject::IsRecordingBlocked() {
    kcom::CComPtr<IUnknown> flow;
    kcom::CComPtr<IKorFlowAction> action = SUCCEEDED(GetActiveFlow(flow.Put())) ? CurrentAction(flow) : nullptr;
    if (!action) return true;
    const HRESULT answer = action->IsRecordingBlocked();
    return answer == S_OK || FAILED(answer);
}

bool CComTestObject::CollectParentChain(IDispatch* object, BSTR* path, bool notLast) {
    if (!path) return false;
    try {
        ChainSeen seen;
        return Chain(object, path, notLast, seen);
    } catch (...) {
        return false;
    }
}

HRESULT CComTestObject::GetErrorHelpPage(HRESULT hr, BSTR* description, BSTR* helpPage, DWORD* helpContext) {
    if (!description || !helpPage || !helpContext) return E_POINTER;
    *description = nullptr;
    *helpPage = nullptr;
    *helpContext = 0;
    return TestObjectGuard([&]() -> HRESULT {
        const ErrorHelpPage* entry = FindErrorHelpPage(hr);
        if (!entry) {
            kcom::CComBSTR collection, text;
            get_CollectionName(collection.Put());
            HRESULT result = FormatLibraryErrorText(hr, collection, text.Put());
            if (FAILED(result)) return result;
            *description = text.Detach();
            return S_OK;
        }

        kcom::CComBSTR reportName, className;
        UINT id = entry->descriptionId;
        kcom::CComPtr<IDispatch> ancestor;
        if (hr == KOR_E_OBJECT_NOT_FOUND && SUCCEEDED(FindUnidentifiedAncestor(ancestor.Put())) && ancestor) {
            id = kAncestorNotFoundDescriptionId;
            kcom::CComPtr<ITestObject5> named;
            if (SUCCEEDED(ancestor.QueryInterface(named.Put())) && named)
                named->GetLogicalNameForReport(reportName.Put());
            kcom::CComBSTR korclass(L"korclass");
            kcom::CComVariant value;
            if (SUCCEEDED(GetTestObjectProp(ancestor, korclass, value.Put(), nullptr, nullptr, nullptr)) &&
                value.vt == VT_BSTR)
                className = value.bstrVal;
        } else {
            ITestObject5_GetLogicalNameForReport(reportName.Put());
            GetKorClass(className.Put());
        }
        kcom::CComBSTR pattern;
        HMODULE marrin = LoadMarrinModule();
        if (marrin) LoadResourceString(pattern.Put(), marrin, id);
        const std::wstring text = hr == E_FAIL ? std::wstring(pattern.c_str(), pattern.Length())
                                               : FormatResourceText(pattern, {reportName, className});
        kcom::CComBSTR descriptionText(text.c_str(), static_cast<UINT>(text.size()));
        kcom::CComBSTR page(entry->page);
        *description = descriptionText.Detach();
        *helpPage = page.Detach();
        *helpContext = 1;
        return S_OK;
    });
}
