#pragma once
// The IDispatch of the ActiveX test object. Without custom objects it is the default dispatch
// interface (Disp2DualImpl); once custom support adds a source, the merged interface of
// CMultiTypeInfoWrapper answers. Before names are resolved, custom support gets its chance to
// make its objects.
//
// T: the concrete test object, deriving from Disp2DualImpl<T> and offering GetRack,
// IsReplayInterrupted and EnsureCustomObjects.
#include <windows.h>
#include <oaidl.h>
#include "activex/dispatch/Disp2DualImpl.h"
#include "activex/dispatch/DispatchError.h"
#include "activex/dispatch/IMultiDispatch.h"
#include "activex/dispatch/MultiTypeInfoWrapper.h"
#include "com/ComBSTR.h"
#include "host.h"
#include "host/TestObjectSettings.h"

// Names that never make custom objects: the test-object methods a script calls before any
// custom object could matter.
bool IsCustomHookExemptName(const wchar_t* name) noexcept;

template <class T>
class MultiDisp2DualImpl : public IMultiDispatch {
public:
    MultiDisp2DualImpl() noexcept { CMultiTypeInfoWrapper::Create(&wrapper_); }
    ~MultiDisp2DualImpl() {
        if (!wrapper_) return;
        // A merged ITypeInfo handed out may outlive the object; it must not reach it then.
        wrapper_->ForgetUnownedSources();
        wrapper_->Release();
    }
    MultiDisp2DualImpl(const MultiDisp2DualImpl&) = delete;
    MultiDisp2DualImpl& operator=(const MultiDisp2DualImpl&) = delete;

    STDMETHOD(GetTypeInfoCount)(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    STDMETHOD(GetTypeInfo)(UINT index, LCID lcid, ITypeInfo** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        return CDispatchError::Guard(nullptr, [&] {
            // A running, unpaused replay never makes custom objects from here.
            if (Owner()->IsReplayInterrupted()) Owner()->EnsureCustomObjects();
            if (Merged()) return wrapper_->GetMergedTypeInfo(index, out);
            return DefaultDual()->GetTypeInfo(index, lcid, out);
        });
    }
    STDMETHOD(GetIDsOfNames)(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
        const HRESULT checked = kcom::CheckNames(names, count, ids);
        if (FAILED(checked)) return checked;
        return CDispatchError::Guard(nullptr, [&] {
            if (count && names && names[0] && !IsExempt(names[0])) Owner()->EnsureCustomObjects();
            if (Merged()) return wrapper_->ResolveNames(names, count, ids);
            return DefaultDual()->GetIDsOfNames(riid, names, count, lcid, ids);
        });
    }
    STDMETHOD(Invoke)(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* excepInfo, UINT* argErr) override {
        reportNode_ = -1;
        const HRESULT checked = kcom::BeginInvoke(params, excepInfo, result);
        if (FAILED(checked)) return checked;
        return CDispatchError::Guard(excepInfo, [&] {
            if (Merged()) return wrapper_->InvokeMember(id, riid, lcid, flags, params, result, excepInfo, argErr);
            return DefaultDual()->Invoke(id, riid, lcid, flags, params, result, excepInfo, argErr);
        });
    }

    STDMETHOD(AddDispatch)(IDispatch* source) override {
        if (!wrapper_) return E_OUTOFMEMORY;
        HRESULT hr = S_OK;
        // The default interface is held without a reference: it is the object itself.
        if (wrapper_->SourceCount() == 0) hr = wrapper_->Add(DefaultDual(), false);
        if (SUCCEEDED(hr) && source) hr = wrapper_->Add(source);
        return hr;
    }
    STDMETHOD(GetDefaultDispatch)(IDispatch** out) override {
        if (!out) return E_POINTER;
        *out = DefaultDual();
        (*out)->AddRef();
        return S_OK;
    }

    // The report node of custom support's call-backs; every Invoke resets it to -1.
    LONG ReportNode() const noexcept { return reportNode_; }
    void SetReportNode(LONG node) noexcept { reportNode_ = node; }

private:
    T* Owner() noexcept { return static_cast<T*>(this); }
    IDispatch* DefaultDual() noexcept { return static_cast<Disp2DualImpl<T>*>(Owner()); }
    bool Merged() const noexcept { return wrapper_ && wrapper_->SourceCount() > 0; }
    // A name of the fixed list, or of a test-object class the host's settings name.
    bool IsExempt(const wchar_t* name) {
        if (IsCustomHookExemptName(name)) return true;
        kcom::CComPtr<IObjectRack> rack;
        if (FAILED(Owner()->GetRack(rack.Put())) || !rack) return false;
        kcom::CComBSTR className(name);
        CLSID clsid;
        return SUCCEEDED(ReadClsid(className, &clsid, rack));
    }

    CMultiTypeInfoWrapper* wrapper_ = nullptr;  // owned
    LONG reportNode_ = -1;
};
