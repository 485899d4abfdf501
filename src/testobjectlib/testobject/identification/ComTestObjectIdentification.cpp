// Finding the run-time object that the description names: search passes through the host's query
// engine, narrowed by the visual relations, the identification algorithm and the last-resort
// selector, repeated while a replay runs and time remains.
#include <algorithm>
#include "com/ComError.h"
#include "errors/TestObjectError.h"
#include "host/RackServices.h"
#include "testobject/clock/TestObjectClock.h"
#include "testobject/core/ComTestObject.h"
#include "testobject/core/ParentLevel.h"
#include "testobject/core/TestObjectGuard.h"
#include "testobject/identification/CandidateLists.h"
#include "testobject/identification/VisualRelations.h"
#include "testobject/settings/Selectors.h"

namespace {

constexpr long kDefaultTimeout = 10000;
constexpr long kDefaultDelay = 500;
constexpr ULONG kIdentificationFlag = 0x10;
constexpr ULONG kLastResortFlag = 0x400;

kcom::CComVariant ObjectValue(IUnknown* object) { return kcom::CComVariant(object); }

kcom::CComVariant ErrorValue(HRESULT hr) noexcept {
    kcom::CComVariant v;
    v.vt = VT_ERROR;
    v.scode = hr;
    return v;
}

}  // namespace

// ---- Names and values of the description --------------------------------------------------------

HRESULT CComTestObject::GetInfoProps(ULONG flags, SAFEARRAY** names) {
    if (!names) return E_POINTER;
    *names = nullptr;
    if (!m_outer) return ITestObjectInfo_GetProps(names, flags);
    kcom::CComPtr<ITestObjectInfo> info = Outer<ITestObjectInfo>();
    return info ? info->GetProps(names, flags) : E_NOINTERFACE;
}

long CComTestObject::ReadFindOption(BSTR name, long fallback) {
    kcom::CComVariant value;
    if (FAILED(GetTestOption(L"", name, value.Put()))) return fallback;
    if (value.vt == VT_BSTR) value.ChangeType(VT_I4);
    return value.vt == VT_I4 ? value.lVal : fallback;
}

HRESULT CComTestObject::StoreFoundObject(const VARIANT& value) {
    return TestObjectGuard([&] {
        kcom::CComBSTR name(L"objectid");
        return ITestObjectInfo_put_PropExpr(name, nullptr, nullptr, nullptr, value);
    });
}

// ---- The query step ----------------------------------------------------------------------------

HRESULT CComTestObject::Desc2Handle(SAFEARRAY** candidates, QueryIdInfo* context) {
    if (!candidates) return E_POINTER;
    *candidates = nullptr;
    kcom::CComPtr<IObjectRack> rack = Rack();
    kcom::CComPtr<IKorQuery> engine;
    if (!rack || FAILED(GetRackService(rack, RackName::StdPackageQueryEngine, engine.Put()))) return E_FAIL;
    return TestObjectGuard([&] {
        CKorPtrSafeArray names;
        HRESULT hr = GetInfoProps(kIdentificationFlag, &names.psa);
        if (FAILED(hr)) return hr;
        const ULONG count = names.GetRowCount();
        if (count == 0) return S_FALSE;

        CKorSafeArray table(count, 5, VT_VARIANT);
        for (ULONG r = 0; r < count; ++r) {
            kcom::CComVariant name;
            name.vt = VT_BSTR;
            name.bstrVal = NameAt(names.psa, r).Detach();
            kcom::ThrowIfFailed(table.PutElement(&name, static_cast<LONG>(r), 0));
        }
        kcom::CComPtr<ITestObjectInfo> outer = m_outer ? Outer<ITestObjectInfo>() : nullptr;
        if (m_outer && !outer) return E_NOINTERFACE;
        hr = outer ? outer->FillPropsValues(&table.psa) : ITestObjectInfo_FillPropsValues(&table.psa);
        if (FAILED(hr)) return hr;

        kcom::CComVariant parent;
        kcom::CComBSTR parentName(L"parent");
        m_properties.Get(parentName, parent.Put(), nullptr, nullptr, nullptr, nullptr);
        IDispatch* container = parent.vt == VT_DISPATCH ? parent.pdispVal : nullptr;
        return engine->QueryIdFromContainer(table.psa, container, candidates, context, GetQueryFilter());
    });
}

// ---- Deciding among the candidates -------------------------------------------------------------

HRESULT CComTestObject::TakeFoundObject(IUnknown* found, IUnknown** object, bool directly,
                                        IKorMaintenanceHistory* history) {
    HRESULT hr = StoreFoundObject(ObjectValue(found));
    if (FAILED(hr)) return hr;
    if (directly) m_foundDirectly = 1;
    if (object) {
        *object = found;
        found->AddRef();
    }
    if (!directly && history) history->Notify(found, 1);
    return S_OK;
}

HRESULT CComTestObject::ChooseByAlgorithm(SAFEARRAY* candidates, bool lastChance, IUnknown** chosen) {
    *chosen = nullptr;
    CKorSafeArray result;
    const HRESULT hr = RunIdentificationAlgorithm(candidates, &result, lastChance ? TRUE : FALSE);
    if (FAILED(hr)) return hr;
    if (hr != S_OK || CandidateCount(result.psa) != 1) return S_FALSE;
    CandidateObject(result.psa, 0, chosen);
    return *chosen ? S_OK : S_FALSE;
}

HRESULT CComTestObject::SelectLastResort(SAFEARRAY* candidates, IUnknown** object) {
    return TestObjectGuard([&]() -> HRESULT {
        CKorPtrSafeArray names;
        if (FAILED(GetInfoProps(kLastResortFlag, &names.psa)) || names.GetRowCount() != 1)
            return KOR_E_OBJECT_NOT_UNIQUE;
        kcom::CComBSTR name = NameAt(names.psa, 0);
        kcom::CComVariant value;
        ITestObjectInfo_get_Prop(name, nullptr, nullptr, nullptr, value.Put());

        kcom::CComPtr<IUnknown> created;
        kcom::CComPtr<IKorSelector> selector;
        if (FAILED(CreateSelector(Rack(), name, created.Put())) || FAILED(created.QueryInterface(selector.Put())) ||
            !selector)
            return KOR_E_OBJECT_NOT_UNIQUE;
        kcom::CComPtr<IUnknown> found;
        const HRESULT hr = selector->Choose(candidates, value, found.Put());
        if (FAILED(hr)) return hr == KOR_E_OBJECT_NOT_FOUND ? KOR_E_OBJECT_NOT_FOUND : KOR_E_IDENTIFICATION_FAILED;
        // A selector that answers success without an object has found nothing.
        if (!found) return KOR_E_OBJECT_NOT_FOUND;
        const HRESULT stored = TakeFoundObject(found, object, false, nullptr);
        return FAILED(stored) ? stored : hr;
    });
}

HRESULT CComTestObject::DecideAmongCandidates(SAFEARRAY* candidates, IDispatch* own, IKorMaintenanceHistory* history,
                                              const QueryIdInfo& context, IUnknown** object, bool* algorithmFailed) {
    *algorithmFailed = false;
    const ULONG count = CandidateCount(candidates);
    if (count == 0) return KOR_E_OBJECT_NOT_FOUND;

    CKorSafeArray filtered;
    const HRESULT relations = FilterByVisualRelations(own, Rack(), candidates, &filtered.psa);
    const ULONG left = CandidateCount(filtered.psa);
    if (count == 1) {
        if (FAILED(relations) || (relations == S_OK && left != 1)) return KOR_E_OBJECT_NOT_FOUND;
        kcom::CComPtr<IUnknown> only;
        CandidateObject(candidates, 0, only.Put());
        if (!only) return KOR_E_OBJECT_NOT_FOUND;
        return TakeFoundObject(only, object, true, history);
    }

    const bool lastChance = IsReplayInterrupted() || context.timeout <= 0;
    const bool relationsApply = FAILED(relations) || relations == S_OK;
    if (relationsApply && left == 1) {
        kcom::CComPtr<IUnknown> survivor;
        CandidateObject(filtered.psa, 0, survivor.Put());
        if (survivor) return TakeFoundObject(survivor, object, true, history);
    }
    kcom::CComPtr<IUnknown> chosen;
    const HRESULT algorithm = ChooseByAlgorithm(candidates, lastChance, chosen.Put());
    if (FAILED(algorithm)) {
        *algorithmFailed = true;
        return algorithm;
    }
    if (chosen) return TakeFoundObject(chosen, object, false, history);
    if (relationsApply) return left == 0 ? KOR_E_OBJECT_NOT_FOUND : KOR_E_OBJECT_NOT_UNIQUE;
    return SelectLastResort(candidates, object);
}

// ---- The search --------------------------------------------------------------------------------

void CComTestObject::DropAncestorsFoundObjects() {
    TestObjectGuard([&] {
        kcom::CComBSTR parentName(L"parent");
        kcom::CComVariant parent;
        m_properties.Get(parentName, parent.Put(), nullptr, nullptr, nullptr, nullptr);
        // A chain that loops back on itself ends the walk.
        for (int depth = 0; depth < kMaxParentLevels && parent.vt != VT_EMPTY; ++depth) {
            kcom::CComPtr<DispTestObject> up;
            if ((parent.vt != VT_DISPATCH && parent.vt != VT_UNKNOWN) || FAILED(kcom::QueryTo(parent.punkVal, up.Put())) ||
                !up)
                break;
            up->Init();
            parent.Clear();
            if (FAILED(up->GetProperty(parentName, nullptr, nullptr, nullptr, parent.Put()))) break;
        }
        return S_OK;
    });
}

HRESULT CComTestObject::ITestObject_FindObjectId(IUnknown** object, QueryIdInfo* context) {
    if (m_outer) {
        kcom::CComPtr<ITestObject> outer = Outer<ITestObject>();
        return outer ? outer->FindObjectId(object, context) : E_NOINTERFACE;
    }
    return TestObjectGuard([&]() -> HRESULT {
        kcom::CComBSTR idName(L"objectid");
        kcom::CComVariant cached;
        ITestObjectInfo_get_Prop(idName, nullptr, nullptr, nullptr, cached.Put());
        if (cached.vt == VT_UNKNOWN) {
            if (object) {
                *object = cached.punkVal;
                if (*object) (*object)->AddRef();
            }
            if (m_updateDescriptionFlag && !m_currentStep) {
                m_updateDescriptionFlag = 0;
                GetFlagsChangeSummary();
                m_updateDescriptionFlag = 1;
            }
            return S_OK;
        }
        if (object) *object = nullptr;

        kcom::CComPtr<IDispatch> own;
        GetOwnDispatch(own.Put());
        kcom::CComPtr<IKorMaintenanceHistory> history;
        GetActiveMaintenanceHistory(history.Put());
        CMaintenanceScope scope(history, own);

        QueryIdInfo own_context{-1, -1};
        QueryIdInfo* ctx = context ? context : &own_context;
        const long timeout = ctx->timeout != -1 ? ctx->timeout : ReadFindOption(m_timeoutOptionName, kDefaultTimeout);
        ctx->delay = ctx->delay != -1 ? ctx->delay : ReadFindOption(m_delayOptionName, kDefaultDelay);

        CTestObjectClock& clock = CTestObjectClock::Current();
        const DWORD deadline = clock.TickCount() + static_cast<DWORD>(timeout);
        m_foundDirectly = 0;
        CKorSafeArray candidates;
        HRESULT hr = S_OK;
        for (bool first = true;; first = false) {
            // -1 would read as "the default" to every callee: the time left stops at 0.
            ctx->timeout = std::max<LONG>(static_cast<LONG>(deadline - clock.TickCount()), 0);
            if (!first) {
                DropAncestorsFoundObjects();
                WaitFindDelay(ctx);
            }
            candidates.Destroy();
            hr = Desc2Handle(&candidates.psa, ctx);
            if (FAILED(hr)) break;
            bool algorithmFailed = false;
            hr = DecideAmongCandidates(candidates.psa, own, history, *ctx, object, &algorithmFailed);
            if (algorithmFailed) return hr;
            if (hr != KOR_E_OBJECT_NOT_FOUND || ctx->timeout <= 0 || !IsOnReplay() || IsOnPause() || IsOnAbort())
                break;
        }

        if (hr == KOR_E_OBJECT_NOT_FOUND && CandidateCount(candidates.psa) <= 1) {
            // The last chance cannot turn "not found" into another failure: an algorithm that needs
            // a candidate list fails here by its nature.
            kcom::CComPtr<IUnknown> chosen;
            if (ChooseByAlgorithm(nullptr, true, chosen.Put()) == S_OK)
                hr = TakeFoundObject(chosen, object, false, history);
        }

        if (hr == S_OK) {
            if (m_updateDescriptionFlag && !m_currentStep) GetFlagsChangeSummary();
        } else if (FAILED(hr)) {
            StoreFoundObject(ErrorValue(hr));
            ReportReplayLog(hr);
        }
        return hr;
    });
}
