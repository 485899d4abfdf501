#pragma once
// Host objects the package manager talks to, recording what they are asked.
#include <windows.h>
#include <map>
#include <set>
#include <string>
#include <vector>
#include "ComBSTR.h"
#include "ComClassFactory.h"
#include "ComObject.h"
#include "ComPtr.h"
#include "ComVariant.h"
#include "host.h"

namespace fake {

inline std::wstring Text(BSTR b) { return b ? std::wstring(b) : std::wstring(L"(null)"); }

inline std::wstring Text(const VARIANT& v) {
    switch (v.vt) {
    case VT_I4: return L"I4:" + std::to_wstring(v.lVal);
    case VT_BSTR: return L"BSTR:" + Text(v.bstrVal);
    case VT_UNKNOWN: return v.punkVal ? L"UNKNOWN" : L"UNKNOWN:null";
    default: return L"VT" + std::to_wstring(v.vt);
    }
}

// The host's rack: a table of named objects.
class Rack : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IObjectRack {
public:
    BEGIN_COM_MAP(Rack)
        COM_INTERFACE_ENTRY(IObjectRack)
    END_COM_MAP()

    STDMETHOD(SetObject)(BSTR name, IUnknown* object) override {
        calls.push_back(L"SetObject(" + Text(name) + L")");
        objects[Text(name)] = object;
        return S_OK;
    }
    STDMETHOD(GetObject)(BSTR name, REFIID iid, IUnknown** object) override {
        *object = nullptr;
        auto it = objects.find(Text(name));
        if (it == objects.end() || !it->second) return E_FAIL;
        return it->second->QueryInterface(iid, reinterpret_cast<void**>(object));
    }
    STDMETHOD(RemoveObject)(BSTR name) override {
        objects.erase(Text(name));
        return S_OK;
    }
    void FinalRelease() { objects.clear(); }

    std::vector<std::wstring> calls;
    std::map<std::wstring, kcom::CComPtr<IUnknown>> objects;
};

// Application settings: values by "section|name", sections that exist, the product root.
class Settings : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                 public IKorSettings,
                 public IKorSettingsSections {
public:
    BEGIN_COM_MAP(Settings)
        COM_INTERFACE_ENTRY(IKorSettings)
        COM_INTERFACE_ENTRY(IDispatch)
        COM_INTERFACE_ENTRY(IKorSettingsSections)
    END_COM_MAP()

    STDMETHOD(GetTypeInfoCount)(UINT*) override { return E_NOTIMPL; }
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHOD(Invoke)(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
    STDMETHOD(get_Item)(VARIANT*, VARIANT*) override { return E_NOTIMPL; }
    STDMETHOD(put_Item)(VARIANT*, VARIANT) override { return E_NOTIMPL; }
    STDMETHOD(GetValue)(BSTR section, BSTR name, VARIANT* value, long a, long b) override {
        calls.push_back(L"GetValue(" + Text(section) + L"|" + Text(name) + L"|" + std::to_wstring(a) + L"," +
                        std::to_wstring(b) + L")");
        auto it = values.find(Text(section) + L"|" + Text(name));
        if (it == values.end()) return E_FAIL;
        return ::VariantCopy(value, &it->second);
    }
    STDMETHOD(SetValue)(BSTR section, BSTR name, VARIANT value, long a1, long a2, long a3, long a4, long a5) override {
        writes.push_back(Text(section) + L"|" + Text(name) + L"|" + Text(value) + L"|" + std::to_wstring(a1) + L"," +
                         std::to_wstring(a2) + L"," + std::to_wstring(a3) + L"," + std::to_wstring(a4) + L"," +
                         std::to_wstring(a5));
        return S_OK;
    }
    STDMETHOD(GetSubKeys)(BSTR, SAFEARRAY**) override { return E_NOTIMPL; }
    STDMETHOD(GetValues)(BSTR, SAFEARRAY**) override { return E_NOTIMPL; }
    STDMETHOD(GetProductRegRoot)(BSTR* root) override {
        *root = nullptr;
        if (FAILED(rootResult)) return rootResult;
        return productRoot.CopyTo(root);
    }
    STDMETHOD(SectionExists)(BSTR section, VARIANT_BOOL* exists) override {
        *exists = sections.count(Text(section)) ? VARIANT_TRUE : VARIANT_FALSE;
        return failSectionQueries.count(Text(section)) ? E_FAIL : S_OK;
    }
    STDMETHOD(CreateSection)(BSTR section) override {
        created.push_back(Text(section));
        sections.insert(Text(section));
        return S_OK;
    }

    void Set(const wchar_t* section, const wchar_t* name, const kcom::CComVariant& v) {
        values[std::wstring(section) + L"|" + name] = v;
    }

    std::map<std::wstring, kcom::CComVariant> values;
    std::set<std::wstring> sections, failSectionQueries;
    std::vector<std::wstring> calls, writes, created;
    kcom::CComBSTR productRoot;
    HRESULT rootResult = S_OK;
};

// An object of the package's own classes as the manager sees it: only a rack client.
template <int Kind>
class RackClient : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IObjectRackClient {
public:
    static inline int created = 0;
    static inline int setRackCalls = 0;
    static inline IObjectRack* lastRack = nullptr;  // not held
    static inline HRESULT setRackResult = S_OK;
    static inline IID extraIid = IID_NULL;          // one more interface it answers

    RackClient() { ++created; }
    HRESULT _InternalQueryInterface(REFIID iid, void** ppv) noexcept {
        if (ppv && ::IsEqualIID(iid, extraIid)) {
            *ppv = static_cast<IObjectRackClient*>(this);
            AddRef();
            return S_OK;
        }
        return _MapQueryInterface(iid, ppv, true);
    }
    IUnknown* OwnIdentity() noexcept override { return static_cast<IObjectRackClient*>(this); }
    HRESULT _MapQueryInterface(REFIID iid, void** ppv, bool addRef) noexcept {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (::IsEqualIID(iid, IID_IUnknown) || ::IsEqualIID(iid, IID_IObjectRackClient)) {
            *ppv = static_cast<IObjectRackClient*>(this);
            if (addRef) AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    STDMETHOD(GetRack)(IObjectRack**) override { return E_NOTIMPL; }
    STDMETHOD(SetRack)(IObjectRack* rack) override {
        ++setRackCalls;
        lastRack = rack;
        return setRackResult;
    }
    static void Reset() {
        created = setRackCalls = 0;
        lastRack = nullptr;
        setRackResult = S_OK;
    }
};

// The host application object: answers "Installation Dir".
class HostApplication : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IKorHostApplication {
public:
    static inline std::wstring installationDir;
    BEGIN_COM_MAP(HostApplication)
        COM_INTERFACE_ENTRY(IKorHostApplication)
    END_COM_MAP()
    STDMETHOD(ShowMessageBox)(long, BSTR, BSTR, long, long*) override { return E_NOTIMPL; }
    STDMETHOD(GetValue)(BSTR name, VARIANT* value) override {
        ::VariantInit(value);
        if (Text(name) != L"Installation Dir") return E_INVALIDARG;
        value->vt = VT_BSTR;
        value->bstrVal = ::SysAllocString(installationDir.c_str());
        return S_OK;
    }
};

// The registration interfaces of the host's query engine and record manager.
class Registrations : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                      public IKorQueryRegistration,
                      public IKorRecordRegistration {
public:
    BEGIN_COM_MAP(Registrations)
        COM_INTERFACE_ENTRY(IKorQueryRegistration)
        COM_INTERFACE_ENTRY(IKorRecordRegistration)
    END_COM_MAP()

    STDMETHOD(RegisterQuery)(BSTR progId, BSTR name, long a, long b, long c) override {
        calls.push_back(L"RegisterQuery(" + Text(progId) + L"," + Text(name) + L"," + std::to_wstring(a) + L"," +
                        std::to_wstring(b) + L"," + std::to_wstring(c) + L")");
        return result;
    }
    STDMETHOD(RegisterFactory)(BSTR progId, KorClassDescriptor d, long arg, IUnknown** registered) override {
        calls.push_back(L"RegisterFactory(" + Text(progId) + L"," + Describe(d) + L"," + std::to_wstring(arg) + L")");
        *registered = returned;
        if (returned) returned->AddRef();
        return result;
    }
    STDMETHOD(RegisterServer)(IUnknown* server, KorClassDescriptor d, long arg) override {
        lastServer = server;
        calls.push_back(L"RegisterServer(" + std::wstring(server ? L"object" : L"null") + L"," + Describe(d) + L"," +
                        std::to_wstring(arg) + L")");
        return result;
    }
    static std::wstring Describe(const KorClassDescriptor& d) {
        wchar_t buf[64];
        swprintf(buf, 64, L"{%ls,%ld,0x%lX,%ld}", d.name ? d.name : L"(null)", d.value, d.mask, d.extra);
        return buf;
    }

    std::vector<std::wstring> calls;
    IUnknown* returned = nullptr;  // handed out by RegisterFactory (not owned here)
    IUnknown* lastServer = nullptr;
    HRESULT result = S_OK;
};

// Makes a class of this process creatable by CLSID for as long as it lives.
class ClassRegistration {
public:
    ClassRegistration(REFCLSID clsid, kcom::CreatorFn creator) {
        kcom::CComPtr<IUnknown> cf;
        kcom::CreateClassObject<kcom::CComClassFactory>(creator, &cf);
        ::CoRegisterClassObject(clsid, cf, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie_);
    }
    ~ClassRegistration() {
        if (cookie_) ::CoRevokeClassObject(cookie_);
    }
    ClassRegistration(const ClassRegistration&) = delete;
    ClassRegistration& operator=(const ClassRegistration&) = delete;

private:
    DWORD cookie_ = 0;
};

// One fake object held for a scope.
template <class T>
class Held {
public:
    Held() {
        kcom::CComObject<T>::CreateInstance(&p_);
        Unk()->AddRef();
    }
    ~Held() { Unk()->Release(); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    T* operator->() const { return p_; }
    T* get() const { return p_; }
    IUnknown* Unk() const { return p_->GetControllingUnknown(); }

private:
    kcom::CComObject<T>* p_ = nullptr;
};

}  // namespace fake
