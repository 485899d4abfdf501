// Everything the package registers at load, in one translation unit so that the order holds.
#include "environment/LoadTimeValues.h"
#include <cwchar>
#include "com/ComModule.h"
#include "description/PropertyFactory.h"

std::wstring AppendProcessIdSuffix(const wchar_t* base) {
    wchar_t suffix[16];
    std::swprintf(suffix, 16, L"_%d", static_cast<int>(::GetCurrentProcessId()));
    return std::wstring(base) + suffix;
}

namespace {
kcom::CComVariant MakeDisable() noexcept {
    kcom::CComVariant v;
    v.vt = VT_BSTR;
    v.bstrVal = ::SysAllocString(L"Disable");
    if (!v.bstrVal) {
        v.vt = VT_ERROR;
        v.scode = E_OUTOFMEMORY;
    }
    return v;
}
}  // namespace

volatile LONG g_useOldNameQuery = 0;

const std::wstring g_acxWindowPropName = AppendProcessIdSuffix(L"Quor_IsAcx_Win_Prop");
const ATOM g_acxWindowPropAtom = ::GlobalAddAtomW(g_acxWindowPropName.c_str());
const UINT g_cfRuntimeIdForVbLabel = ::RegisterClipboardFormatW(L"RuntimeIdForVbLabel");
const UINT g_cfShelXYPosition = ::RegisterClipboardFormatW(L"FormatShelXYPosition");
std::map<HWND, DWORD> RecordedWindowMap;
static kcom::CComModule& s_module = kcom::Module();
const UINT g_cfWindowlessAcxControl = ::RegisterClipboardFormatW(L"Windowless ACX Control");
const UINT g_cfWindowlessAcxRecord = ::RegisterClipboardFormatW(L"Windowless ACX Control");
const UINT g_cfShelHalonotRegilim = ::RegisterClipboardFormatW(L"FormaShelHalonotRegilim");
const UINT g_cfQueryIdActiveXTO = ::RegisterClipboardFormatW(L"FormatForQueryId_ActiveXTO");
const UINT g_cfQueryIdWindowlessActiveXTO = ::RegisterClipboardFormatW(L"FormatForQueryId_WindowlessActiveXTO");

const UINT g_doubleClickTime = ::GetDoubleClickTime();
const kcom::CComBSTR g_nameRuntimeAttributes(L"RuntimeAttributes");
const kcom::CComBSTR g_nameScriptInfoFile(L"script infofile");
const kcom::CComBSTR g_nameHighlightId(L"hightlight id");
const kcom::CComBSTR g_nameTOVersion(L"@@@T.O. Version@@@");
const kcom::CComBSTR g_nameUpdateModeFlags(L"UpdateModeFlags");
const kcom::CComBSTR g_nameUpdateModeFlagsPersist(L"UpdateModeFlagsPersist");
const kcom::CComBSTR g_snapshotUpdateModeFlags(L"UpdateModeFlags");
const kcom::CComBSTR g_snapshotUpdateModeFlagsPersist(L"UpdateModeFlagsPersist");
const kcom::CComBSTR g_nameStatus(L"Status");
const kcom::CComBSTR g_nameStepInfo(L"StepInfo");
const kcom::CComBSTR g_nameAction(L"Action");
// One factory per property class, before "Disable".
static const bool s_propertyFactories = (dynamic::RegisterPropertyFactories(), true);
const kcom::CComVariant g_varDisable = MakeDisable();

const UINT g_msgAcxThreadSwitch = ::RegisterWindowMessageW(L"Acx_Thread_Switch_Message");
const UINT g_msgAcxGetDirectPtr = ::RegisterWindowMessageW(L"Acx_Get_Direct_Ptr");
