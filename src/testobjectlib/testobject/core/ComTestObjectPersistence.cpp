#include "testobject/core/ComTestObject.h"

HRESULT CComTestObject::IsDirty() { return m_dirty ? S_OK : S_FALSE; }
HRESULT CComTestObject::Load(IStream*) { return E_NOTIMPL; }
HRESULT CComTestObject::Save(IStream*, BOOL) { return E_NOTIMPL; }
HRESULT CComTestObject::LoadFields(IStream*) { return E_NOTIMPL; }
HRESULT CComTestObject::SaveFields(IStream*) { return E_NOTIMPL; }
