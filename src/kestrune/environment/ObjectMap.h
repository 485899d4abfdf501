#pragma once
// The package's COM classes. Each class supplies its creator in its own source file:
//   extern const kcom::CreatorFn AcxFactoryCreator = &kcom::CComCreator<CAcxFactory>::CreateInstance;
// (the agent utility: kcom::CComCachedCreator, its factory is a singleton).
#include <windows.h>
#include "com/ComModule.h"

extern const kcom::CreatorFn AcxFactoryCreator;
extern const kcom::CreatorFn AcxQueryCreator;
extern const kcom::CreatorFn KorActiveXCreator;
extern const kcom::CreatorFn KestruneMgrCreator;
extern const kcom::CreatorFn AcxUtilObjCreator;
extern const kcom::CreatorFn AcxFlowEventsCreator;
extern const kcom::CreatorFn AcxAgntUtilCreator;
extern const kcom::CreatorFn KorActiveXWlsBackwardCreator;

// The object map in its fixed order; registration and look-up walk it in this order.
kcom::ObjectMapEntry* GetObjectMap() noexcept;
size_t GetObjectMapCount() noexcept;

// Registers (reg TRUE) or unregisters one class, keeping the "RefCount" of its registrations
// under its InprocServer32 key: the keys go only with the last registration.
HRESULT UpdateRegistryWithRefCount(UINT scriptId, BOOL reg, REFCLSID clsid) noexcept;

// The server's own registration: every class, then the type library with its own count.
HRESULT RegisterServer() noexcept;
HRESULT UnregisterServer() noexcept;
