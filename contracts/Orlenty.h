#pragma once
// Entry functions of the host framework, exported by Orlenty.dll. Each answers one reference
// that the caller releases, or null.
#include <windows.h>
#include "host.h"

#ifdef ORLENTY_BUILD
#define ORLENTY_API __declspec(dllexport)
#else
#define ORLENTY_API __declspec(dllimport)
#endif

extern "C" {
ORLENTY_API IKorSettings* OztGetApplicationSettings();
ORLENTY_API IUnknown* OztGetInputChannel();
ORLENTY_API IUnknown* OztGetEventConnector();
ORLENTY_API IKorQuery* OztGetKorQuery();
ORLENTY_API IUnknown* OztGetRecordMgr();
}
