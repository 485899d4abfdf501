// Stand-in for Orlenty.dll: the host framework's entry functions, answering what a test set.
#include "OrlentyStandIn.h"
#include "../common/CallLog.h"

namespace {

enum Slot { kSettings, kInputChannel, kEventConnector, kKorQuery, kRecordMgr, kSlots };

struct State {
    standin::CallLog log;
    CRITICAL_SECTION cs;
    // Plain pointers on purpose: they are released by Reset while COM is up, never at unload.
    IUnknown* objects[kSlots] = {};
    State() { ::InitializeCriticalSection(&cs); }
    ~State() { ::DeleteCriticalSection(&cs); }
};

State& S() {
    static State* s = new State();  // outlives every static destructor of the process
    return *s;
}

void Set(Slot slot, IUnknown* object) {
    if (object) object->AddRef();
    ::EnterCriticalSection(&S().cs);
    IUnknown* old = S().objects[slot];
    S().objects[slot] = object;
    ::LeaveCriticalSection(&S().cs);
    if (old) old->Release();
}

void* Get(Slot slot, const wchar_t* name, REFIID iid) {
    try {
        S().log.Add(std::wstring(name) + L"()");
    } catch (...) {  // nothing leaves the module by exception
    }
    ::EnterCriticalSection(&S().cs);
    IUnknown* object = S().objects[slot];
    void* out = nullptr;
    if (object) object->QueryInterface(iid, &out);
    ::LeaveCriticalSection(&S().cs);
    return out;
}

}  // namespace

extern "C" {

IKorSettings* OztGetApplicationSettings() {
    return static_cast<IKorSettings*>(Get(kSettings, L"OztGetApplicationSettings", IID_IKorSettings));
}
IUnknown* OztGetInputChannel() {
    return static_cast<IUnknown*>(Get(kInputChannel, L"OztGetInputChannel", IID_IUnknown));
}
IUnknown* OztGetEventConnector() {
    return static_cast<IUnknown*>(Get(kEventConnector, L"OztGetEventConnector", IID_IUnknown));
}
IKorQuery* OztGetKorQuery() {
    return static_cast<IKorQuery*>(Get(kKorQuery, L"OztGetKorQuery", IID_IKorQuery));
}
IUnknown* OztGetRecordMgr() {
    return static_cast<IUnknown*>(Get(kRecordMgr, L"OztGetRecordMgr", IID_IUnknown));
}

void OrlentyStandIn_SetApplicationSettings(IUnknown* object) { Set(kSettings, object); }
void OrlentyStandIn_SetInputChannel(IUnknown* object) { Set(kInputChannel, object); }
void OrlentyStandIn_SetEventConnector(IUnknown* object) { Set(kEventConnector, object); }
void OrlentyStandIn_SetKorQuery(IUnknown* object) { Set(kKorQuery, object); }
void OrlentyStandIn_SetRecordMgr(IUnknown* object) { Set(kRecordMgr, object); }

int OrlentyStandIn_GetCallCount(const wchar_t* function) { return S().log.Count(function); }

void OrlentyStandIn_Reset() {
    for (int i = 0; i < kSlots; ++i) Set(static_cast<Slot>(i), nullptr);
    try {
        S().log.Clear();
    } catch (...) {
    }
}

}  // extern "C"
