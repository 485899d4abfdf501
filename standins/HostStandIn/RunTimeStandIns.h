#pragma once
// Stand-ins for the host objects that a test object's script methods create or are handed: the
// property collection, the test-object collection, checkpoint and output objects, and ProgIDs of
// the host's classes. Each records every call as a text line.
#include <windows.h>
#include <functional>
#include <string>
#include <vector>
#include "HostStandIn.h"

namespace standin {

// IDispatch of a host object that scripts do not reach by name.
template <class Itf>
class CNoNamesDispatch : public Itf {
public:
    STDMETHOD(GetTypeInfoCount)(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo** info) override {
        if (info) *info = nullptr;
        return E_NOTIMPL;
    }
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
    STDMETHOD(Invoke)(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }
};

// One item of the property collection.
class CPropertyItemStandIn : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                             public CNoNamesDispatch<IKorPropertyItem> {
public:
    BEGIN_COM_MAP(CPropertyItemStandIn)
        COM_INTERFACE_ENTRY(IKorPropertyItem)
        COM_INTERFACE_ENTRY(IDispatch)
    END_COM_MAP()
    STDMETHOD(GetValue)(VARIANT* value) override { return value_.CopyTo(value); }
    STDMETHOD(SetValue)(VARIANT value) override { return value_.Copy(value); }
    STDMETHOD(GetName)(VARIANT* name) override { return kcom::CComVariant(name_.c_str()).CopyTo(name); }
    STDMETHOD(Reserved)() override { return E_NOTIMPL; }
    STDMETHOD(GetFlag)(VARIANT_BOOL* flag) override {
        if (!flag) return E_POINTER;
        *flag = flag_;
        return S_OK;
    }
    STDMETHOD(SetFlag)(VARIANT_BOOL flag) override {
        flag_ = flag;
        return S_OK;
    }
    std::wstring name_;
    kcom::CComVariant value_;
    VARIANT_BOOL flag_ = VARIANT_FALSE;
};

// "Quorvel.PropertyCollection": items by name (made on first request) or by index.
class CPropertyCollectionStandIn : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                                   public CNoNamesDispatch<IKorPropertyCollection> {
public:
    BEGIN_COM_MAP(CPropertyCollectionStandIn)
        COM_INTERFACE_ENTRY(IKorPropertyCollection)
        COM_INTERFACE_ENTRY(IDispatch)
    END_COM_MAP()
    STDMETHOD(Item)(VARIANT key, IDispatch** item) override;
    STDMETHOD(Count)(long* count) override;

    Holder<CPropertyItemStandIn> Add(const wchar_t* name, const VARIANT& value, VARIANT_BOOL flag);
    // "name=value/flag;..." of every item.
    std::wstring Text() const;
    // Items answered for an index at or above this are refused.
    void SetItemLimit(long limit) noexcept { limit_ = limit; }
    CallLog& Log() noexcept { return log_; }

private:
    std::vector<Holder<CPropertyItemStandIn>> items_;
    long limit_ = 0x7FFFFFFF;
    CallLog log_;
};

// "Quorvel.TOCollection": takes run-time objects in and makes a child test object for each through
// the test's maker.
class CTOCollectionStandIn : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>,
                             public IKorTOCollection,
                             public CNoNamesDispatch<IKorTOCollectionItems>,
                             public IObjectRackClient {
public:
    using Maker = std::function<HRESULT(IUnknown* id, IDispatch** child)>;
    BEGIN_COM_MAP(CTOCollectionStandIn)
        COM_INTERFACE_ENTRY(IKorTOCollection)
        COM_INTERFACE_ENTRY(IKorTOCollectionItems)
        COM_INTERFACE_ENTRY(IDispatch)
        COM_INTERFACE_ENTRY(IObjectRackClient)
    END_COM_MAP()
    STDMETHOD(AddIds)(SAFEARRAY* ids) override;
    STDMETHOD(Item)(long index, IDispatch** item) override;
    STDMETHOD(Count)(long* count) override;
    STDMETHOD(SetRack)(IObjectRack* rack) override;
    STDMETHOD(GetRack)(IObjectRack** rack) override;

    void SetMaker(Maker maker) { maker_ = std::move(maker); }
    void SetAddResult(HRESULT hr) noexcept { addResult_ = hr; }
    const std::vector<kcom::CComPtr<IDispatch>>& Items() const noexcept { return items_; }
    CallLog& Log() noexcept { return log_; }

private:
    std::vector<kcom::CComPtr<IDispatch>> items_;
    kcom::CComPtr<IObjectRack> rack_;
    Maker maker_;
    HRESULT addResult_ = S_OK;
    CallLog log_;
};

// A checkpoint or output object of the host: "Check" and "Output" reached by name.
class CCheckpointStandIn : public kcom::CComObjectRootEx<kcom::CComSingleThreadModel>, public IDispatch {
public:
    BEGIN_COM_MAP(CCheckpointStandIn)
        COM_INTERFACE_ENTRY(IDispatch)
    END_COM_MAP()
    STDMETHOD(GetTypeInfoCount)(UINT* count) override;
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo** info) override;
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    STDMETHOD(Invoke)(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                      UINT*) override;

    // What "Check" answers (VT_I1 -1 unless set) and what both calls return.
    void SetAnswer(const VARIANT& answer, HRESULT hr = S_OK) {
        answer_ = answer;
        result_ = hr;
    }
    CallLog& Log() noexcept { return log_; }

private:
    kcom::CComVariant answer_{-1L, VT_I1};
    HRESULT result_ = S_OK;
    CallLog log_;
};

}  // namespace standin
