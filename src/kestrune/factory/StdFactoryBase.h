#pragma once
// The generic half of the package's test-object factory: the record formats, the object cache,
// test objects for runtime identifiers with their rack and parent, and the pipeline that turns a
// kept recorder record into a test object for the host's factory site. Every choice that depends
// on the kind of control is a virtual operation of the concrete factory.
#include <windows.h>
#include <oaidl.h>
#include <map>
#include <string>
#include <vector>
#include "com/ComBSTR.h"
#include "com/ComPtr.h"
#include "com/ComVariant.h"
#include "factory/ObjCache.h"
#include "tables/KorSafeArray.h"
#include "tables/RuntimeId.h"
#include "host.h"
#include "kestrune.h"

// The base's interfaces in the order the concrete class's COM map answers them; the concrete
// class adds IObjectRackClient after them.
#define STD_FACTORY_BASE_INTERFACES()                                  \
    COM_INTERFACE_ENTRY2(ITestObjFactory, ITestObjFactory2)            \
    COM_INTERFACE_ENTRY(ITestObjFactory2)                              \
    COM_INTERFACE_ENTRY2(IPackageServices, IPackageServices5)          \
    COM_INTERFACE_ENTRY2(IPackageServices2, IPackageServices5)         \
    COM_INTERFACE_ENTRY2(IPackageServices3, IPackageServices5)         \
    COM_INTERFACE_ENTRY2(IPackageServices4, IPackageServices5)         \
    COM_INTERFACE_ENTRY(IPackageServices5)                             \
    COM_INTERFACE_ENTRY(IKorDataTarget)

class CStdFactoryBase : public ITestObjFactory2, public IPackageServices5, public IKorDataTarget {
public:
    // Answer codes of a record receiver.
    static constexpr ULONG kNotMine = 8;
    static constexpr ULONG kNotRecorded = 1;
    static constexpr ULONG kHandedOver = 4;

    // Values of the skip lists.
    static constexpr long kSkipAtAnyLevel = 1;
    static constexpr long kSkipWindowOnly = 2;

    // The class service that answers class names (request 3).
    static const GUID kClassNameService;
    // The host's component that gathers run-time values of several objects.
    static const CLSID kRuntimeValuesClsid;

    explicit CStdFactoryBase(bool cacheEnabled);
    CStdFactoryBase(const CStdFactoryBase&) = delete;
    CStdFactoryBase& operator=(const CStdFactoryBase&) = delete;

    // ITestObjFactory
    STDMETHOD(SetFactorySite)(ITestObjFactorySite* site, long fAddRef) override;
    STDMETHOD(CreateParentTestObj)(IDispatch* child, IDispatch** parent) override;
    STDMETHOD(CreateTestObjFromPoint)(long x, long y, IUnknown* reserved, IDispatch** object) override;
    STDMETHOD(CreateTextObjFromPoint)(long x, long y, IUnknown* reserved, IDispatch** object) override;
    STDMETHOD(FillArrayFromPoint)(long x, long y, SAFEARRAY** objects) override;
    // ITestObjFactory2, IPackageServices
    STDMETHOD(Reserved1)() override;
    STDMETHOD(BuildDescriptionForChildren)(IDispatch* testObject, SAFEARRAY** description, VARIANT filter) override;
    STDMETHOD(CreateTestObjFromRuntimeId)(IRuntimeID* id, IDispatch** object) override;
    STDMETHOD(CreateTestObjsForTable)(SAFEARRAY** rows) override;
    // IPackageServices2 .. 5
    STDMETHOD(QueryClassService)(GUID* service, long request, VARIANT* input, VARIANT* output) override;
    STDMETHOD(Reserved2)() override;
    STDMETHOD(CreateTestObjFromWindow)(HWND window, IDispatch** object) override;
    STDMETHOD(Reserved3)() override;
    STDMETHOD(FillRuntimeValuesForObjects)(long arg1, SAFEARRAY* objects, long arg3) override;
    // IKorDataTarget
    STDMETHOD(ReceiveData)(FORMATETC* format, STGMEDIUM* medium, ULONG* mdRet) override;

    // Virtual operations, in slot order after the interface methods.
    virtual ~CStdFactoryBase();
    // S_FALSE: the record is dealt with here; S_OK: it goes on to HandleRecord.
    virtual HRESULT PreCheckRecord(FORMATETC* format, STGMEDIUM* medium, ULONG* mdRet);
    // S_OK with the identifier of the record's window; anything else records nothing.
    virtual HRESULT HandleRecord(FORMATETC* format, STGMEDIUM* medium, ULONG* mdRet, CRuntimeId& out);
    // True keeps the record.
    virtual bool FilterRecord(FORMATETC* format, STGMEDIUM* medium, ULONG* mdRet, CRuntimeId id);
    virtual HRESULT GetClassDescriptor(IDispatch* object, KorClassDescriptor* descriptor) = 0;
    // A step recorded by a test object: its "visible" is turned off when its window is hidden.
    virtual HRESULT HandleRecordedStep(FORMATETC* format, STGMEDIUM* medium, ULONG* mdRet);
    // Both CLSIDs start as GUID_NULL; anything but S_OK creates nothing.
    virtual HRESULT GetClassIds(CRuntimeId& id, CLSID* primary, CLSID* fallback) = 0;
    // Gives a new object its parent through the factory site.
    virtual HRESULT InitObject(CRuntimeId& id, IDispatch* object);
    virtual HRESULT GetClassNameForId(CRuntimeId& id, BSTR* name);
    virtual bool IsOwnFormat(UINT format);
    virtual bool IsOwnClassName(BSTR name);
    // Fills the values of a run-time values table (row 0: names from column 2; column 0: objects).
    virtual HRESULT FillRuntimeValues(long arg1, SAFEARRAY* table, long arg3);
    virtual bool IsRecording();
    virtual bool IsReplaying();
    virtual void RegisterFormats();
    virtual HRESULT CacheGet(CRuntimeId& id, IDispatch** out);
    virtual HRESULT CachePut(CRuntimeId& id, IDispatch* object);
    virtual HRESULT CacheRemove(CRuntimeId& id);
    virtual HRESULT CacheClear();
    // The first object along the chain that answers the child link (A) or the parent link (B).
    virtual HRESULT FindInChainA(IUnknown* start, IUnknown** out);
    virtual HRESULT FindInChainB(IUnknown* start, IUnknown** out);

    // Reads the skip lists of the application settings, each with an extra key of the concrete
    // factory when that is non-empty.
    HRESULT LoadSkipLists(IObjectRack* rack, const wchar_t* extraClassesKey, const wchar_t* extraTitlesKey);
    // Whether recording on the window is to be left out (skip lists, the Run dialog).
    bool IsSkippedWindow(HWND window);
    // The test-object class that the settings map the window to.
    HRESULT GetObjectClass(HWND window, BSTR* out);

    UINT WindowFormat() const noexcept { return m_windowFormat; }
    UINT StdMenuFormat() const noexcept { return m_cfStdMenu; }
    // A new identifier of the window format for the window; null when it cannot be made.
    CRuntimeId WindowId(HWND window) const;

protected:
    // Counts a format registered at load among this factory's own.
    void AddOwnFormat(const wchar_t* name, UINT format);
    // The concrete object's controlling unknown, kept without a reference.
    void SetOwnUnknown(IUnknown* unknown) noexcept { m_ownUnknown = unknown; }
    IKorSettings* ApplicationSettings();
    IKorQuery* QueryEngine();
    ITestObjFactorySite* Site() const noexcept { return m_site; }

private:
    using SkipMap = std::map<std::wstring, long>;

    // A two-dimensional VARIANT table; the caller's tables are checked before they are read.
    static bool IsVariantTable(SAFEARRAY* psa) noexcept;
    static kcom::CComVariant Cell(const CKorSafeArray& table, ULONG row, ULONG col);
    // A test-object property by name; the flags, type and compare type are not asked for.
    static HRESULT ReadProp(IUnknown* object, const wchar_t* name, VARIANT* value);
    static HRESULT WriteProp(IUnknown* object, const wchar_t* name, const VARIANT& value);

    HRESULT HandOver(IDispatch* object, ULONG* mdRet);
    HWND NotifySource(HWND window, DWORD address) const;
    bool ReadRunState(const wchar_t* name);
    HRESULT FindInChain(REFIID wanted, IUnknown* start, IUnknown** out);
    void ReadSkipList(IKorSettings* settings, const wchar_t* key, SkipMap& map);
    static bool SkipsAt(const SkipMap& map, const std::wstring& key, bool startingWindow);
    HRESULT LookUpClassMap(BSTR name, BSTR* out);
    kcom::CComBSTR QueryObjectClass(HWND window);

    // The site and its hand-over interface; the owning pointers hold them only when fAddRef was set.
    ITestObjFactorySite* m_site = nullptr;
    ITestObjFactorySite2* m_site2 = nullptr;
    kcom::CComPtr<ITestObjFactorySite> m_siteRef;
    kcom::CComPtr<ITestObjFactorySite2> m_site2Ref;
    UINT m_windowFormat = 0;
    UINT m_cfSofHacklata = 0;
    UINT m_cfRecordedSteps = 0;  // "FormatVovuvarShellTestObjects"
    IUnknown* m_ownUnknown = nullptr;
    CObjCache m_cache;
    bool m_cacheEnabled;
    UINT m_cfStdMenu = 0;  // "RuntimeIdForStdMenu"
    UINT m_cfTchilatHacklata = 0;
    std::vector<std::pair<kcom::CComBSTR, UINT>> m_formats;
    SkipMap m_skipClasses;
    SkipMap m_skipTitles;
    kcom::CComPtr<IKorQuery> m_queryEngine;
    kcom::CComPtr<IKorSettings> m_settings;
};
