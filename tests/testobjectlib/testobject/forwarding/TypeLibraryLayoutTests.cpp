// The type library's test-object interfaces: their slot orders, and every slot of the ITestObject
// and ITestObjectInfo families and of DispTestObject, called at its type-library offset, reaching
// the test-object operation of its name.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "RecordingTestObject.h"
#include "TestableObject.h"
#include "com/ComBSTR.h"
#include "com/DispatchImpl.h"
#include "com/ComModule.h"
#include "com/ComPtr.h"
#include "com/TypeInfoDesc.h"

using kcom::CComBSTR;
using kcom::CComPtr;

namespace {

struct Slot {
    std::wstring itf;   // the interface that declares it
    std::wstring name;  // get_/put_ for properties
    std::wstring bare;
    short offset;
    MEMBERID memid;
    std::vector<VARTYPE> params;
};

std::wstring Doc(ITypeInfo* info, MEMBERID id) {
    CComBSTR name;
    info->GetDocumentation(id, name.Put(), nullptr, nullptr, nullptr);
    return name.c_str();
}

// Base interfaces first; IUnknown and IDispatch are left out.
std::vector<Slot> Slots(ITypeInfo* info) {
    const std::wstring itf = Doc(info, MEMBERID_NIL);
    if (itf == L"IUnknown" || itf == L"IDispatch") return {};
    kcom::CTypeAttr attr;
    EXPECT_EQ(S_OK, kcom::GetTypeAttr(info, attr));
    std::vector<Slot> slots;
    HREFTYPE ref = 0;
    CComPtr<ITypeInfo> base;
    if (attr->cImplTypes > 0 && SUCCEEDED(info->GetRefTypeOfImplType(0, &ref)) &&
        SUCCEEDED(info->GetRefTypeInfo(ref, base.Put())))
        slots = Slots(base);
    for (UINT i = 0; i < attr->cFuncs; ++i) {
        kcom::CFuncDesc f;
        EXPECT_EQ(S_OK, kcom::GetFuncDesc(info, i, f));
        Slot s{itf, {}, Doc(info, f->memid), f->oVft, f->memid, {}};
        s.name = (f->invkind == INVOKE_PROPERTYGET ? L"get_" : f->invkind == INVOKE_PROPERTYPUT ? L"put_" : L"") + s.bare;
        for (SHORT p = 0; p < f->cParams; ++p) s.params.push_back(f->lprgelemdescParam[p].tdesc.vt);
        slots.push_back(s);
    }
    return slots;
}

CComPtr<ITypeInfo> Info(REFIID iid) {
    CComPtr<ITypeLib> lib;
    EXPECT_EQ(S_OK, kcom::Module().GetTypeLib(lib.Put()));
    CComPtr<ITypeInfo> info;
    EXPECT_EQ(S_OK, lib->GetTypeInfoOfGuid(iid, info.Put()));
    return info;
}

// The vtable half of a dual interface.
CComPtr<ITypeInfo> VtableHalf(REFIID iid) {
    CComPtr<ITypeInfo> dispatch = Info(iid), half;
    HREFTYPE ref = 0;
    EXPECT_EQ(S_OK, dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref));
    EXPECT_EQ(S_OK, dispatch->GetRefTypeInfo(ref, half.Put()));
    return half;
}

// The slots follow the base interface's (first) in the given order.
void ExpectOrder(const std::vector<Slot>& slots, int first, const std::vector<std::wstring>& names) {
    ASSERT_EQ(slots.size(), names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(slots[i].name, names[i]);
        EXPECT_EQ(slots[i].offset, static_cast<short>((first + i) * sizeof(void*))) << slots[i].name.c_str();
    }
}

// Calls a slot with zero arguments of the right sizes; the recorded operations read none.
HRESULT CallSlot(void* itf, const Slot& slot) {
    std::vector<VARIANT> values(slot.params.size());
    std::vector<VARIANTARG*> args;
    std::vector<VARTYPE> types;
    for (size_t i = 0; i < values.size(); ++i) {
        ::VariantInit(&values[i]);
        const bool byValueVariant = slot.params[i] == VT_VARIANT;
        types.push_back(byValueVariant ? VT_VARIANT : VT_I4);
        if (!byValueVariant) values[i].vt = VT_I4;
        args.push_back(&values[i]);
    }
    VARIANT result;
    ::VariantInit(&result);
    HRESULT hr = ::DispCallFunc(itf, slot.offset, CC_STDCALL, VT_I4, static_cast<UINT>(args.size()), types.data(),
                                args.data(), &result);
    return FAILED(hr) ? hr : result.lVal;
}

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

}  // namespace

TEST(TypeLibraryLayout, SlotOrdersOfTheTestObjectInterfaces) {
    ExpectOrder(Slots(Info(__uuidof(ITestObject7))), 3,
                {L"IsEqual", L"Hash", L"BuildDescription", L"FindObjectId", L"SetOuterObject", L"GetOuterObject",
                 L"SetLogicalName", L"GetLogicalName", L"GetTagName", L"SetRecordMgr", L"GetInternalTagName",
                 L"RefreshObject", L"FindAllIds", L"get_Algorithm", L"get_UseAlgorithm", L"put_UseAlgorithm",
                 L"IsMatch", L"GetPoolProps", L"GetChildObjectsHierarchy", L"CompareTo", L"get__Algorithm",
                 L"put__Algorithm", L"GetLogicalNameForReport", L"BuildDescriptionForChildren", L"PutDescription",
                 L"GetUserMappedClass", L"InvokeExtensibleMethod", L"FindMatchingIds", L"HasDescription"});
    ExpectOrder(Slots(Info(__uuidof(ITestObjectInfo3))), 3,
                {L"GetProps", L"FillPropsValues", L"FillPropsExpr", L"GetRTAttribs", L"FillRTAttribsValues",
                 L"InternalSetPropFlags", L"InternalGetPropFlags", L"InternalSetPropCompareType",
                 L"InternalGetPropCompareType", L"InternalSetPropType", L"InternalGetPropType", L"SetPropFlags",
                 L"GetPropFlags", L"SetPropCompareType", L"GetPropCompareType", L"SetPropType", L"GetPropType",
                 L"get_Prop", L"get_InternalProp", L"get_PropExpr", L"put_PropExpr", L"get_InternalPropExpr",
                 L"put_InternalPropExpr", L"Compare", L"SnapShotHandlerCtl", L"InternalCompare", L"SetPropData",
                 L"GetPropData", L"InternalSetPropData", L"InternalGetPropData", L"get_Prop2",
                 L"get_InternalProp2", L"get_PropExpr2", L"put_PropExpr2", L"get_InternalPropExpr2",
                 L"put_InternalPropExpr2", L"get_Version"});
    ExpectOrder(Slots(Info(__uuidof(IReplaySkeleton))), 3,
                {L"GetStepTimes", L"BeginReplayStep", L"EndReplayStep", L"GetInnerReplaySkeleton",
                 L"BeforeReplayAttempts", L"GetMethodInfoTable", L"GetReplayMethodFlags", L"BeginReplayAttempt",
                 L"ReplayFindObject", L"SetRuntimeId", L"AfterObjectFound", L"BeforeActionSecond",
                 L"BeforeActionFirst", L"WaitVisible", L"WaitEnabled", L"AfterReplayAction",
                 L"ReportReplayArguments"});
    ExpectOrder(Slots(Info(__uuidof(ICustomStep2))), 3,
                {L"GetCheckpointDialogClsid", L"GetSupportedCheckpointTypes", L"GetCustomStepClsid",
                 L"GetCustomStepClsid2", L"GetCheckpointStepTypes", L"GetCheckpointTimeout", L"GetCustomStepFlags",
                 L"EditCustomStep"});
    ExpectOrder(Slots(Info(__uuidof(IUpdateTODescription))), 3,
                {L"GetFlagsChangeSummary", L"get_UpdateDescriptionFlag", L"put_UpdateDescriptionFlag"});
    ExpectOrder(Slots(Info(__uuidof(IObjectManagerClient))), 3,
                {L"get_Cookie", L"put_Cookie", L"get_CollectionName", L"put_CollectionName", L"get_FullPath",
                 L"put_FullPath"});
    ExpectOrder(Slots(Info(__uuidof(ISnapshotHelper))), 3, {L"Snapshot"});

    // The collection of GetChildObjectsHierarchy is handed in and back.
    CComPtr<ITypeInfo> four = Info(__uuidof(ITestObject4));
    kcom::CFuncDesc hierarchy;
    ASSERT_EQ(S_OK, kcom::GetFuncDesc(four, 2, hierarchy));
    EXPECT_EQ(L"GetChildObjectsHierarchy", Doc(four, hierarchy->memid));
    EXPECT_EQ(PARAMFLAG_FIN | PARAMFLAG_FOUT, hierarchy->lprgelemdescParam[1].paramdesc.wParamFlags);

    const std::vector<Slot> script = Slots(VtableHalf(__uuidof(DispTestObject)));
    ExpectOrder(script, 7,
                {L"GetProperty", L"SetProperty", L"QueryValue", L"Check", L"Output", L"Highlight", L"Init",
                 L"get_Exist", L"GetTOProperty", L"SetTOProperty", L"GetROProperty", L"GetTOProperties",
                 L"ChildObjects", L"CaptureBitmap", L"WaitProperty", L"CheckProperty", L"ToString",
                 L"RefreshObject"});
    for (size_t i = 0; i < script.size(); ++i) EXPECT_EQ(script[i].memid, static_cast<MEMBERID>(7 + i));
}

TEST(TypeLibraryLayout, EverySlotReachesTheOperationOfItsName) {
    kcom::CComObject<CRecordingTestObject>* raw = nullptr;
    ASSERT_EQ(S_OK, kcom::CComObject<CRecordingTestObject>::CreateInstance(&raw));
    CComPtr<kcom::CComObject<CRecordingTestObject>> object(raw);

    struct Family {
        IID iid;
        CComPtr<ITypeInfo> info;
        std::string (*op)(const Slot&);
    };
    const Family families[] = {
        {__uuidof(ITestObject7), Info(__uuidof(ITestObject7)),
         [](const Slot& s) {
             if (s.itf == L"ITestObject") return s.name == L"RefreshObject" ? std::string("OnRefresh")
                                                                           : "ITestObject_" + Narrow(s.name);
             return Narrow(s.itf) + "_" + Narrow(s.name);
         }},
        {__uuidof(ITestObjectInfo3), Info(__uuidof(ITestObjectInfo3)),
         [](const Slot& s) { return "ITestObjectInfo_" + Narrow(s.name); }},
        {__uuidof(DispTestObject), VtableHalf(__uuidof(DispTestObject)),
         [](const Slot& s) {
             return s.bare == L"RefreshObject" ? std::string("DispTestObject_Init") : "DispTestObject_" + Narrow(s.bare);
         }},
    };
    size_t reached = 0;
    for (const Family& family : families) {
        void* itf = nullptr;
        ASSERT_EQ(S_OK, object->QueryInterface(family.iid, &itf));
        for (const Slot& slot : Slots(family.info)) {
            object->calls.clear();
            const std::string op = family.op(slot);
            const HRESULT hr = CallSlot(itf, slot);
            if (op != "OnRefresh") {  // refresh answers itself
                EXPECT_EQ(hr, kRecordedAnswer) << Narrow(slot.name);
            }
            EXPECT_EQ(object->calls, std::vector<std::string>{op}) << Narrow(slot.name);
            ++reached;
        }
        static_cast<IUnknown*>(itf)->Release();
    }
    EXPECT_EQ(reached, 29u + 37u + 18u);
}

// Clients see the dispatch half of the dual; calls go through its vtable half.
TEST(TypeLibraryLayout, TheDualIsInvokedThroughItsVtableHalf) {
    kcom::CTypeInfoHolder holder(&IID_DispTestObject);
    CComPtr<ITypeInfo> shown, invoked;
    ASSERT_EQ(S_OK, holder.Get(shown.Put()));
    ASSERT_EQ(S_OK, holder.GetForInvoke(invoked.Put()));
    kcom::CTypeAttr shownAttr, invokedAttr;
    ASSERT_EQ(S_OK, kcom::GetTypeAttr(shown, shownAttr));
    ASSERT_EQ(S_OK, kcom::GetTypeAttr(invoked, invokedAttr));
    EXPECT_EQ(shownAttr->typekind, TKIND_DISPATCH);
    EXPECT_EQ(invokedAttr->typekind, TKIND_INTERFACE);
    EXPECT_TRUE(::IsEqualIID(invokedAttr->guid, IID_DispTestObject));
}

// A plain test object (no rack, nothing overridden) has every operation built: called with zero
// arguments, a slot answers E_NOTIMPL only where the generic object leaves it to its concrete class
// or has nothing to offer.
TEST(TypeLibraryLayout, OnlyTheSlotsLeftToConcreteClassesAreNotImplemented) {
    kcom::CComObject<CTestableObject>* raw = nullptr;
    ASSERT_EQ(S_OK, kcom::CComObject<CTestableObject>::CreateInstance(&raw));
    CComPtr<kcom::CComObject<CTestableObject>> object(raw);

    const std::pair<IID, CComPtr<ITypeInfo>> families[] = {
        {__uuidof(ITestObject7), Info(__uuidof(ITestObject7))},
        {__uuidof(ITestObjectInfo3), Info(__uuidof(ITestObjectInfo3))},
        {__uuidof(DispTestObject), VtableHalf(__uuidof(DispTestObject))},
        {__uuidof(IReplaySkeleton), Info(__uuidof(IReplaySkeleton))},
        {__uuidof(ICustomStep2), Info(__uuidof(ICustomStep2))},
        {__uuidof(IUpdateTODescription), Info(__uuidof(IUpdateTODescription))},
        {__uuidof(IObjectManagerClient), Info(__uuidof(IObjectManagerClient))},
        {__uuidof(ISnapshotHelper), Info(__uuidof(ISnapshotHelper))},
    };
    std::vector<std::string> unbuilt;
    size_t walked = 0;
    for (const auto& [iid, info] : families) {
        void* itf = nullptr;
        ASSERT_EQ(S_OK, object->QueryInterface(iid, &itf));
        for (const Slot& slot : Slots(info)) {
            if (CallSlot(itf, slot) == E_NOTIMPL) unbuilt.push_back(Narrow(slot.itf) + "." + Narrow(slot.name));
            ++walked;
        }
        static_cast<IUnknown*>(itf)->Release();
    }
    EXPECT_GT(walked, 110u);
    EXPECT_EQ(unbuilt, (std::vector<std::string>{"ITestObject6.InvokeExtensibleMethod", "IReplaySkeleton.GetMethodInfoTable",
                                                 "ICustomStep2.EditCustomStep"}));
}
