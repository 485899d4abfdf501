#pragma once
// Reaching the host's services through the rack, by name and interface, at each use.
#include <windows.h>
#include "host.h"

// Names under which the host keeps its services in the rack.
namespace RackName {
inline constexpr wchar_t TestOptions[] = L"TestOptions";
inline constexpr wchar_t TestOutputChannel[] = L"TestOutputChannel";
inline constexpr wchar_t StdPackageQueryEngine[] = L"StdPackageQueryEngine";
inline constexpr wchar_t RecordMgr[] = L"RecordMgr";
inline constexpr wchar_t DeviceReplayEngine[] = L"DeviceReplayEngine";
inline constexpr wchar_t TestReport[] = L"TestReport";
inline constexpr wchar_t TORelationsMgr[] = L"TORelationsMgr";
inline constexpr wchar_t ExeptionMgr[] = L"ExeptionMgr";
inline constexpr wchar_t KorPkgSrvMgr[] = L"KorPkgSrvMgr";
inline constexpr wchar_t ObjectManager[] = L"ObjectManager";
inline constexpr wchar_t ScriptManager[] = L"ScriptManager";
inline constexpr wchar_t PropertyPatternMgr[] = L"PropertyPatternMgr";
inline constexpr wchar_t KorParamTypeMgr[] = L"KorParamTypeMgr";
inline constexpr wchar_t GenericHandler[] = L"GenericHandler";
inline constexpr wchar_t ActiveFlow[] = L"ActiveFlow";
inline constexpr wchar_t KestruneMgr[] = L"KestruneMgr";
inline constexpr wchar_t AcxFlowEventsObject[] = L"AcxFlowEventsObject";
}  // namespace RackName

// The rack's own answer: a failure of the rack is returned as it is; a success without an object
// gives E_FAIL. E_POINTER for a null out; E_FAIL without a rack.
HRESULT GetRackObject(IObjectRack* rack, const wchar_t* name, REFIID iid, void** out) noexcept;

// A service that is missing for any reason gives E_FAIL.
HRESULT GetRackService(IObjectRack* rack, const wchar_t* name, REFIID iid, void** out) noexcept;

template <class I>
HRESULT GetRackObject(IObjectRack* rack, const wchar_t* name, I** out) noexcept {
    return GetRackObject(rack, name, __uuidof(I), reinterpret_cast<void**>(out));
}

template <class I>
HRESULT GetRackService(IObjectRack* rack, const wchar_t* name, I** out) noexcept {
    return GetRackService(rack, name, __uuidof(I), reinterpret_cast<void**>(out));
}

// The host's object manager as the rack answers it: a failure, or a success with a null object,
// is handed back as it is. E_POINTER for a null out; E_FAIL without a rack.
HRESULT GetObjectManager(IObjectRack* rack, IUnknown** out) noexcept;
