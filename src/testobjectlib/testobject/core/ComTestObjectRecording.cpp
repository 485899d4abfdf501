// Recorded steps handed to the host, and the error texts of the object.
#include "testobject/core/ComTestObject.h"

HRESULT CComTestObject::RegisterObject(const wchar_t*, SAFEARRAY*, long, DWORD) { return E_NOTIMPL; }
HRESULT CComTestObject::PrepareScriptInfo() { return E_NOTIMPL; }
bool CComTestObject::IsRecordingBlocked() { return true; }
bool CComTestObject::CollectParentChain(IDispatch*, BSTR*, bool) { return false; }
HRESULT CComTestObject::GetErrorHelpPage(HRESULT, BSTR*, BSTR*, DWORD*) { return E_NOTIMPL; }
