#include "testobject/identification/VisualRelations.h"
#include "com/ComBSTR.h"
#include "com/ComPtr.h"
#include "com/ComVariant.h"
#include "host/RackServices.h"

HRESULT FilterByVisualRelations(IDispatch* testObject, IObjectRack* rack, SAFEARRAY* candidates,
                                SAFEARRAY** filtered) noexcept {
    if (!filtered) return E_POINTER;
    *filtered = nullptr;
    if (!testObject || !rack) return E_FAIL;
    kcom::CComPtr<IUnknown> found;
    HRESULT hr;
    try {
        kcom::CComBSTR name(RackName::TORelationsMgr);
        hr = rack->GetObject(name, IID_IUnknown, found.Put());
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    if (FAILED(hr)) return hr;
    if (!found) return E_NOINTERFACE;
    kcom::CComPtr<IKorRelationsMgr> manager;
    if (FAILED(found.QueryInterface(manager.Put())) || !manager) return E_FAIL;
    return manager->FilterByRelations(testObject, 0, candidates, filtered);
}
