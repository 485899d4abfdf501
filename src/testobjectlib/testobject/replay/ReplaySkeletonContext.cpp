#include "testobject/replay/ReplaySkeletonContext.h"
#include "errors/KorException.h"

namespace {

// The step whose attempts run on this thread. Steps nest when an operation runs another test
// object's step; each scope puts the outer one back.
thread_local CReplaySkeletonContext* t_parkingStep = nullptr;

}  // namespace

CReplaySkeletonContext::CReplaySkeletonContext(const IID* iid, DISPID dispid, const wchar_t* methodName,
                                               DISPPARAMS* params, DWORD startTick)
    : m_iid(iid), m_dispid(dispid), m_methodName(methodName), m_params(params), m_startTick(startTick) {}

CReplaySkeletonContext::~CReplaySkeletonContext() { delete m_parkedError; }

void CReplaySkeletonContext::Park(CKorException* error) noexcept {
    CReplaySkeletonContext* step = t_parkingStep;
    // The first error is the one that would have ended the step; a later one only follows from it.
    if (step && !step->m_parkedError)
        step->m_parkedError = error;
    else
        delete error;
}

void CReplaySkeletonContext::RaiseParked() {
    if (CKorException* error = m_parkedError) {
        m_parkedError = nullptr;
        // A foreign frame on the way (oleaut32's Invoke) may have taken the thread's error
        // information for its own answer.
        if (error->ErrorInfo()) error->ComError().Restore();
        throw error;
    }
}

CReplaySkeletonContext::CParkingScope::CParkingScope(CReplaySkeletonContext& step) noexcept
    : m_previous(t_parkingStep) {
    t_parkingStep = &step;
}

CReplaySkeletonContext::CParkingScope::~CParkingScope() { t_parkingStep = m_previous; }
