// The server's exports and load-time values, without touching the registry.
#include <windows.h>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include "com/ComBSTR.h"
#include "com/ComPtr.h"
#include "EnvTestSupport.h"
#include "com/Handles.h"
#include "environment/LoadTimeValues.h"
#include "host.h"
#include "kestrune.h"
#include "description/Property.h"
#include "description/PropertyFactory.h"

using namespace kcom;

namespace {

class ServerExports : public ::testing::Test {
protected:
    void SetUp() override {
        dll_.Reset(::LoadLibraryW(L"Kestrune.dll"));
        ASSERT_TRUE(dll_);
        getClassObject_ = Export<decltype(getClassObject_)>(dll_, "DllGetClassObject");
        canUnload_ = Export<decltype(canUnload_)>(dll_, "DllCanUnloadNow");
        setFlag_ = Export<decltype(setFlag_)>(dll_, "SetFlagUseOldNameQuery");
        ASSERT_TRUE(getClassObject_ && canUnload_ && setFlag_);
        ASSERT_TRUE(::GetProcAddress(dll_, "DllRegisterServer"));
        ASSERT_TRUE(::GetProcAddress(dll_, "DllUnregisterServer"));
    }

    CLibrary dll_;
    HRESULT(WINAPI* getClassObject_)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT(WINAPI* canUnload_)() = nullptr;
    LONG(WINAPI* setFlag_)(LONG) = nullptr;
};

TEST_F(ServerExports, ClassObjectLookUp) {
    CComPtr<IClassFactory> cf;
    EXPECT_EQ(getClassObject_(CLSID_NULL, IID_IClassFactory, reinterpret_cast<void**>(cf.Put())), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(getClassObject_(CLSID_AcxFactory, IID_IClassFactory, nullptr), E_POINTER);
    for (const CLSID* c : {&CLSID_KorWlsActiveX, &CLSID_KorAcxUtil}) {
        EXPECT_EQ(getClassObject_(*c, IID_IClassFactory, reinterpret_cast<void**>(cf.Put())), S_OK);
        EXPECT_NE(cf.get(), nullptr);
    }
    cf.Release();
    EXPECT_EQ(canUnload_(), S_OK);
}

TEST_F(ServerExports, QueryEngineComesFromItsClassObject) {
    CComPtr<IClassFactory> cf;
    ASSERT_EQ(getClassObject_(CLSID_AcxQuery, IID_IClassFactory, reinterpret_cast<void**>(cf.Put())), S_OK);
    setFlag_(1);
    CComPtr<IKorQuery2> engine;
    ASSERT_EQ(cf->CreateInstance(nullptr, IID_IKorQuery2, reinterpret_cast<void**>(engine.Put())), S_OK);
    EXPECT_EQ(setFlag_(0), 0);  // every new engine answers "name" the new way
    CComPtr<IAcxQueryFunc> func;
    EXPECT_EQ(engine->QueryInterface(IID_IAcxQueryFunc, reinterpret_cast<void**>(func.Put())), S_OK);
    // The DLL's own type library describes the primary interface.
    CComPtr<ITypeInfo> info;
    EXPECT_EQ(func->GetTypeInfo(0, 0, info.Put()), S_OK);
    func.Release();
    engine.Release();
    cf.Release();
    EXPECT_EQ(canUnload_(), S_OK);
}

TEST_F(ServerExports, ManagerFactoryAndTheLockCount) {
    EXPECT_EQ(canUnload_(), S_OK);
    CComPtr<IClassFactory> cf;
    ASSERT_EQ(getClassObject_(CLSID_KestruneMgr, IID_IClassFactory, reinterpret_cast<void**>(cf.Put())), S_OK);
    EXPECT_EQ(canUnload_(), S_FALSE);  // a class object held outside the module
    CComPtr<IClassFactory> again;
    ASSERT_EQ(getClassObject_(CLSID_KestruneMgr, IID_IClassFactory, reinterpret_cast<void**>(again.Put())), S_OK);
    EXPECT_EQ(again.get(), cf.get());
    again.Release();

    CComPtr<IPackageMgr3> mgr;
    ASSERT_EQ(cf->CreateInstance(nullptr, IID_IPackageMgr3, reinterpret_cast<void**>(mgr.Put())), S_OK);
    cf.Release();
    EXPECT_EQ(canUnload_(), S_FALSE);  // an object alive
    mgr.Release();
    EXPECT_EQ(canUnload_(), S_OK);
    EXPECT_EQ(getClassObject_(CLSID_KestruneMgr, IID_IClassFactory, reinterpret_cast<void**>(cf.Put())), S_OK);
    EXPECT_EQ(cf->LockServer(TRUE), S_OK);
    cf.Release();
    EXPECT_EQ(canUnload_(), S_FALSE);  // locked
    ASSERT_EQ(getClassObject_(CLSID_KestruneMgr, IID_IClassFactory, reinterpret_cast<void**>(cf.Put())), S_OK);
    EXPECT_EQ(cf->LockServer(FALSE), S_OK);
    cf.Release();
    EXPECT_EQ(canUnload_(), S_OK);
}

TEST_F(ServerExports, TypeLibraryLoadsFromTheModule) {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(dll_, path, MAX_PATH);
    CComPtr<ITypeLib> lib;
    ASSERT_EQ(::LoadTypeLibEx(path, REGKIND_NONE, lib.Put()), S_OK);
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(lib->GetLibAttr(&attr), S_OK);
    EXPECT_TRUE(::IsEqualGUID(attr->guid, LIBID_KESTRUNELib));
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    lib->ReleaseTLibAttr(attr);

    CComPtr<ITypeInfo> mgr;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(IID_IPackageMgr, mgr.Put()), S_OK);
    std::wstring names;
    for (UINT i = 0;; ++i) {
        FUNCDESC* fd = nullptr;
        if (FAILED(mgr->GetFuncDesc(i, &fd))) break;
        CComBSTR name;
        mgr->GetDocumentation(fd->memid, name.Put(), nullptr, nullptr, nullptr);
        names += std::wstring(name.c_str()) + L" ";
        mgr->ReleaseFuncDesc(fd);
    }
    EXPECT_EQ(names, L"Init AddQuery AddFactory GetValueByName SetValueByName ");
    for (const CLSID* c : {&CLSID_AcxFactory, &CLSID_AcxQuery, &CLSID_KorActiveX, &CLSID_KestruneMgr, &CLSID_KorAcxUtil,
                           &CLSID_AcxFlowEvents, &CLSID_AcxAgntUtil, &CLSID_KorWlsActiveX}) {
        CComPtr<ITypeInfo> coclass;
        EXPECT_EQ(lib->GetTypeInfoOfGuid(*c, coclass.Put()), S_OK);
    }
}

TEST_F(ServerExports, OldNameFlagReturnsThePreviousValue) {
    EXPECT_EQ(setFlag_(1), 0);
    EXPECT_EQ(setFlag_(1), 1);
    EXPECT_EQ(setFlag_(0), 1);
    EXPECT_EQ(setFlag_(0), 0);
}

TEST_F(ServerExports, WindowPropertyAtomCarriesTheProcessId) {
    const std::wstring name = L"Quor_IsAcx_Win_Prop_" + std::to_wstring(::GetCurrentProcessId());
    EXPECT_NE(::GlobalFindAtomW(name.c_str()), 0);
    EXPECT_EQ(g_acxWindowPropName, name);
    EXPECT_EQ(g_acxWindowPropAtom, ::GlobalFindAtomW(name.c_str()));
    EXPECT_EQ(AppendProcessIdSuffix(L"x"), L"x_" + std::to_wstring(::GetCurrentProcessId()));
}

TEST(LoadTimeValues, AnotherProcessGetsAnotherAtom) {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    DWORD childId = 0;
    // No standard handles: the child's listing goes nowhere.
    ASSERT_EQ(RunProcess(L"\"" + std::wstring(self) + L"\" --gtest_list_tests", &childId, STARTF_USESTDHANDLES), 0u);
    const std::wstring childName = L"Quor_IsAcx_Win_Prop_" + std::to_wstring(childId);
    const ATOM child = ::GlobalFindAtomW(childName.c_str());
    EXPECT_NE(child, 0);
    EXPECT_NE(child, g_acxWindowPropAtom);
}

// The record classes can be created by name from load on, without anyone registering them.
TEST(LoadTimeValues, PropertyClassesAreCreatableByName) {
    for (const char* name : {"CProperty", "CKorClassProperty", "CKorLogicalNameProperty", "CKorGenTypeProperty",
                             "CKorObjectRelationsProperty"}) {
        std::unique_ptr<CProperty> created(dynamic::CreateByName(name, nullptr));
        EXPECT_NE(created, nullptr) << name;
    }
    EXPECT_EQ(dynamic::CreateByName("CNoSuchProperty", nullptr), nullptr);
}

}  // namespace
