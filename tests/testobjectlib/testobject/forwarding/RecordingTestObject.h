#pragma once
// The test object with its own-named operations replaced by recorders: each call notes the
// operation's name and answers kRecordedAnswer, or raises what the test asks for.
#include <functional>
#include <string>
#include <vector>
#include "TestableObject.h"

inline constexpr HRESULT kRecordedAnswer = 0x00040177;

class CRecordingTestObject : public CTestableObject {
public:
    std::vector<std::string> calls;
    std::function<void()> raise;  // called before answering

    HRESULT Hit(const char* op) {
        calls.push_back(op);
        if (raise) raise();
        return kRecordedAnswer;
    }
    std::string Last() const { return calls.empty() ? std::string() : calls.back(); }

#define KOR_RECORD(op, ...) \
    HRESULT STDMETHODCALLTYPE op(__VA_ARGS__) override { return Hit(#op); }

    KOR_RECORD(ITestObject_IsEqual, ITestObject*)
    KOR_RECORD(ITestObject_Hash, TestObjectHash*)
    KOR_RECORD(ITestObject_BuildDescription)
    KOR_RECORD(ITestObject_FindObjectId, IUnknown**, QueryIdInfo*)
    KOR_RECORD(ITestObject_SetOuterObject, IUnknown*)
    KOR_RECORD(ITestObject_GetOuterObject, IUnknown**)
    KOR_RECORD(ITestObject_SetLogicalName, BSTR)
    KOR_RECORD(ITestObject_GetLogicalName, BSTR*)
    KOR_RECORD(ITestObject_GetTagName, BSTR*)
    KOR_RECORD(ITestObject_SetRecordMgr, IKorDataTarget*)
    KOR_RECORD(ITestObject_GetInternalTagName, BSTR*)
    KOR_RECORD(OnRefresh)
    KOR_RECORD(ITestObject2_FindAllIds, SAFEARRAY**, QueryIdInfo*, ULONG)
    KOR_RECORD(ITestObject3_get_Algorithm, BSTR*)
    KOR_RECORD(ITestObject3_get_UseAlgorithm, ULONG*)
    KOR_RECORD(ITestObject3_put_UseAlgorithm, ULONG)
    KOR_RECORD(ITestObject4_IsMatch, ITestObject*, VARIANT_BOOL*)
    KOR_RECORD(ITestObject4_GetPoolProps, SAFEARRAY**, long)
    KOR_RECORD(ITestObject4_GetChildObjectsHierarchy, IDispatch*, IDispatch**)
    KOR_RECORD(ITestObject5_CompareTo, ITestObject*, ULONG*)
    KOR_RECORD(ITestObject5_get__Algorithm, BSTR*)
    KOR_RECORD(ITestObject5_put__Algorithm, BSTR)
    KOR_RECORD(ITestObject5_GetLogicalNameForReport, BSTR*)
    KOR_RECORD(ITestObject5_BuildDescriptionForChildren, SAFEARRAY**, VARIANT)
    KOR_RECORD(ITestObject5_PutDescription, SAFEARRAY*)
    KOR_RECORD(ITestObject5_GetUserMappedClass, BSTR*)
    KOR_RECORD(ITestObject6_InvokeExtensibleMethod, BSTR, VARIANT*, VARIANT*)
    KOR_RECORD(ITestObject7_FindMatchingIds, long, SAFEARRAY**)
    KOR_RECORD(ITestObject7_HasDescription, IUnknown*, VARIANT_BOOL*)

    KOR_RECORD(ITestObjectInfo_GetProps, SAFEARRAY**, ULONG)
    KOR_RECORD(ITestObjectInfo_FillPropsValues, SAFEARRAY**)
    KOR_RECORD(ITestObjectInfo_FillPropsExpr, SAFEARRAY**)
    KOR_RECORD(ITestObjectInfo_GetRTAttribs, SAFEARRAY**, BSTR)
    KOR_RECORD(ITestObjectInfo_FillRTAttribsValues, SAFEARRAY**)
    KOR_RECORD(ITestObjectInfo_InternalSetPropFlags, BSTR, ULONG)
    KOR_RECORD(ITestObjectInfo_InternalGetPropFlags, BSTR, ULONG*)
    KOR_RECORD(ITestObjectInfo_InternalSetPropCompareType, BSTR, ULONG)
    KOR_RECORD(ITestObjectInfo_InternalGetPropCompareType, BSTR, ULONG*)
    KOR_RECORD(ITestObjectInfo_InternalSetPropType, BSTR, USHORT)
    KOR_RECORD(ITestObjectInfo_InternalGetPropType, BSTR, USHORT*)
    KOR_RECORD(ITestObjectInfo_SetPropFlags, BSTR, ULONG)
    KOR_RECORD(ITestObjectInfo_GetPropFlags, BSTR, ULONG*)
    KOR_RECORD(ITestObjectInfo_SetPropCompareType, BSTR, ULONG)
    KOR_RECORD(ITestObjectInfo_GetPropCompareType, BSTR, ULONG*)
    KOR_RECORD(ITestObjectInfo_SetPropType, BSTR, USHORT)
    KOR_RECORD(ITestObjectInfo_GetPropType, BSTR, USHORT*)
    KOR_RECORD(ITestObjectInfo_get_Prop, BSTR, long*, long*, long*, VARIANT*)
    KOR_RECORD(ITestObjectInfo_get_InternalProp, BSTR, long*, long*, long*, VARIANT*)
    KOR_RECORD(ITestObjectInfo_get_PropExpr, BSTR, long*, long*, long*, VARIANT*)
    KOR_RECORD(ITestObjectInfo_put_PropExpr, BSTR, long*, long*, long*, VARIANT)
    KOR_RECORD(ITestObjectInfo_get_InternalPropExpr, BSTR, long*, long*, long*, VARIANT*)
    KOR_RECORD(ITestObjectInfo_put_InternalPropExpr, BSTR, long*, long*, long*, VARIANT)
    KOR_RECORD(ITestObjectInfo_Compare, BSTR, VARIANT)
    KOR_RECORD(ITestObjectInfo_SnapShotHandlerCtl, GUID*)
    KOR_RECORD(ITestObjectInfo_InternalCompare, BSTR, VARIANT)
    KOR_RECORD(ITestObjectInfo_SetPropData, BSTR, VARIANT)
    KOR_RECORD(ITestObjectInfo_GetPropData, BSTR, VARIANT*)
    KOR_RECORD(ITestObjectInfo_InternalSetPropData, BSTR, VARIANT)
    KOR_RECORD(ITestObjectInfo_InternalGetPropData, BSTR, VARIANT*)
    KOR_RECORD(ITestObjectInfo_get_Prop2, BSTR, long*, long*, long*, VARIANT*, VARIANT*)
    KOR_RECORD(ITestObjectInfo_get_InternalProp2, BSTR, long*, long*, long*, VARIANT*, VARIANT*)
    KOR_RECORD(ITestObjectInfo_get_PropExpr2, BSTR, long*, long*, long*, VARIANT*, VARIANT*)
    KOR_RECORD(ITestObjectInfo_put_PropExpr2, BSTR, long*, long*, long*, VARIANT*, VARIANT)
    KOR_RECORD(ITestObjectInfo_get_InternalPropExpr2, BSTR, long*, long*, long*, VARIANT*, VARIANT*)
    KOR_RECORD(ITestObjectInfo_put_InternalPropExpr2, BSTR, long*, long*, long*, VARIANT*, VARIANT)
    KOR_RECORD(ITestObjectInfo_get_Version, ULONG*)

    KOR_RECORD(DispTestObject_GetProperty, BSTR, long*, long*, BSTR*, VARIANT*)
    KOR_RECORD(DispTestObject_QueryValue, BSTR, VARIANT*, VARIANT*)
    KOR_RECORD(DispTestObject_Check, VARIANT*, VARIANT_BOOL*)
    KOR_RECORD(DispTestObject_Output, VARIANT*)
    KOR_RECORD(DispTestObject_Highlight, long, VARIANT)
    KOR_RECORD(DispTestObject_Init)
    KOR_RECORD(DispTestObject_SetTOProperty, BSTR, VARIANT)
    KOR_RECORD(DispTestObject_GetTOProperties, IDispatch**)
    KOR_RECORD(DispTestObject_ChildObjects, IDispatch*, IDispatch**)
    KOR_RECORD(DispTestObject_CaptureBitmap, BSTR, VARIANT_BOOL)
    KOR_RECORD(DispTestObject_WaitProperty, BSTR, VARIANT, long, VARIANT_BOOL*)
    KOR_RECORD(DispTestObject_CheckProperty, BSTR, VARIANT, long, VARIANT_BOOL*)
    KOR_RECORD(DispTestObject_ToString, BSTR*)
    KOR_RECORD(GetSavedSnapshot, BSTR, VARIANT*, long, BSTR*, BYTE, long, IDispatch*)
#undef KOR_RECORD

    // A few operations keep what they were given.
    long existTimeOut = 0;
    long* setFlags = nullptr;
    long* setType = nullptr;
    BSTR* setParameterName = nullptr;
    kcom::CComVariant setValue;
    kcom::CComBSTR lastName;
    HRESULT STDMETHODCALLTYPE DispTestObject_SetProperty(BSTR name, VARIANT value, long* flags, long* type,
                                                         BSTR* parameterName) override {
        lastName = name;
        setValue = value;
        setFlags = flags;
        setType = type;
        setParameterName = parameterName;
        return Hit("DispTestObject_SetProperty");
    }
    HRESULT STDMETHODCALLTYPE DispTestObject_GetTOProperty(BSTR name, VARIANT* value) override {
        lastName = name;
        if (value) {
            value->vt = VT_I4;
            value->lVal = 42;
        }
        return Hit("DispTestObject_GetTOProperty");
    }
    HRESULT STDMETHODCALLTYPE DispTestObject_Exist(long timeOut, VARIANT_BOOL* exists) override {
        existTimeOut = timeOut;
        if (exists) *exists = VARIANT_TRUE;
        return Hit("DispTestObject_Exist");
    }
    HRESULT STDMETHODCALLTYPE DispTestObject_GetROProperty(BSTR name, VARIANT*, VARIANT*) override {
        lastName = name;
        return Hit("DispTestObject_GetROProperty");
    }
};
