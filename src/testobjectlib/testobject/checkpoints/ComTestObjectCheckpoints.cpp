// The test object's side of the host's checkpoints, output values and custom-step questions.
#include <cwchar>
#include "com/ComError.h"
#include "testobject/core/ComTestObject.h"
#include "testobject/settings/ClassSettingsReaders.h"

namespace {

bool IsOneOf(BSTR type, std::initializer_list<const wchar_t*> names) noexcept {
    if (!type) return false;
    for (const wchar_t* name : names)
        if (::SysStringLen(type) == std::wcslen(name) && _wcsicmp(type, name) == 0) return true;
    return false;
}

// Calls a method of a host object by name with this test object as its one argument.
HRESULT InvokeByName(IDispatch* target, const wchar_t* method, IDispatch* self, VARIANT* result) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(method)};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = target->GetIDsOfNames(IID_NULL, names, 1, LOCALE_SYSTEM_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    kcom::CComVariant argument(self);
    DISPPARAMS params{&argument, nullptr, 1, 0};
    return target->Invoke(id, IID_NULL, LOCALE_SYSTEM_DEFAULT, DISPATCH_METHOD, &params, result, nullptr, nullptr);
}

}  // namespace

void CComTestObject::PrepareScriptInfoForCheckpoint() {
    long flags = 0;
    if (SUCCEEDED(GetUpdateModeFlags(Rack(), &flags, false)) && (flags & 0x4)) PrepareScriptInfo();
}

HRESULT CComTestObject::DispTestObject_Check(VARIANT* Verify, VARIANT_BOOL* pVal) {
    if (!Verify) return E_POINTER;
    PrepareScriptInfoForCheckpoint();
    if (pVal) *pVal = VARIANT_FALSE;
    if (Verify->vt != VT_DISPATCH || !Verify->pdispVal) return E_INVALIDARG;
    kcom::CComPtr<IDispatch> own;
    if (FAILED(GetOwnDispatch(own.Put()))) return E_NOINTERFACE;
    kcom::CComPtr<DispTestObject> checkpoint;
    if (SUCCEEDED(kcom::QueryTo(Verify->pdispVal, checkpoint.Put())) && checkpoint) {
        kcom::CComVariant self(own.get());
        const HRESULT hr = checkpoint->Check(&self, pVal);
        if (FAILED(hr)) RaiseReplayError(hr, 3);
        return hr;
    }
    kcom::CComVariant answer;
    const HRESULT hr = InvokeByName(Verify->pdispVal, L"Check", own, answer.Put());
    if (FAILED(hr)) RaiseReplayError(hr, 3);
    if (pVal) {
        if (answer.vt != VT_I1) RaiseReplayError(DISP_E_BADVARTYPE, 3);
        *pVal = answer.cVal;
    }
    return hr;
}

HRESULT CComTestObject::DispTestObject_Output(VARIANT* Verify) {
    if (!Verify) return E_POINTER;
    PrepareScriptInfoForCheckpoint();
    if (Verify->vt != VT_DISPATCH || !Verify->pdispVal) return E_INVALIDARG;
    HRESULT hr = ITestObject_FindObjectId(nullptr, nullptr);
    if (FAILED(hr)) RaiseReplayError(hr, 3);
    kcom::CComPtr<IDispatch> own;
    if (FAILED(GetOwnDispatch(own.Put()))) return E_NOINTERFACE;
    return InvokeByName(Verify->pdispVal, L"Output", own, nullptr);
}

HRESULT CComTestObject::GetCheckpointDialogClsid(BSTR type, CLSID* clsid) {
    if (!clsid) return E_POINTER;
    if (IsOneOf(type, {L"Checkpoint", L"Output Value"})) return ::CLSIDFromProgID(L"Quorvel.StandardVerDlg", clsid);
    if (IsOneOf(type, {L"Bitmap Checkpoint"})) {
        if (FAILED(::CLSIDFromProgID(L"Quorvel.BitmapVerUIDlg", clsid))) *clsid = GUID_NULL;
        return S_OK;
    }
    return E_NOTIMPL;
}

HRESULT CComTestObject::GetSupportedCheckpointTypes(BSTR type, BOOL* supported) {
    if (!supported) return E_POINTER;
    *supported = IsOneOf(type, {L"Bitmap Checkpoint", L"Checkpoint", L"Output Value"});
    return S_OK;
}

HRESULT CComTestObject::GetCustomStepClsid(BSTR, GUID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = GUID_NULL;
    return S_OK;
}

HRESULT CComTestObject::GetCustomStepClsid2(BSTR type, GUID* clsid) { return GetCustomStepClsid(type, clsid); }

HRESULT CComTestObject::GetCheckpointStepTypes(BSTR type, BOOL* supported) {
    if (!supported) return E_POINTER;
    *supported = IsOneOf(type, {L"Checkpoint", L"Text Checkpoint", L"Bitmap Checkpoint"});
    return S_OK;
}

HRESULT CComTestObject::GetCheckpointTimeout(BSTR type, DWORD* timeout) {
    if (!timeout) return E_POINTER;
    BOOL stepType = FALSE;
    if (FAILED(GetCheckpointStepTypes(type, &stepType)) || !stepType) return E_FAIL;
    *timeout = 0;
    kcom::CComPtr<IDispatch> own;
    kcom::CComPtr<IObjectRack> rack = Rack();
    if (FAILED(GetOwnDispatch(own.Put())) || !rack) return S_FALSE;
    for (const wchar_t* name : {static_cast<const wchar_t*>(type), L"DefaultTimeout"}) {
        kcom::CComVariant value;
        if (SUCCEEDED(ReadClassSetting(own, rack, L"CheckpointTimeout", name, value.Put())) && value.vt == VT_I4) {
            *timeout = static_cast<DWORD>(value.lVal);
            return S_OK;
        }
    }
    return S_FALSE;
}

HRESULT CComTestObject::GetCustomStepFlags(BSTR, DWORD* flags) {
    if (!flags) return E_POINTER;
    *flags = 0;
    return S_OK;
}

HRESULT CComTestObject::EditCustomStep(BSTR, IDispatch*, VARIANT*) { return E_NOTIMPL; }

HRESULT CComTestObject::get_UpdateDescriptionFlag(short* flag) {
    if (!flag) return E_INVALIDARG;
    *flag = m_updateDescriptionFlag;
    return S_OK;
}

HRESULT CComTestObject::put_UpdateDescriptionFlag(short flag) {
    m_updateDescriptionFlag = flag;
    return S_OK;
}
