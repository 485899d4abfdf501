#pragma once
// A concrete test object for the core's tests: the rack, class name and format a concrete class
// supplies, a programmable identification, and a small COM class that exposes it as an inner or
// outer object through ITestObject, ITestObjectInfo and IPersistStreamInit.
#include <windows.h>
#include <string>
#include <vector>
#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "com/ComSafeArray.h"
#include "HostStandIn.h"
#include "testobject/core/ComTestObject.h"

class CTestObject : public CComTestObject {
public:
    using CComTestObject::m_algorithm;
    using CComTestObject::m_algorithmAbsent;
    using CComTestObject::m_classOptions;
    using CComTestObject::m_dirty;
    using CComTestObject::m_eventStatusMask;
    using CComTestObject::m_foundDirectly;
    using CComTestObject::m_inner;
    using CComTestObject::m_innerRuntimeAttributes;
    using CComTestObject::m_logicalName;
    using CComTestObject::m_oldVersion;
    using CComTestObject::m_properties;
    using CComTestObject::m_reportEventMask;
    using CComTestObject::m_stepRecordFormat;
    using CComTestObject::m_tagQueryNameOverride;
    using CComTestObject::m_updateDescriptionFlag;
    using CComTestObject::m_useAlgorithm;
    using CComTestObject::m_valueCache;
    using CComTestObject::m_version;

    kcom::CComPtr<IObjectRack> rack;
    IUnknown* self = nullptr;  // the COM object this one lives in, when there is one
    // Identification: the object handed out and the answer.
    kcom::CComPtr<IUnknown> found;
    HRESULT findResult = S_OK;
    int finds = 0;
    const RuntimeAttributeEntry* attributeTable = nullptr;
    const ReplayEngineEntry* engineTable = nullptr;
    // Old-version hooks: the versions they saw, and what they answer.
    std::vector<DWORD> before, after;
    HRESULT hookResult = S_OK;
    BOOL hookContinue = TRUE;
    bool keepLoadedVersion = false;
    HRESULT saveFailure = S_OK;  // what Save answers through the COM object  // what a concrete class does: the loaded version becomes its own

    HRESULT STDMETHODCALLTYPE GetRack(IObjectRack** out) override { return rack.CopyTo(out); }
    UINT STDMETHODCALLTYPE GetClipboardFormat() override {
        return ::RegisterClipboardFormatW(L"Kestrune test object format");
    }
    HRESULT STDMETHODCALLTYPE GetTestObjectClass(BSTR* name) override {
        if (!name) return E_POINTER;
        *name = ::SysAllocString(L"TestClass");
        return *name ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE InternalQueryInterface(REFIID iid, void** out) override {
        if (!self) return CComTestObject::InternalQueryInterface(iid, out);
        return self->QueryInterface(iid, out);
    }
    HRESULT STDMETHODCALLTYPE ITestObject_FindObjectId(IUnknown** object, QueryIdInfo*) override {
        ++finds;
        if (object) found.CopyTo(object);
        return findResult;
    }
    const RuntimeAttributeEntry* STDMETHODCALLTYPE GetRuntimeAttributeTable() override { return attributeTable; }
    const ReplayEngineEntry* STDMETHODCALLTYPE GetReplayEngineTable() override { return engineTable; }
    HRESULT STDMETHODCALLTYPE BeforeLoadOldVersion(DWORD version, IStream*, BOOL* proceed) override {
        before.push_back(version);
        if (keepLoadedVersion) m_version = version;
        *proceed = hookContinue;
        return hookResult;
    }
    HRESULT STDMETHODCALLTYPE AfterLoadOldVersion(DWORD version, IStream*, BOOL* proceed) override {
        after.push_back(version);
        *proceed = TRUE;
        return S_OK;
    }

    // Sets a property, adding it when missing.
    void Put(const wchar_t* name, const VARIANT& value, long flags = 0x58) {
        kcom::CComBSTR n(name);
        ITestObjectInfo_put_PropExpr(n, &flags, nullptr, nullptr, value);
    }
    kcom::CComVariant Get(const wchar_t* name) {
        kcom::CComBSTR n(name);
        kcom::CComVariant v;
        ITestObjectInfo_get_InternalPropExpr(n, nullptr, nullptr, nullptr, v.Put());
        return v;
    }
};

// The test object as a COM object: every method forwards to the operation of the same name.
class CTestCom : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                 public ITestObject,
                 public ITestObjectInfo3,
                 public IPersistStreamInit,
                 public CTestObject {
public:
    BEGIN_COM_MAP(CTestCom)
        COM_INTERFACE_ENTRY(ITestObject)
        COM_INTERFACE_ENTRY2(ITestObjectInfo, ITestObjectInfo3)
        COM_INTERFACE_ENTRY(ITestObjectInfo2)
        COM_INTERFACE_ENTRY(ITestObjectInfo3)
        COM_INTERFACE_ENTRY(IPersistStreamInit)
    END_COM_MAP()

    // When set, a copy of it answers GetProps and GetRTAttribs in place of the object's own.
    kcom::CComSafeArray answer;

    HRESULT FinalConstruct() noexcept {
        self = static_cast<ITestObject*>(this);
        return ConstructionResult();
    }

    // ITestObject
    STDMETHOD(IsEqual)(ITestObject* o) override { return ITestObject_IsEqual(o); }
    STDMETHOD(Hash)(TestObjectHash* h) override { return ITestObject_Hash(h); }
    STDMETHOD(BuildDescription)() override { return ITestObject_BuildDescription(); }
    STDMETHOD(FindObjectId)(IUnknown** o, QueryIdInfo* c) override { return ITestObject_FindObjectId(o, c); }
    STDMETHOD(SetOuterObject)(IUnknown* o) override { return ITestObject_SetOuterObject(o); }
    STDMETHOD(GetOuterObject)(IUnknown** o) override { return ITestObject_GetOuterObject(o); }
    STDMETHOD(SetLogicalName)(BSTR n) override { return ITestObject_SetLogicalName(n); }
    STDMETHOD(GetLogicalName)(BSTR* n) override { return ITestObject_GetLogicalName(n); }
    STDMETHOD(GetTagName)(BSTR* n) override { return ITestObject_GetTagName(n); }
    STDMETHOD(SetRecordMgr)(IKorDataTarget* m) override { return ITestObject_SetRecordMgr(m); }
    STDMETHOD(GetInternalTagName)(BSTR* n) override { return ITestObject_GetInternalTagName(n); }
    STDMETHOD(RefreshObject)() override { return CTestObject::RefreshObject(); }

    // ITestObjectInfo
    STDMETHOD(GetProps)(SAFEARRAY** n, ULONG f) override {
        return answer ? ::SafeArrayCopy(answer, n) : ITestObjectInfo_GetProps(n, f);
    }
    STDMETHOD(FillPropsValues)(SAFEARRAY** t) override { return ITestObjectInfo_FillPropsValues(t); }
    STDMETHOD(FillPropsExpr)(SAFEARRAY** t) override { return ITestObjectInfo_FillPropsExpr(t); }
    STDMETHOD(FillRTAttribsValues)(SAFEARRAY** t) override { return ITestObjectInfo_FillRTAttribsValues(t); }
    STDMETHOD(GetRTAttribs)(SAFEARRAY** n, BSTR t) override {
        return answer ? ::SafeArrayCopy(answer, n) : ITestObjectInfo_GetRTAttribs(n, t);
    }
    STDMETHOD(SetPropFlags)(BSTR n, ULONG v) override { return ITestObjectInfo_SetPropFlags(n, v); }
    STDMETHOD(GetPropFlags)(BSTR n, ULONG* v) override { return ITestObjectInfo_GetPropFlags(n, v); }
    STDMETHOD(SetPropCompareType)(BSTR n, ULONG v) override { return ITestObjectInfo_SetPropCompareType(n, v); }
    STDMETHOD(GetPropCompareType)(BSTR n, ULONG* v) override { return ITestObjectInfo_GetPropCompareType(n, v); }
    STDMETHOD(SetPropType)(BSTR n, USHORT v) override { return ITestObjectInfo_SetPropType(n, v); }
    STDMETHOD(GetPropType)(BSTR n, USHORT* v) override { return ITestObjectInfo_GetPropType(n, v); }
    STDMETHOD(InternalSetPropFlags)(BSTR n, ULONG v) override { return ITestObjectInfo_InternalSetPropFlags(n, v); }
    STDMETHOD(InternalGetPropFlags)(BSTR n, ULONG* v) override { return ITestObjectInfo_InternalGetPropFlags(n, v); }
    STDMETHOD(InternalSetPropCompareType)(BSTR n, ULONG v) override {
        return ITestObjectInfo_InternalSetPropCompareType(n, v);
    }
    STDMETHOD(InternalGetPropCompareType)(BSTR n, ULONG* v) override {
        return ITestObjectInfo_InternalGetPropCompareType(n, v);
    }
    STDMETHOD(InternalSetPropType)(BSTR n, USHORT v) override { return ITestObjectInfo_InternalSetPropType(n, v); }
    STDMETHOD(InternalGetPropType)(BSTR n, USHORT* v) override { return ITestObjectInfo_InternalGetPropType(n, v); }
    STDMETHOD(get_Prop)(BSTR n, long* f, long* t, long* c, VARIANT* v) override {
        return ITestObjectInfo_get_Prop(n, f, t, c, v);
    }
    STDMETHOD(get_InternalProp)(BSTR n, long* f, long* t, long* c, VARIANT* v) override {
        return ITestObjectInfo_get_InternalProp(n, f, t, c, v);
    }
    STDMETHOD(get_PropExpr)(BSTR n, long* f, long* t, long* c, VARIANT* v) override {
        return ITestObjectInfo_get_PropExpr(n, f, t, c, v);
    }
    STDMETHOD(get_InternalPropExpr)(BSTR n, long* f, long* t, long* c, VARIANT* v) override {
        return ITestObjectInfo_get_InternalPropExpr(n, f, t, c, v);
    }
    STDMETHOD(put_PropExpr)(BSTR n, long* f, long* t, long* c, VARIANT v) override {
        return ITestObjectInfo_put_PropExpr(n, f, t, c, v);
    }
    STDMETHOD(put_InternalPropExpr)(BSTR n, long* f, long* t, long* c, VARIANT v) override {
        return ITestObjectInfo_put_InternalPropExpr(n, f, t, c, v);
    }
    STDMETHOD(Compare)(BSTR n, VARIANT v) override { return ITestObjectInfo_Compare(n, v); }
    STDMETHOD(InternalCompare)(BSTR n, VARIANT v) override { return ITestObjectInfo_InternalCompare(n, v); }
    STDMETHOD(SnapShotHandlerCtl)(GUID* g) override { return ITestObjectInfo_SnapShotHandlerCtl(g); }
    STDMETHOD(SetPropData)(BSTR n, VARIANT d) override { return ITestObjectInfo_SetPropData(n, d); }
    STDMETHOD(GetPropData)(BSTR n, VARIANT* d) override { return ITestObjectInfo_GetPropData(n, d); }
    STDMETHOD(InternalSetPropData)(BSTR n, VARIANT d) override { return ITestObjectInfo_InternalSetPropData(n, d); }
    STDMETHOD(InternalGetPropData)(BSTR n, VARIANT* d) override { return ITestObjectInfo_InternalGetPropData(n, d); }
    STDMETHOD(get_Prop2)(BSTR n, long* f, long* t, long* c, VARIANT* d, VARIANT* v) override {
        return ITestObjectInfo_get_Prop2(n, f, t, c, d, v);
    }
    STDMETHOD(get_InternalProp2)(BSTR n, long* f, long* t, long* c, VARIANT* d, VARIANT* v) override {
        return ITestObjectInfo_get_InternalProp2(n, f, t, c, d, v);
    }
    STDMETHOD(get_PropExpr2)(BSTR n, long* f, long* t, long* c, VARIANT* d, VARIANT* v) override {
        return ITestObjectInfo_get_PropExpr2(n, f, t, c, d, v);
    }
    STDMETHOD(put_PropExpr2)(BSTR n, long* f, long* t, long* c, VARIANT* d, VARIANT v) override {
        return ITestObjectInfo_put_PropExpr2(n, f, t, c, d, v);
    }
    STDMETHOD(get_InternalPropExpr2)(BSTR n, long* f, long* t, long* c, VARIANT* d, VARIANT* v) override {
        return ITestObjectInfo_get_InternalPropExpr2(n, f, t, c, d, v);
    }
    STDMETHOD(put_InternalPropExpr2)(BSTR n, long* f, long* t, long* c, VARIANT* d, VARIANT v) override {
        return ITestObjectInfo_put_InternalPropExpr2(n, f, t, c, d, v);
    }
    STDMETHOD(get_Version)(ULONG* v) override { return ITestObjectInfo_get_Version(v); }

    // IPersistStreamInit
    STDMETHOD(GetClassID)(CLSID* id) override {
        if (!id) return E_POINTER;
        *id = CLSID_NULL;
        return S_OK;
    }
    STDMETHOD(IsDirty)() override { return CTestObject::IsDirty(); }
    STDMETHOD(Load)(IStream* s) override { return CTestObject::Load(s); }
    STDMETHOD(Save)(IStream* s, BOOL c) override { return FAILED(saveFailure) ? saveFailure : CTestObject::Save(s, c); }
    STDMETHOD(GetSizeMax)(ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHOD(InitNew)() override { return S_OK; }
};

using TestComHolder = standin::Holder<CTestCom>;
