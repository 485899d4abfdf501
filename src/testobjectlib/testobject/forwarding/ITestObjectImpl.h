#pragma once
// ITestObject to ITestObject7 of a test object: one vtable, each interface extending the one
// before; every method forwards to the test-object operation of its name.
#include <windows.h>
#include "kestrune.h"
#include "testobject/forwarding/Forwarding.h"

template <class T, class Itf = ITestObject>
class ITestObjectImpl : public Itf {
public:
    STDMETHOD(IsEqual)(ITestObject* other) override { KOR_FORWARD(ITestObject_IsEqual, other); }
    STDMETHOD(Hash)(TestObjectHash* hash) override { KOR_FORWARD(ITestObject_Hash, hash); }
    STDMETHOD(BuildDescription)() override { KOR_FORWARD(ITestObject_BuildDescription); }
    STDMETHOD(FindObjectId)(IUnknown** object, QueryIdInfo* context) override {
        KOR_FORWARD(ITestObject_FindObjectId, object, context);
    }
    STDMETHOD(SetOuterObject)(IUnknown* outer) override { KOR_FORWARD(ITestObject_SetOuterObject, outer); }
    STDMETHOD(GetOuterObject)(IUnknown** outer) override { KOR_FORWARD(ITestObject_GetOuterObject, outer); }
    STDMETHOD(SetLogicalName)(BSTR name) override { KOR_FORWARD(ITestObject_SetLogicalName, name); }
    STDMETHOD(GetLogicalName)(BSTR* name) override { KOR_FORWARD(ITestObject_GetLogicalName, name); }
    STDMETHOD(GetTagName)(BSTR* name) override { KOR_FORWARD(ITestObject_GetTagName, name); }
    STDMETHOD(SetRecordMgr)(IKorDataTarget* recordMgr) override { KOR_FORWARD(ITestObject_SetRecordMgr, recordMgr); }
    STDMETHOD(GetInternalTagName)(BSTR* name) override { KOR_FORWARD(ITestObject_GetInternalTagName, name); }
    STDMETHOD(RefreshObject)() override { KOR_FORWARD(RefreshObject); }
};

template <class T, class Itf = ITestObject2>
class ITestObject2Impl : public ITestObjectImpl<T, Itf> {
public:
    STDMETHOD(FindAllIds)(SAFEARRAY** ids, QueryIdInfo* context, ULONG reserved) override {
        KOR_FORWARD(ITestObject2_FindAllIds, ids, context, reserved);
    }
};

template <class T, class Itf = ITestObject3>
class ITestObject3Impl : public ITestObject2Impl<T, Itf> {
public:
    STDMETHOD(get_Algorithm)(BSTR* algorithm) override { KOR_FORWARD(ITestObject3_get_Algorithm, algorithm); }
    STDMETHOD(get_UseAlgorithm)(ULONG* use) override { KOR_FORWARD(ITestObject3_get_UseAlgorithm, use); }
    STDMETHOD(put_UseAlgorithm)(ULONG use) override { KOR_FORWARD(ITestObject3_put_UseAlgorithm, use); }
};

template <class T, class Itf = ITestObject4>
class ITestObject4Impl : public ITestObject3Impl<T, Itf> {
public:
    STDMETHOD(IsMatch)(ITestObject* other, VARIANT_BOOL* result) override {
        KOR_FORWARD(ITestObject4_IsMatch, other, result);
    }
    STDMETHOD(GetPoolProps)(SAFEARRAY** list, long mode) override { KOR_FORWARD(ITestObject4_GetPoolProps, list, mode); }
    STDMETHOD(GetChildObjectsHierarchy)(IDispatch* description, IDispatch** collection) override {
        KOR_FORWARD(ITestObject4_GetChildObjectsHierarchy, description, collection);
    }
};

template <class T, class Itf = ITestObject5>
class ITestObject5Impl : public ITestObject4Impl<T, Itf> {
public:
    STDMETHOD(CompareTo)(ITestObject* other, ULONG* relation) override {
        KOR_FORWARD(ITestObject5_CompareTo, other, relation);
    }
    STDMETHOD(get__Algorithm)(BSTR* algorithm) override { KOR_FORWARD(ITestObject5_get__Algorithm, algorithm); }
    STDMETHOD(put__Algorithm)(BSTR algorithm) override { KOR_FORWARD(ITestObject5_put__Algorithm, algorithm); }
    STDMETHOD(GetLogicalNameForReport)(BSTR* name) override { KOR_FORWARD(ITestObject5_GetLogicalNameForReport, name); }
    STDMETHOD(BuildDescriptionForChildren)(SAFEARRAY** description, VARIANT filter) override {
        KOR_FORWARD(ITestObject5_BuildDescriptionForChildren, description, filter);
    }
    STDMETHOD(PutDescription)(SAFEARRAY* rows) override { KOR_FORWARD(ITestObject5_PutDescription, rows); }
    STDMETHOD(GetUserMappedClass)(BSTR* className) override {
        KOR_FORWARD(ITestObject5_GetUserMappedClass, className);
    }
};

template <class T, class Itf = ITestObject6>
class ITestObject6Impl : public ITestObject5Impl<T, Itf> {
public:
    STDMETHOD(InvokeExtensibleMethod)(BSTR method, VARIANT* arguments, VARIANT* result) override {
        KOR_FORWARD(ITestObject6_InvokeExtensibleMethod, method, arguments, result);
    }
};

template <class T>
class ITestObject7Impl : public ITestObject6Impl<T, ITestObject7> {
public:
    STDMETHOD(FindMatchingIds)(long mode, SAFEARRAY** ids) override {
        KOR_FORWARD(ITestObject7_FindMatchingIds, mode, ids);
    }
    STDMETHOD(HasDescription)(IUnknown* reserved, VARIANT_BOOL* result) override {
        KOR_FORWARD(ITestObject7_HasDescription, reserved, result);
    }
};
