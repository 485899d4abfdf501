#include "testobject/settings/Selectors.h"
#include <string>
#include "com/ComBSTR.h"
#include "com/ComError.h"
#include "com/ComPtr.h"
#include "com/ComVariant.h"
#include "host/RackServices.h"
#include "testobject/settings/HostObjects.h"

HRESULT CreateSelector(IObjectRack* rack, BSTR name, IUnknown** out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    return kcom::Guard([&] {
        kcom::CComPtr<IKorSettings> options;
        if (FAILED(GetRackService(rack, RackName::TestOptions, options.Put()))) return E_FAIL;
        std::wstring section = L"Selectors\\";
        if (name) section.append(name, ::SysStringLen(name));
        kcom::CComBSTR key(section.c_str()), valueName(L"ProgID");
        kcom::CComVariant progId;
        HRESULT hr = options->GetValue(key, valueName, progId.Put(), 0, 0);
        if (FAILED(hr)) return hr;
        if (progId.vt != VT_BSTR || !progId.bstrVal) return E_FAIL;
        // A selector that refused the rack is not handed out.
        return CreateHostObject(progId.bstrVal, __uuidof(IKorSelector), rack, out);
    });
}
