#pragma once
// Stand-ins for the test host's objects: the rack, settings nodes and the host application
// object. Each records the calls it receives, with every argument, as text lines.
#include <windows.h>
#include <oleauto.h>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>
#include "../common/CallLog.h"
#include "RegistryRestore.h"
#include "com/ComModule.h"
#include "com/ComObject.h"
#include "com/ComPtr.h"
#include "com/ComSafeArray.h"
#include "com/ComVariant.h"
#include "host.h"

namespace standin {

// Text of a value for call logs: "EMPTY", "I4:5", "BSTR:text", "BSTR:(null)", "BOOL:-1", "VT:<n>".
std::wstring VariantText(const VARIANT& v);
std::wstring GuidText(REFGUID guid);

// A rows x columns VARIANT table addressed {column, row}, and one cell of it.
HRESULT NewTable(LONG rows, LONG columns, kcom::CComSafeArray& out);
HRESULT PutCell(SAFEARRAY* psa, LONG column, LONG row, const VARIANT& v);

// Values by name, names compared without case, kept in the order first put.
class NamedValues {
public:
    void Put(const std::wstring& name, const VARIANT& value);
    kcom::CComVariant* Find(const std::wstring& name);
    const kcom::CComVariant* Find(const std::wstring& name) const;
    const std::vector<std::pair<std::wstring, kcom::CComVariant>>& Items() const noexcept { return items_; }

private:
    std::vector<std::pair<std::wstring, kcom::CComVariant>> items_;
};

// Objects held under the cookies handed out for them.
template <class I>
class CookieTable {
public:
    explicit CookieTable(DWORD first) noexcept : next_(first) {}
    DWORD Add(I* object) {
        entries_.emplace_back(next_, kcom::CComPtr<I>(object));
        return next_++;
    }
    bool Remove(DWORD cookie) {
        for (auto it = entries_.begin(); it != entries_.end(); ++it) {
            if (it->first == cookie) {
                entries_.erase(it);
                return true;
            }
        }
        return false;
    }
    std::vector<kcom::CComPtr<I>> Objects() const {
        std::vector<kcom::CComPtr<I>> out;
        for (const auto& e : entries_) out.push_back(e.second);
        return out;
    }
    size_t size() const noexcept { return entries_.size(); }

private:
    std::vector<std::pair<DWORD, kcom::CComPtr<I>>> entries_;
    DWORD next_;
};

// Owns one reference to a stand-in object and gives access to its C++ side.
template <class T>
class Holder {
public:
    Holder() = default;
    explicit Holder(kcom::CComObject<T>* p) noexcept : p_(p) { if (p_) p_->AddRef(); }
    Holder(const Holder& o) noexcept : Holder(o.p_) {}
    Holder& operator=(const Holder& o) noexcept {
        Holder copy(o);
        std::swap(p_, copy.p_);
        return *this;
    }
    ~Holder() { if (p_) p_->Release(); }
    static Holder New() {
        kcom::CComObject<T>* p = nullptr;
        if (FAILED(kcom::CComObject<T>::CreateInstance(&p))) throw std::bad_alloc();
        return Holder(p);
    }
    kcom::CComObject<T>* operator->() const noexcept { return p_; }
    kcom::CComObject<T>* get() const noexcept { return p_; }
    template <class I>
    I* as() const noexcept { return static_cast<I*>(p_); }  // not add-ref'd

private:
    kcom::CComObject<T>* p_ = nullptr;
};

// The rack: a table of named objects.
class CRackStandIn : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IObjectRack {
public:
    BEGIN_COM_MAP(CRackStandIn)
        COM_INTERFACE_ENTRY(IObjectRack)
    END_COM_MAP()

    STDMETHOD(SetObject)(BSTR name, IUnknown* object) override;
    STDMETHOD(GetObject)(BSTR name, REFIID iid, IUnknown** object) override;
    STDMETHOD(RemoveObject)(BSTR name) override;

    // Set-up without a log line.
    void Put(const wchar_t* name, IUnknown* object);
    void Drop(const wchar_t* name);
    bool Has(const wchar_t* name) const;
    kcom::CComPtr<IUnknown> Find(const wchar_t* name) const;

    CallLog& Log() noexcept { return log_; }

private:
    std::vector<std::pair<std::wstring, kcom::CComPtr<IUnknown>>> objects_;
    CallLog log_;
};

// A settings node; nodes below it share its log and answer rules.
class CSettingsStandIn : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                         public IKorSettings,
                         public IKorSettingsSections {
public:
    CSettingsStandIn();

    BEGIN_COM_MAP(CSettingsStandIn)
        COM_INTERFACE_ENTRY(IKorSettings)
        COM_INTERFACE_ENTRY(IDispatch)
        COM_INTERFACE_ENTRY(IKorSettingsSections)
    END_COM_MAP()

    // IDispatch: the node has no type information of its own.
    STDMETHOD(GetTypeInfoCount)(UINT* count) override;
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo** info) override;
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    STDMETHOD(Invoke)(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override;

    STDMETHOD(get_Item)(VARIANT* key, VARIANT* value) override;
    STDMETHOD(put_Item)(VARIANT* key, VARIANT value) override;
    STDMETHOD(GetValue)(BSTR section, BSTR name, VARIANT* value, long reserved1, long reserved2) override;
    STDMETHOD(SetValue)(BSTR section, BSTR name, VARIANT value, long arg1, long arg2, long arg3, long arg4,
                        long arg5) override;
    STDMETHOD(GetSubKeys)(BSTR section, SAFEARRAY** names) override;
    STDMETHOD(GetValues)(BSTR section, SAFEARRAY** values) override;
    STDMETHOD(GetProductRegRoot)(BSTR* root) override;

    STDMETHOD(SectionExists)(BSTR section, VARIANT_BOOL* exists) override;
    STDMETHOD(CreateSection)(BSTR section) override;

    // Set-up without log lines. Sections are backslash paths below this node, created as needed.
    void Put(const wchar_t* section, const wchar_t* name, const VARIANT& value);
    void Put(const wchar_t* section, const wchar_t* name, const wchar_t* text);
    void Put(const wchar_t* section, const wchar_t* name, long number);
    CSettingsStandIn* AddSection(const wchar_t* section);
    // The value as stored, or VT_EMPTY.
    kcom::CComVariant Peek(const wchar_t* section, const wchar_t* name) const;
    bool HasSection(const wchar_t* section) const;

    // Answer rules, shared by the whole tree.
    void SetMissingResult(HRESULT hr) noexcept { shared_->missing = hr; }
    void SetSectionsResult(HRESULT hr) noexcept { shared_->sectionsResult = hr; }
    // A null root makes GetProductRegRoot answer a null BSTR with S_OK.
    void SetProductRoot(const wchar_t* root, HRESULT hr = S_OK);

    CallLog& Log() noexcept { return shared_->log; }

private:
    struct Shared {
        CallLog log;
        HRESULT missing = E_FAIL;
        HRESULT sectionsResult = S_OK;
        std::optional<std::wstring> productRoot;
        HRESULT productRootResult = E_FAIL;
    };
    using Node = Holder<CSettingsStandIn>;

    void Record(std::wstring line);
    CSettingsStandIn* Walk(const wchar_t* section, bool create);
    const CSettingsStandIn* Walk(const wchar_t* section) const;
    CSettingsStandIn* Child(const std::wstring& name, bool create);
    const CSettingsStandIn* Child(const std::wstring& name) const;

    std::shared_ptr<Shared> shared_;
    std::wstring path_;  // below the root; "" for the root
    NamedValues values_;
    std::vector<std::pair<std::wstring, Node>> children_;
};

// The host application object.
class CHostApplicationStandIn : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                                public IKorHostApplication {
public:
    BEGIN_COM_MAP(CHostApplicationStandIn)
        COM_INTERFACE_ENTRY(IKorHostApplication)
    END_COM_MAP()

    STDMETHOD(ShowMessageBox)(long owner, BSTR text, BSTR caption, long type, long* answer) override;
    STDMETHOD(GetValue)(BSTR name, VARIANT* value) override;

    void Put(const wchar_t* name, const VARIANT& value);
    // What ShowMessageBox answers; without an answer the out value is left alone.
    void SetMessageBoxAnswer(std::optional<long> answer, HRESULT hr = S_OK) noexcept {
        answer_ = answer;
        boxResult_ = hr;
    }
    CallLog& Log() noexcept { return log_; }

private:
    NamedValues values_;
    std::optional<long> answer_ = IDOK;
    HRESULT boxResult_ = S_OK;
    CallLog log_;
};

// The host's query engine ("StdPackageQueryEngine"): answers QueryValue from a table of
// property values, records the engines registered with it.
class CQueryEngineStandIn : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                            public IKorQuery,
                            public IKorQueryRegistration {
public:
    BEGIN_COM_MAP(CQueryEngineStandIn)
        COM_INTERFACE_ENTRY(IKorQuery)
        COM_INTERFACE_ENTRY(IKorQueryRegistration)
    END_COM_MAP()

    STDMETHOD(QueryIdFromContainer)(SAFEARRAY* psaProp, IDispatch* pContainer, SAFEARRAY** ppsaRO,
                                    QueryIdInfo* pInfo, SAFEARRAY* psaFormats) override;
    STDMETHOD(QueryIdFromSet)(SAFEARRAY* psaProp, SAFEARRAY** ppsaRO) override;
    // Fills column 1 of each row whose column 0 names a known property.
    STDMETHOD(QueryValue)(IRuntimeID* pRO, SAFEARRAY* psaProp) override;
    STDMETHOD(RegisterQuery)(BSTR progId, BSTR name, long arg1, long arg2, long arg3) override;

    void PutValue(const wchar_t* property, const VARIANT& value);
    void SetQueryResult(HRESULT hr) noexcept { queryResult_ = hr; }
    void SetRegisterResult(HRESULT hr) noexcept { registerResult_ = hr; }
    CallLog& Log() noexcept { return log_; }
    // The column count of the last value table.
    LONG LastColumns() const noexcept { return lastColumns_; }

private:
    NamedValues values_;
    LONG lastColumns_ = 0;
    HRESULT queryResult_ = S_OK;
    HRESULT registerResult_ = S_OK;
    CallLog log_;
};

// Text of a SAFEARRAY of VARIANTs, element by element in storage order: "[I4:1,BSTR:x]";
// "(null)" for none.
std::wstring ArrayText(SAFEARRAY* psa);

// A step that a test object handed to the record manager, copied while the call ran.
struct RecordedStep {
    std::wstring format;            // name of the clipboard format
    kcom::CComPtr<IDispatch> object;
    std::wstring method;
    std::wstring arguments;         // ArrayText of the arguments
    DWORD tick = 0;                 // when it came
};

// The host's record manager: records the factories and services registered with it, the steps
// that test objects hand it as data, and what test objects ask of its package services and its
// recording state.
class CRecordMgrStandIn : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                          public IKorRecordRegistration,
                          public IKorDataTarget,
                          public IPackageServices5,
                          public IKorRecordMgrState {
public:
    BEGIN_COM_MAP(CRecordMgrStandIn)
        COM_INTERFACE_ENTRY(IKorRecordRegistration)
        COM_INTERFACE_ENTRY(IKorDataTarget)
        COM_INTERFACE_ENTRY2(IPackageServices, IPackageServices5)
        COM_INTERFACE_ENTRY2(IPackageServices2, IPackageServices5)
        COM_INTERFACE_ENTRY2(IPackageServices3, IPackageServices5)
        COM_INTERFACE_ENTRY2(IPackageServices4, IPackageServices5)
        COM_INTERFACE_ENTRY(IPackageServices5)
        COM_INTERFACE_ENTRY(IKorRecordMgrState)
    END_COM_MAP()

    // Answers a fresh registration object of its own, which RegisterServer can be given back.
    STDMETHOD(RegisterFactory)(BSTR progId, KorClassDescriptor descriptor, long arg, IUnknown** registered) override;
    STDMETHOD(RegisterServer)(IUnknown* server, KorClassDescriptor descriptor, long arg) override;
    // Reads the 12-byte step record {IDispatch*, method text, arguments} during the call.
    STDMETHOD(ReceiveData)(FORMATETC* format, STGMEDIUM* medium, ULONG* answer) override;

    // Package services: test objects of runtime identifiers and the command operation; the
    // other methods are recorded and answer E_NOTIMPL.
    STDMETHOD(BuildDescriptionForChildren)(IDispatch* object, SAFEARRAY** description, VARIANT filter) override;
    STDMETHOD(Reserved1)() override;
    // Through the package services set by the test; without them a plain object of its own.
    STDMETHOD(CreateTestObjFromRuntimeId)(IRuntimeID* id, IDispatch** object) override;
    STDMETHOD(CreateTestObjsForTable)(SAFEARRAY** rows) override;
    // Records the service, the request and the arguments (an array, also in the by-reference
    // form whose data word is the array itself); the output becomes VT_I4 of the command answer.
    STDMETHOD(QueryClassService)(GUID* service, long request, VARIANT* input, VARIANT* output) override;
    STDMETHOD(Reserved2)() override;
    STDMETHOD(CreateTestObjFromWindow)(HWND window, IDispatch** object) override;
    STDMETHOD(Reserved3)() override;
    STDMETHOD(FillRuntimeValuesForObjects)(long arg1, SAFEARRAY* objects, long arg3) override;
    STDMETHOD(GetRecordingState)(long* state) override;

    void SetPackageServices(IPackageServices* services) { services_ = services; }
    // The HRESULT that the command operation hands back in its output.
    void SetCommandAnswer(HRESULT answer) noexcept { commandAnswer_ = answer; }
    void SetRecordingState(long state, HRESULT hr = S_OK) noexcept {
        recordingState_ = state;
        stateResult_ = hr;
    }
    // The test objects handed out, in order.
    const std::vector<kcom::CComPtr<IDispatch>>& Created() const noexcept { return created_; }

    // The registration objects handed out, in order.
    const std::vector<kcom::CComPtr<IUnknown>>& Registrations() const noexcept { return registrations_; }
    const std::vector<RecordedStep>& Steps() const noexcept { return steps_; }
    void SetResult(HRESULT hr) noexcept { result_ = hr; }
    // What ReceiveData writes into its answer and returns.
    void SetDataAnswer(ULONG answer, HRESULT hr = S_OK) noexcept {
        dataAnswer_ = answer;
        dataResult_ = hr;
    }
    CallLog& Log() noexcept { return log_; }

private:
    std::wstring Describe(const KorClassDescriptor& d) const;
    std::vector<kcom::CComPtr<IUnknown>> registrations_;
    std::vector<RecordedStep> steps_;
    HRESULT result_ = S_OK;
    ULONG dataAnswer_ = 0;
    HRESULT dataResult_ = S_OK;
    kcom::CComPtr<IPackageServices> services_;
    std::vector<kcom::CComPtr<IDispatch>> created_;
    HRESULT commandAnswer_ = S_OK;
    long recordingState_ = 0;
    HRESULT stateResult_ = S_OK;
    CallLog log_;
};

// The host's event connector and input channel: advise and registration cookies, recorded.
class CEventConnectorStandIn : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                               public IKorEventConnector {
public:
    BEGIN_COM_MAP(CEventConnectorStandIn)
        COM_INTERFACE_ENTRY(IKorEventConnector)
    END_COM_MAP()
    STDMETHOD(Advise)(IUnknown* sink, long reserved, REFIID iid, DWORD* cookie) override;
    STDMETHOD(Unadvise)(DWORD cookie) override;
    // Sinks still advised, by cookie.
    size_t AdvisedCount() const noexcept { return sinks_.size(); }
    // The advised sinks that answer I, in advise order (to fire the host's events at them).
    template <class I>
    std::vector<kcom::CComPtr<I>> Sinks() const {
        std::vector<kcom::CComPtr<I>> out;
        for (const auto& sink : sinks_.Objects()) {
            kcom::CComPtr<I> typed;
            if (SUCCEEDED(sink.QueryInterface(typed.Put())) && typed) out.push_back(typed);
        }
        return out;
    }
    CallLog& Log() noexcept { return log_; }
    // Makes every later advise for iid fail with hr.
    void RefuseAdvise(REFIID iid, HRESULT hr) noexcept { refusedIid_ = iid; refusal_ = hr; }

private:
    CookieTable<IUnknown> sinks_{1};
    CallLog log_;
    IID refusedIid_ = IID_NULL;
    HRESULT refusal_ = S_OK;
};

class CInputChannelStandIn : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                             public IKorInputChannel {
public:
    BEGIN_COM_MAP(CInputChannelStandIn)
        COM_INTERFACE_ENTRY(IKorInputChannel)
    END_COM_MAP()
    STDMETHOD(RegisterDataTarget)(IKorDataTarget* target, unsigned short mask, DWORD* cookie) override;
    STDMETHOD(UnregisterDataTarget)(DWORD cookie) override;
    // Targets still registered, as the recorder would feed them.
    std::vector<kcom::CComPtr<IKorDataTarget>> Targets() const { return targets_.Objects(); }
    CallLog& Log() noexcept { return log_; }

private:
    CookieTable<IKorDataTarget> targets_{100};
    CallLog log_;
};

// Raised by a stand-in that cannot make what a test relies on (a class registration, a registry
// write), so that the test fails even where it never asks how the set-up went: gtest reports the
// message as the case's failure, and the guards made so far put back what they saved on the way
// out. Stand-ins are linked into their programs, and a COM method that sets one up (KorTest.Host's
// Start) guards it: it crosses no module or COM boundary.
class SetUpFailure : public std::runtime_error {
public:
    SetUpFailure(const std::wstring& what, HRESULT hr);
};

// Makes a class creatable in-process by CLSID, each creation through the creator (a singleton's
// creation once, for every caller), for as long as the registration lives.
class CClassRegistration {
public:
    CClassRegistration(REFCLSID clsid, kcom::CreatorFn creator, bool singleton = false);
    ~CClassRegistration();
    CClassRegistration(const CClassRegistration&) = delete;
    CClassRegistration& operator=(const CClassRegistration&) = delete;
    HRESULT Result() const noexcept { return hr_; }

protected:
    CClassRegistration() = default;
    void Register(REFCLSID clsid, IUnknown* classObject, DWORD context = CLSCTX_INPROC_SERVER);

private:
    DWORD cookie_ = 0;
    HRESULT hr_ = E_FAIL;
};

// Registers one object as a class for in-process creation (or, with CLSCTX_LOCAL_SERVER, for
// other processes), for as long as the registration lives. Every creation hands out that same
// object.
class CObjectRegistration : public CClassRegistration {
public:
    CObjectRegistration(REFCLSID clsid, IUnknown* object, DWORD context = CLSCTX_INPROC_SERVER);
};

// HKEY_CLASSES_ROOT\<ProgID>\CLSID naming clsid for as long as it lives (Wine reads ProgIDs from
// the machine's classes only), then the key as it was before; SetUpFailure when it cannot be
// written. The machine's classes are shared by every test program: a program that names a fixed
// ProgID holds the one registry lock.
class CProgIdKey {
public:
    CProgIdKey(const wchar_t* progId, REFCLSID clsid);
    CProgIdKey(const CProgIdKey&) = delete;
    CProgIdKey& operator=(const CProgIdKey&) = delete;

private:
    CRegistryRestore restore_;
};

// A class created by ProgID for as long as the registration lives: the class object as in
// CClassRegistration, and its ProgID as in CProgIdKey; SetUpFailure when either cannot be made.
class CProgIdRegistration : public CClassRegistration {
public:
    CProgIdRegistration(const wchar_t* progId, REFCLSID clsid, kcom::CreatorFn creator);

private:
    std::optional<CProgIdKey> key_;
};

// The host application object as the process's class KorHostApplication.
class CHostApplicationRegistration : public CObjectRegistration {
public:
    explicit CHostApplicationRegistration(IUnknown* application)
        : CObjectRegistration(CLSID_KorHostApplication, application) {}
};

}  // namespace standin
