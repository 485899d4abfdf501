#pragma once
// The record of one running replay step. The dispatcher that runs a script method builds it on
// its stack and hands its address to BeginReplayStep; the inner test object reads the same record,
// so the fields up to the row table are a binary contract and keep their order.
#include <windows.h>
#include <oleauto.h>
#include "com/ComBSTR.h"
#include "com/ComPtr.h"
#include "host.h"
#include "kestrune.h"
#include "tables/KorSafeArray.h"

class CKorException;

class CReplaySkeletonContext {
public:
    // The method name is copied as given: the dispatcher has already cut a leading "do_".
    CReplaySkeletonContext(const IID* iid, DISPID dispid, const wchar_t* methodName, DISPPARAMS* params,
                           DWORD startTick);
    CReplaySkeletonContext(const CReplaySkeletonContext&) = delete;
    CReplaySkeletonContext& operator=(const CReplaySkeletonContext&) = delete;
    virtual ~CReplaySkeletonContext();

    const IID* m_iid;
    DISPID m_dispid;
    kcom::CComBSTR m_methodName;
    DISPPARAMS* m_params;  // not owned
    DWORD m_startTick;
    QueryIdInfo m_findContext{-1, -1};  // -1: the configured default
    DWORD m_deadline = 0;               // 0: none
    kcom::CComPtr<IReplaySkeleton> m_innerSkeleton;
    DWORD m_retry = 0;                  // set by an attempt to ask for another one
    DWORD m_attemptCount = 1;
    DWORD m_maxAttempts = 0;
    HRESULT m_lastResult = S_OK;
    CKorSafeArray m_rows;  // two columns, empty

    // ---- Ours, behind the contract ---------------------------------------------------------------
    // A replay error that was raised where it could not travel (under oleaut32's Invoke, or behind
    // a COM method of a test object) waits here until the step raises it again in its own frames.
    CKorException* m_parkedError = nullptr;  // owned

    // Keeps error for the step whose attempts run on this thread, when there is one and it holds
    // none yet; else deletes it. Never raises.
    static void Park(CKorException* error) noexcept;
    // Raises the parked error, when there is one; the caller's frames take it over.
    void RaiseParked();

    // Makes a step the one whose raised errors are parked, for the scope's life.
    class CParkingScope {
    public:
        explicit CParkingScope(CReplaySkeletonContext& step) noexcept;
        ~CParkingScope();
        CParkingScope(const CParkingScope&) = delete;
        CParkingScope& operator=(const CParkingScope&) = delete;

    private:
        CReplaySkeletonContext* m_previous;
    };
};
