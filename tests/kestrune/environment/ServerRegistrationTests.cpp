// Registration of the server against Wine's real registry: keys and values of every class, the
// registration counts, the type library, regsvr32, and creation through the registry.
#include <windows.h>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>
#include "com/ComPtr.h"
#include "EnvTestSupport.h"
#include "RegistryRestore.h"
#include "com/Handles.h"
#include "com/TypeInfoDesc.h"
#include "environment/ObjectMap.h"
#include "kestrune.h"

using namespace kcom;

namespace {

struct ClassKeys {
    const wchar_t* clsid;
    const wchar_t* progId;
    const wchar_t* viProgId;
    const wchar_t* description;
    const wchar_t* threading;
    bool programmable, typeLib, category, curVer;
};

const ClassKeys kClasses[] = {
    {L"{41AD1E21-B340-11D4-8F6F-0050DA3B0421}", L"Quorvel.AcxFactory.1", L"Quorvel.AcxFactory", L"AcxFactory Class",
     L"Apartment", true, false, false, true},
    {L"{41AD1E22-B340-11D4-8F6F-0050DA3B0421}", L"Quorvel.AcxQuery", L"Quorvel.AcxQuery", L"AcxQuery Class",
     L"Apartment", false, false, false, true},
    {L"{41AD1E23-B340-11D4-8F6F-0050DA3B0421}", L"Quorvel.AcxObject.1", L"Quorvel.AcxObject", L"KorActiveX Class",
     L"Apartment", false, false, true, true},
    {L"{41AD1E25-B340-11D4-8F6F-0050DA3B0421}", L"Quorvel.KestruneMgr.1", L"Quorvel.KestruneMgr",
     L"KestruneMgr Class", L"Apartment", false, true, false, true},
    {L"{41AD1E26-B340-11D4-8F6F-0050DA3B0421}", L"Quorvel.AcxUtil.1", L"Quorvel.AcxUtil", L"AcxUtil Class",
     L"Apartment", true, true, false, true},
    {L"{41AD1E27-B340-11D4-8F6F-0050DA3B0421}", L"Quorvel.AcxFlowEvents.1", L"Quorvel.AcxFlowEvents",
     L"AcxFlowEvents Class", L"Apartment", true, true, false, true},
    {L"{41AD1E28-B340-11D4-8F6F-0050DA3B0421}", L"Quorvel.AcxAgentUtil.1", L"Quorvel.AcxAgentUtil",
     L"AcxAgntUtil Class", L"both", false, false, false, false},
    {L"{41AD1E24-B340-11D4-8F6F-0050DA3B0421}", L"Quorvel.AcxWlsObject.1", L"Quorvel.AcxWlsObject",
     L"KorWlsActiveX Class", L"Apartment", false, false, true, true},
};

const wchar_t kLibId[] = L"{41AD1E20-B340-11D4-8F6F-0050DA3B0421}";
const wchar_t kTypeLibKey[] = L"TypeLib\\{41AD1E20-B340-11D4-8F6F-0050DA3B0421}";
const wchar_t kTypeLibWin32[] = L"TypeLib\\{41AD1E20-B340-11D4-8F6F-0050DA3B0421}\\1.0\\0\\win32";
const wchar_t kCategory[] = L"{17159721-B8F5-11d2-8E68-00104B3E8BFD}";

std::wstring ClsidKey(const ClassKeys& c) { return std::wstring(L"CLSID\\") + c.clsid; }
std::wstring InprocKey(const ClassKeys& c) { return ClsidKey(c) + L"\\InprocServer32"; }

bool KeyExists(const std::wstring& path) {
    CRegKey key;
    return ::RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
}

// The REG_SZ value (null name: the default), or "<missing>".
std::wstring String(const std::wstring& path, const wchar_t* name = nullptr) {
    wchar_t buf[512] = {};
    DWORD size = sizeof(buf) - sizeof(wchar_t), type = 0;
    CRegKey key;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return L"<missing>";
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return L"<missing>";
    return buf;
}

// The "RefCount" value: -1 when absent or not a DWORD.
long RefCount(const std::wstring& path) {
    DWORD value = 0, size = sizeof(value), type = 0;
    CRegKey key;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return -1;
    if (::RegQueryValueExW(key, L"RefCount", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD)
        return -1;
    return static_cast<long>(value);
}

void SetValue(const std::wstring& path, const wchar_t* name, DWORD type, const void* data, DWORD size) {
    CRegKey key;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_ALL_ACCESS, key.Put()), ERROR_SUCCESS);
    ASSERT_EQ(::RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
}

void DeleteValue(const std::wstring& path, const wchar_t* name) {
    CRegKey key;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_ALL_ACCESS, key.Put()), ERROR_SUCCESS);
    ASSERT_EQ(::RegDeleteValueW(key, name), ERROR_SUCCESS);
}

std::wstring BinFolder() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p = path;
    return p.substr(0, p.find_last_of(L'\\'));
}

// The keys of the type library's interfaces, which registering it writes and unregistering deletes.
std::vector<std::wstring> InterfaceKeys() {
    std::vector<std::wstring> keys;
    CComPtr<ITypeLib> lib;
    if (FAILED(::LoadTypeLibEx((BinFolder() + L"\\Kestrune.dll").c_str(), REGKIND_NONE, lib.Put()))) return keys;
    for (UINT i = 0, n = lib->GetTypeInfoCount(); i < n; ++i) {
        CComPtr<ITypeInfo> info;
        CTypeAttr attr;
        if (FAILED(lib->GetTypeInfo(i, info.Put())) || FAILED(GetTypeAttr(info, attr)) ||
            (attr->typekind != TKIND_INTERFACE && attr->typekind != TKIND_DISPATCH))
            continue;
        wchar_t iid[40] = {};
        ::StringFromGUID2(attr->guid, iid, 40);
        keys.push_back(std::wstring(L"Interface\\") + iid);
    }
    return keys;
}

// Every key of the server's registration, put back as it was when the guard ends: a registration
// the machine had before a case (regsvr32's, the main job's) is there again after it.
class SavedRegistration {
public:
    SavedRegistration() {
        for (const ClassKeys& c : kClasses)
            for (const std::wstring& path : {std::wstring(c.progId), std::wstring(c.viProgId), ClsidKey(c)})
                keys_.push_back(std::make_unique<CRegistryTreeRestore>(HKEY_CLASSES_ROOT, path));
        keys_.push_back(std::make_unique<CRegistryTreeRestore>(HKEY_CLASSES_ROOT, kTypeLibKey));
        for (const std::wstring& path : InterfaceKeys())
            keys_.push_back(std::make_unique<CRegistryTreeRestore>(HKEY_CLASSES_ROOT, path));
    }

private:
    std::vector<std::unique_ptr<CRegistryTreeRestore>> keys_;
};

// Leaves no trace of the server in the registry, whatever an earlier run left behind.
void Scrub() {
    for (const ClassKeys& c : kClasses) {
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, c.progId);
        ::RegDeleteKeyW(HKEY_CLASSES_ROOT, c.progId);
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, c.viProgId);
        ::RegDeleteKeyW(HKEY_CLASSES_ROOT, c.viProgId);
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, ClsidKey(c).c_str());
        ::RegDeleteKeyW(HKEY_CLASSES_ROOT, ClsidKey(c).c_str());
    }
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, kTypeLibKey);
    ::RegDeleteKeyW(HKEY_CLASSES_ROOT, kTypeLibKey);
    for (const std::wstring& path : InterfaceKeys()) {
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
        ::RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str());
    }
}

// Runs Wine's regsvr32 on the package and answers its exit code.
DWORD RunRegsvr32(bool unregister) {
    return RunProcess(std::wstring(L"regsvr32.exe /s ") + (unregister ? L"/u " : L"") + L"\"" + BinFolder() +
                      L"\\Kestrune.dll\"");
}

class ServerRegistration : public ::testing::Test {
protected:
    void SetUp() override {
        Scrub();
        dll_.Reset(::LoadLibraryW(L"Kestrune.dll"));
        ASSERT_TRUE(dll_);
        reg_ = Export<HRESULT(WINAPI*)()>(dll_, "DllRegisterServer");
        unreg_ = Export<HRESULT(WINAPI*)()>(dll_, "DllUnregisterServer");
        ASSERT_TRUE(reg_ && unreg_);
    }
    void TearDown() override { Scrub(); }

    void ExpectRegistered(long count) {
        for (const ClassKeys& c : kClasses) {
            SCOPED_TRACE(::testing::Message() << "class " << std::string(c.viProgId, c.viProgId + wcslen(c.viProgId)));
            EXPECT_EQ(String(c.progId), c.description);
            EXPECT_EQ(String(std::wstring(c.progId) + L"\\CLSID"), c.clsid);
            EXPECT_EQ(String(c.viProgId), c.description);
            EXPECT_EQ(String(std::wstring(c.viProgId) + L"\\CLSID"), c.clsid);
            EXPECT_EQ(String(std::wstring(c.viProgId) + L"\\CurVer"), c.curVer ? c.progId : L"<missing>");
            EXPECT_EQ(String(ClsidKey(c)), c.description);
            EXPECT_EQ(String(ClsidKey(c) + L"\\ProgID"), c.progId);
            EXPECT_EQ(String(ClsidKey(c) + L"\\VersionIndependentProgID"), c.viProgId);
            EXPECT_EQ(String(InprocKey(c)), L"Kestrune.dll");
            EXPECT_EQ(String(InprocKey(c), L"ThreadingModel"), c.threading);
            EXPECT_EQ(RefCount(InprocKey(c)), count);
            EXPECT_EQ(KeyExists(ClsidKey(c) + L"\\Programmable"), c.programmable);
            EXPECT_EQ(String(ClsidKey(c) + L"\\TypeLib"), c.typeLib ? kLibId : L"<missing>");
            EXPECT_EQ(KeyExists(ClsidKey(c) + L"\\Implemented Categories\\" + kCategory), c.category);
        }
        EXPECT_EQ(String(kTypeLibWin32), L"Kestrune.dll");
        EXPECT_EQ(RefCount(kTypeLibWin32), count);
    }

    void ExpectUnregistered() {
        for (const ClassKeys& c : kClasses) {
            EXPECT_FALSE(KeyExists(c.progId)) << c.progId;
            EXPECT_FALSE(KeyExists(c.viProgId));
            EXPECT_FALSE(KeyExists(ClsidKey(c)));
        }
        EXPECT_FALSE(KeyExists(kTypeLibWin32));
        EXPECT_TRUE(KeyExists(L"CLSID"));
    }

    SavedRegistration saved_;  // before Scrub, put back after it
    CLibrary dll_;
    HRESULT(WINAPI* reg_)() = nullptr;
    HRESULT(WINAPI* unreg_)() = nullptr;
};

TEST_F(ServerRegistration, CountsKeepTheKeysUntilTheLastUnregistration) {
    ASSERT_EQ(reg_(), S_OK);
    ASSERT_EQ(reg_(), S_OK);
    ExpectRegistered(2);
    EXPECT_EQ(unreg_(), S_FALSE);
    ExpectRegistered(1);
    auto interfaces = [] {
        std::vector<std::wstring> found;
        for (const std::wstring& path : InterfaceKeys())
            if (KeyExists(path)) found.push_back(path);
        return found;
    };
    const std::vector<std::wstring> registered = interfaces();
    ASSERT_FALSE(registered.empty());
    {  // what a case finds registered, it leaves registered, its interfaces too
        SavedRegistration found;
        Scrub();
        ExpectUnregistered();
        EXPECT_TRUE(interfaces().empty());
    }
    ExpectRegistered(1);
    EXPECT_EQ(registered, interfaces());
    // The type library is registered again and loads by its bare name.
    CComPtr<ITypeLib> lib;
    ASSERT_EQ(::LoadRegTypeLib(LIBID_KESTRUNELib, 1, 0, 0, lib.Put()), S_OK);
    CComPtr<ITypeInfo> info;
    EXPECT_EQ(lib->GetTypeInfoOfGuid(IID_IPackageMgr3, info.Put()), S_OK);
    info.Release();
    EXPECT_EQ(lib->GetTypeInfoOfGuid(CLSID_KestruneMgr, info.Put()), S_OK);
    info.Release();
    lib.Release();
    EXPECT_EQ(unreg_(), S_OK);
    ExpectUnregistered();
}

TEST_F(ServerRegistration, AClassWithoutCountLosesItsKeysOnTheNextUnregistration) {
    ASSERT_EQ(reg_(), S_OK);
    ASSERT_EQ(reg_(), S_OK);
    const ClassKeys& mgr = kClasses[3];
    DeleteValue(InprocKey(mgr), L"RefCount");
    EXPECT_EQ(unreg_(), S_FALSE);
    EXPECT_FALSE(KeyExists(ClsidKey(mgr)));
    EXPECT_FALSE(KeyExists(mgr.viProgId));
    EXPECT_EQ(RefCount(InprocKey(kClasses[0])), 1);
    EXPECT_EQ(RefCount(kTypeLibWin32), 1);
}

TEST_F(ServerRegistration, ACountOfAnotherTypeCountsAsZero) {
    ASSERT_EQ(reg_(), S_OK);
    const ClassKeys& agent = kClasses[6];
    SetValue(InprocKey(agent), L"RefCount", REG_SZ, L"5", 4);
    const WORD shortCount = 7;
    SetValue(kTypeLibWin32, L"RefCount", REG_BINARY, &shortCount, sizeof(shortCount));
    ASSERT_EQ(reg_(), S_OK);
    EXPECT_EQ(RefCount(InprocKey(agent)), 1);
    EXPECT_EQ(RefCount(kTypeLibWin32), 1);
    EXPECT_EQ(RefCount(InprocKey(kClasses[0])), 2);
}

TEST_F(ServerRegistration, UnregistrationWithoutTheTypeLibraryKeyFailsAndKeepsTheClasses) {
    ASSERT_EQ(reg_(), S_OK);
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, kTypeLibKey);
    ::RegDeleteKeyW(HKEY_CLASSES_ROOT, kTypeLibKey);
    EXPECT_EQ(unreg_(), E_FAIL);
    EXPECT_EQ(RefCount(InprocKey(kClasses[3])), 1);
}

TEST_F(ServerRegistration, CreationThroughTheRegistry) {
    ASSERT_EQ(reg_(), S_OK);
    CLSID clsid{};
    ASSERT_EQ(::CLSIDFromProgID(L"Quorvel.AcxQuery", &clsid), S_OK);
    EXPECT_TRUE(::IsEqualCLSID(clsid, CLSID_AcxQuery));
    ASSERT_EQ(::CLSIDFromProgID(L"Quorvel.AcxAgentUtil", &clsid), S_OK);
    EXPECT_TRUE(::IsEqualCLSID(clsid, CLSID_AcxAgntUtil));

    CComPtr<IUnknown> unk;
    EXPECT_EQ(unk.CoCreateInstance(L"Quorvel.AcxUtil", nullptr, CLSCTX_INPROC_SERVER), S_OK);
    CComPtr<IDispatch> util;
    EXPECT_EQ(unk->QueryInterface(DIID_AcxUtil, reinterpret_cast<void**>(util.Put())), S_OK);
    util.Release();
    unk.Release();
    EXPECT_EQ(unk.CoCreateInstance(L"Quorvel.AcxFactory", nullptr, CLSCTX_INPROC_SERVER), S_OK);
    unk.Release();
    CComPtr<IPackageMgr3> mgr;
    EXPECT_EQ(mgr.CoCreateInstance(L"Quorvel.KestruneMgr", nullptr, CLSCTX_INPROC_SERVER), S_OK);
    EXPECT_EQ(mgr->Init(), E_FAIL);  // no rack yet
    mgr.Release();
    EXPECT_EQ(mgr.CoCreateInstance(L"Quorvel.KestruneMgr.1", nullptr, CLSCTX_INPROC_SERVER), S_OK);
}

// regsvr32 writes every key; a real script client (Wine's cscript) then creates a scriptable
// class by its ProgID through the registry; regsvr32 /u takes every key away again.
TEST_F(ServerRegistration, Regsvr32AndAScriptCreatingAnObjectByProgId) {
    ASSERT_EQ(RunRegsvr32(false), 0u);
    ExpectRegistered(1);
    wchar_t temp[MAX_PATH] = {};
    ASSERT_NE(::GetTempPathW(MAX_PATH, temp), 0u);
    std::wstring script = std::wstring(temp) + L"kestrune_progid.vbs";
    const char body[] =
        "Set o = CreateObject(\"Quorvel.AcxFlowEvents\")\r\n"
        "If IsObject(o) Then WScript.Quit 7\r\n"
        "WScript.Quit 1\r\n";
    {
        CFileHandle file(::CreateFileW(script.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(file);
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(file, body, sizeof(body) - 1, &written, nullptr));
    }
    const DWORD code = RunProcess(L"cscript.exe //nologo \"" + script + L"\"");
    ::DeleteFileW(script.c_str());
    EXPECT_EQ(code, 7u);
    ASSERT_EQ(RunRegsvr32(true), 0u);
    ExpectUnregistered();
}

TEST_F(ServerRegistration, AClassWhoseServerKeyIsGoneStaysRegistered) {
    const ClassKeys& mgr = kClasses[3];
    ASSERT_EQ(UpdateRegistryWithRefCount(105, TRUE, CLSID_KestruneMgr), S_OK);
    EXPECT_EQ(RefCount(InprocKey(mgr)), 1);
    ASSERT_EQ(::RegDeleteKeyW(HKEY_CLASSES_ROOT, InprocKey(mgr).c_str()), ERROR_SUCCESS);
    EXPECT_EQ(UpdateRegistryWithRefCount(105, FALSE, CLSID_KestruneMgr), E_FAIL);
    EXPECT_EQ(String(mgr.viProgId), mgr.description);
    EXPECT_EQ(UpdateRegistryWithRefCount(999, TRUE, CLSID_KestruneMgr), E_INVALIDARG);
}

}  // namespace
