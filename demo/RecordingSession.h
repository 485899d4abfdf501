#pragma once
// The recording phase: a user's clicks through the system's own input queue on the controls of
// the application under test, recorded by the host's road (hook record, recorder, the package's
// factory and test objects, record manager); then each recorded object described, named and
// saved, and the recorded test written as script lines.
#include <windows.h>
#include <string>
#include <vector>
#include "KorTestHost.h"
#include "RecordedTest.h"

// One user action: a click or double click at a point of a window of the application ("ctl",
// or the container "main" of the windowless controls), in its client coordinates.
struct DemoAction {
    const wchar_t* window;
    POINT point;
    bool doubleClick;
    const wchar_t* what;  // for the messages: "KorTest.WlsButton"
};

// The actions of the demo: a click and a double click on each control.
const std::vector<DemoAction>& DemoActions();

// Where the description of the object of that name is saved.
std::wstring DescriptionFile(const std::wstring& folder, const std::wstring& name);

class CRecordingSession {
public:
    explicit CRecordingSession(CKorTestHost& host) : host_(host) {}
    ~CRecordingSession();
    CRecordingSession(const CRecordingSession&) = delete;
    CRecordingSession& operator=(const CRecordingSession&) = delete;

    // Starts recording; then each action, waiting (bounded) until its steps have come. The error
    // says what went wrong.
    HRESULT Start(std::wstring& error);
    HRESULT Perform(const DemoAction& action, std::wstring& error);
    // Describes each recorded object, names it after its control's caption (one object per
    // name) and saves its description (DescriptionFile); the names in order and the recorded
    // test's lines.
    HRESULT Finish(const std::wstring& folder, std::vector<std::wstring>& lines, std::vector<std::wstring>& objects,
                   std::wstring& error);
    size_t StepCount() const;

private:
    static HRESULT Describe(IDispatch* object, std::wstring& name);
    static HRESULT Save(IDispatch* object, const std::wstring& file);

    CKorTestHost& host_;
    POINT cursor_{};
    bool cursorMoved_ = false;
};
