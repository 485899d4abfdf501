#include "RecordingSession.h"
#include <algorithm>
#include <filesystem>
#include <map>
#include <shlwapi.h>
#include "com/ComBSTR.h"
#include "com/ComError.h"
#include "com/ComVariant.h"
#include "testobject/clock/TestObjectClock.h"
#include "win32/MessageWait.h"

using kcom::CComBSTR;
using kcom::CComPtr;
using kcom::CComVariant;

namespace {

std::wstring Hex(HRESULT hr) {
    wchar_t text[16];
    swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

// The user's hand: the mouse moves to the point, then the left button goes down and up there
// (twice for a double click). Every event carries the point: a pointer warp of the display can
// land after input queued before it.
HRESULT UserClick(POINT screen, bool doubleClick) {
    const int width = ::GetSystemMetrics(SM_CXSCREEN), height = ::GetSystemMetrics(SM_CYSCREEN);
    if (width < 2 || height < 2) return E_FAIL;
    INPUT input[5] = {};
    const UINT count = doubleClick ? 5 : 3;
    for (UINT i = 0; i < count; ++i) {
        input[i].type = INPUT_MOUSE;
        input[i].mi.dx = ::MulDiv(screen.x, 65535, width - 1);
        input[i].mi.dy = ::MulDiv(screen.y, 65535, height - 1);
        input[i].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE |
                              (i == 0 ? 0 : (i % 2) ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP);
    }
    if (::SendInput(count, input, sizeof(INPUT)) != count) return HRESULT_FROM_WIN32(::GetLastError());
    return S_OK;
}

}  // namespace

CRecordingSession::~CRecordingSession() {
    if (cursorMoved_) ::SetCursorPos(cursor_.x, cursor_.y);
}

const std::vector<DemoAction>& DemoActions() {
    // Points away from the windowed control's child windows and inside each windowless
    // control's rectangle; a click and the double click on one control lie apart, so that the
    // system does not join them.
    static const std::vector<DemoAction> actions = {
        {L"ctl", {35, 18}, false, L"KorTest.WndCtl (windowed)"},
        {L"ctl", {55, 22}, true, L"KorTest.WndCtl (windowed)"},
        {L"main", {40, 95}, false, L"KorTest.WlsButton (windowless)"},
        {L"main", {90, 92}, true, L"KorTest.WlsButton (windowless)"},
        {L"main", {170, 90}, false, L"KorTest.WlsLabel (windowless)"},
        {L"main", {220, 100}, true, L"KorTest.WlsLabel (windowless)"},
        {L"main", {290, 95}, false, L"Forms.CommandButton.1 (windowless)"},
        {L"main", {330, 90}, true, L"Forms.CommandButton.1 (windowless)"},
        {L"main", {60, 155}, false, L"KorTest.WlsLocal (windowless, caption not ASCII)"},
    };
    return actions;
}

HRESULT CRecordingSession::Start(std::wstring& error) {
    // The cursor goes back where it was at the end: other programs' windows appear under it.
    cursorMoved_ = ::GetCursorPos(&cursor_) != FALSE;
    const HRESULT hr = host_.Record();
    if (FAILED(hr)) error = L"the host's recorder could not start (" + Hex(hr) + L")";
    return hr;
}

size_t CRecordingSession::StepCount() const { return host_.Bed()->recordMgr->Steps().size(); }

HRESULT CRecordingSession::Perform(const DemoAction& action, std::wstring& error) {
    const HWND window = host_.Bed()->aut.Window(action.window);
    POINT screen = action.point;
    if (!window || !::ClientToScreen(window, &screen)) {
        error = L"no window " + std::wstring(action.window) + L" in the application";
        return E_FAIL;
    }
    // The window has to be where the click lands before the click is sent.
    for (int round = 0; round < 100 && ::WindowFromPoint(screen) != window; ++round) PumpMessagesFor(20);
    if (::WindowFromPoint(screen) != window) {
        error = std::wstring(L"the window of ") + action.what + L" is not under its point on the screen";
        return E_FAIL;
    }
    const size_t before = StepCount(), expected = before + (action.doubleClick ? 2 : 1);
    HRESULT hr = UserClick(screen, action.doubleClick);
    if (FAILED(hr)) {
        error = L"SendInput failed (" + Hex(hr) + L")";
        return hr;
    }
    for (int round = 0; round < 300 && StepCount() < expected; ++round) PumpMessagesFor(10);
    if (StepCount() != expected) {
        error = std::wstring(action.doubleClick ? L"double click" : L"click") + L" on " + action.what + L": " +
                std::to_wstring(StepCount() - before) + L" steps recorded, " + std::to_wstring(expected - before) +
                L" expected";
        return E_FAIL;
    }
    return S_OK;
}

HRESULT CRecordingSession::Finish(const std::wstring& folder, std::vector<std::wstring>& lines,
                                  std::vector<std::wstring>& objects, std::wstring& error) {
    lines.clear();
    objects.clear();
    std::map<IDispatch*, std::wstring> names;
    std::vector<RecordedAction> actions;
    for (const standin::RecordedStep& step : host_.Bed()->recordMgr->Steps()) {
        auto named = names.find(step.object.get());
        if (named == names.end()) {
            std::wstring name;
            HRESULT hr = Describe(step.object, name);
            if (FAILED(hr)) {
                error = L"describing a recorded object failed (" + Hex(hr) + L")";
                return hr;
            }
            // The host keeps one object per name: a later object of the same control is the same.
            if (std::find(objects.begin(), objects.end(), name) == objects.end()) {
                if (FAILED(hr = Save(step.object, DescriptionFile(folder, name)))) {
                    error = L"saving the description of " + name + L" failed (" + Hex(hr) + L")";
                    return hr;
                }
                objects.push_back(name);
            }
            named = names.emplace(step.object.get(), name).first;
        }
        actions.push_back({named->second, step.method, step.arguments, step.tick});
    }
    std::wstring failed;
    if (!ScriptLines(actions, CTestObjectClock::DoubleClickTime(), lines, failed)) {
        error = L"a recorded step cannot be written as a script line: " + failed;
        return E_FAIL;
    }
    return S_OK;
}

std::wstring DescriptionFile(const std::wstring& folder, const std::wstring& name) {
    return (std::filesystem::path(folder) / (name + L".desc")).wstring();
}

HRESULT CRecordingSession::Describe(IDispatch* object, std::wstring& name) {
    // As the host does: the object describes itself, and is named after its control's caption.
    CComPtr<ITestObject> testObject;
    CComPtr<DispTestObject> script;
    CComVariant caption;
    HRESULT hr = kcom::QueryTo(object, testObject.Put());
    if (SUCCEEDED(hr)) hr = testObject->BuildDescription();
    if (SUCCEEDED(hr)) hr = kcom::QueryTo(object, script.Put());
    if (SUCCEEDED(hr)) hr = script->GetROProperty(CComBSTR(L"Caption"), nullptr, caption.Put());
    if (SUCCEEDED(hr)) hr = caption.ChangeType(VT_BSTR);
    if (SUCCEEDED(hr) && (!caption.bstrVal || !*caption.bstrVal)) hr = E_FAIL;
    if (FAILED(hr)) return hr;
    name = caption.bstrVal;
    return testObject->SetLogicalName(caption.bstrVal);
}

HRESULT CRecordingSession::Save(IDispatch* object, const std::wstring& file) {
    CComPtr<IStream> stream;
    CComPtr<IPersistStreamInit> persist;
    HRESULT hr = ::SHCreateStreamOnFileEx(file.c_str(), STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE,
                                          FILE_ATTRIBUTE_NORMAL, TRUE, nullptr, stream.Put());
    if (SUCCEEDED(hr)) hr = kcom::QueryTo(object, persist.Put());
    if (SUCCEEDED(hr)) hr = persist->Save(stream, TRUE);
    return hr;
}
