// Every run-time object that the description matches: as id paths up the parent hierarchy, or as
// the candidates under the current parent, optionally narrowed.
#include <vector>
#include "com/ComError.h"
#include "host/RackServices.h"
#include "host/TestObjectSettings.h"
#include "tables/KorSafeArray.h"
#include "testobject/clock/TestObjectClock.h"
#include "testobject/core/ComTestObject.h"
#include "testobject/core/ParentLevel.h"
#include "testobject/core/TestObjectGuard.h"
#include "testobject/identification/VisualRelations.h"
#include "testobject/matches/IdList.h"
#include "testobject/settings/Selectors.h"

namespace {

constexpr HRESULT kObjectNotFound = static_cast<HRESULT>(0x80040202);

kcom::CComVariant ReadProp(IUnknown* object, const wchar_t* name) {
    kcom::CComBSTR key(name);
    kcom::CComVariant value;
    GetTestObjectProp(object, key, value.Put(), nullptr, nullptr, nullptr);
    return value;
}

// The parent test object of a level; null at the top or for a parent of another kind.
kcom::CComPtr<IDispatch> ParentOf(IUnknown* object) {
    kcom::CComVariant parent = ReadProp(object, L"parent");
    return kcom::CComPtr<IDispatch>(parent.vt == VT_DISPATCH ? parent.pdispVal : nullptr);
}

// A new list of one object in column 0 per row and the row's columns after it.
class CIdPathTable {
public:
    CIdPathTable(ULONG rows, ULONG columns) : table_(rows, columns, VT_UNKNOWN) {}
    void Put(ULONG row, ULONG column, IUnknown* object) {
        kcom::ThrowIfFailed(table_.PutElement(&object, static_cast<LONG>(row), static_cast<LONG>(column)));
    }
    SAFEARRAY* Detach() noexcept { return table_.Detach(); }

private:
    CKorPtrSafeArray table_;
};

long OptionNumber(CComTestObject& object, BSTR name, long fallback) {
    kcom::CComVariant value;
    if (FAILED(object.GetTestOption(L"", name, value.Put()))) return fallback;
    if (value.vt != VT_I4 && FAILED(value.ChangeType(VT_I4))) return fallback;
    return value.lVal;
}

}  // namespace

HRESULT CComTestObject::ITestObject2_FindAllIds(SAFEARRAY** ids, QueryIdInfo* context, ULONG reserved) {
    if (m_outer) {
        kcom::CComPtr<ITestObject2> outer = Outer<ITestObject2>();
        return outer ? outer->FindAllIds(ids, context, reserved) : E_NOINTERFACE;
    }
    if (!ids) return E_POINTER;
    *ids = nullptr;
    return TestObjectGuard([&] {
        kcom::CComBSTR idName(L"objectid"), parentName(L"parent");
        kcom::CComVariant id, parent;
        m_properties.Get(idName, id.Put(), nullptr, nullptr, nullptr, nullptr);
        if (id.vt == VT_UNKNOWN) return CachedIdPath(ids);
        m_properties.Get(parentName, parent.Put(), nullptr, nullptr, nullptr, nullptr);
        if (parent.vt == VT_EMPTY) {
            SAFEARRAY* list = nullptr;
            HRESULT hr = Desc2Handle(&list, context);
            CKorSafeArray found;
            found.Attach(list, true);
            if (FAILED(hr)) return hr;
            if (IdListRows(found.psa) == 0) return kObjectNotFound;
            *ids = found.Detach();
            return hr;
        }
        if (parent.vt != VT_DISPATCH) return E_UNEXPECTED;
        return IdPathsUnderParent(parent.pdispVal, ids, context);
    });
}

// One row from the run-time objects that this object and its ancestors hold already.
HRESULT CComTestObject::CachedIdPath(SAFEARRAY** ids) {
    kcom::CComPtr<ITestObjectInfo> level;
    HRESULT hr = InternalQueryInterface(__uuidof(ITestObjectInfo), reinterpret_cast<void**>(level.Put()));
    if (FAILED(hr) || !level) return FAILED(hr) ? hr : E_NOINTERFACE;
    std::vector<kcom::CComPtr<IRuntimeID>> path;
    for (;;) {
        if (path.size() >= kMaxParentLevels) return E_FAIL;
        kcom::CComVariant id = ReadProp(level, L"objectid");
        if (id.vt != VT_UNKNOWN || !id.punkVal) return E_FAIL;
        kcom::CComPtr<IRuntimeID> runtimeId;
        hr = kcom::QueryTo(id.punkVal, runtimeId.Put());
        if (FAILED(hr)) return hr;
        path.push_back(runtimeId);
        kcom::CComVariant parent = ReadProp(level, L"parent");
        if (parent.vt == VT_EMPTY) break;
        if (parent.vt != VT_DISPATCH || !parent.pdispVal) return E_FAIL;
        kcom::CComPtr<ITestObjectInfo> up;
        hr = kcom::QueryTo(parent.pdispVal, up.Put());
        if (FAILED(hr)) return hr;
        level = up;
    }
    CIdPathTable table(1, static_cast<ULONG>(path.size()));
    for (size_t column = 0; column < path.size(); ++column)
        table.Put(0, static_cast<ULONG>(column), path[column]);
    *ids = table.Detach();
    return S_OK;
}

HRESULT CComTestObject::IdPathsUnderParent(IDispatch* parent, SAFEARRAY** ids, QueryIdInfo* context) {
    kcom::CComPtr<ITestObject2> up;
    if (FAILED(kcom::QueryTo(parent, up.Put())) || !up) return E_NOINTERFACE;
    CTestObjectClock& clock = CTestObjectClock::Current();
    const DWORD start = clock.TickCount();
    SAFEARRAY* paths = nullptr;
    HRESULT hr = up->FindAllIds(&paths, context, 0);
    CKorSafeArray parentPaths;
    parentPaths.Attach(paths, true);
    if (FAILED(hr)) return hr;
    // The default (-1) stays the default; a time that is used up stays at 0.
    if (context && context->timeout >= 0) {
        const long elapsed = static_cast<long>(clock.TickCount() - start);
        context->timeout = elapsed >= context->timeout ? 0 : context->timeout - elapsed;
    }
    const ULONG rows = IdListRows(paths);
    const ULONG columns = IdListColumns(paths);
    if (rows < 1 || columns < 1) return E_INVALIDARG;

    struct Found {
        ULONG row;
        CKorSafeArray list;
    };
    std::vector<Found> kept;
    ULONG total = 0;
    HRESULT result = TestObjectGuard([&] {
        kcom::CComBSTR idName(L"objectid");
        for (ULONG row = 0; row < rows; ++row) {
            kcom::CComPtr<IDispatch> ancestor(parent);
            bool pinned = true;
            for (ULONG column = 0; column < columns && pinned; ++column) {
                kcom::CComPtr<ITestObjectInfo> info;
                if (!ancestor) {
                    pinned = false;  // the paths are longer than the chain
                } else if (FAILED(kcom::QueryTo(ancestor.get(), info.Put())) || !info) {
                    pinned = false;
                } else {
                    kcom::CComPtr<IUnknown> object;
                    IdListObject(paths, row, column, object.Put());
                    kcom::CComVariant value(object.get());
                    info->put_PropExpr(idName, nullptr, nullptr, nullptr, value);
                    ancestor = ParentOf(info);
                }
            }
            if (!pinned) continue;
            SAFEARRAY* list = nullptr;
            HRESULT found = Desc2Handle(&list, context);
            Found entry{row, {}};
            entry.list.Attach(list, true);
            const ULONG count = SUCCEEDED(found) ? IdListRows(list) : 0;
            if (count == 0) continue;
            total += count;
            kept.push_back(std::move(entry));
        }
        return S_OK;
    });
    InitAncestors();
    if (FAILED(result)) return result;
    if (total == 0) return kObjectNotFound;
    return TestObjectGuard([&] {
        CIdPathTable table(total, columns + 1);
        ULONG out = 0;
        for (const Found& entry : kept) {
            const ULONG count = IdListRows(entry.list.psa);
            for (ULONG i = 0; i < count; ++i, ++out) {
                kcom::CComPtr<IUnknown> object;
                IdListObject(entry.list.psa, i, 0, object.Put());
                table.Put(out, 0, object);
                for (ULONG column = 0; column < columns; ++column) {
                    kcom::CComPtr<IUnknown> ancestor;
                    IdListObject(paths, entry.row, column, ancestor.Put());
                    table.Put(out, column + 1, ancestor);
                }
            }
        }
        *ids = table.Detach();
        return S_OK;
    });
}

// Clears what identification pinned on the ancestors.
void CComTestObject::InitAncestors() {
    kcom::CComBSTR parentName(L"parent");
    kcom::CComVariant parent;
    m_properties.Get(parentName, parent.Put(), nullptr, nullptr, nullptr, nullptr);
    kcom::CComPtr<IDispatch> ancestor(parent.vt == VT_DISPATCH ? parent.pdispVal : nullptr);
    for (int depth = 0; ancestor && depth < kMaxParentLevels; ++depth) {
        kcom::CComPtr<DispTestObject> script;
        if (SUCCEEDED(kcom::QueryTo(ancestor.get(), script.Put())) && script) script->Init();
        ancestor = ParentOf(ancestor);
    }
}

// Narrows the candidates by the selector of the one last-resort property; no answer when there is
// not exactly one such property.
HRESULT CComTestObject::SelectorNarrowing(SAFEARRAY** candidates, bool* answered) {
    *answered = false;
    SAFEARRAY* list = nullptr;
    if (kcom::CComPtr<ITestObjectInfo> outer = Outer<ITestObjectInfo>())
        outer->GetProps(&list, 0x400);
    else
        ITestObjectInfo_GetProps(&list, 0x400);
    CKorPtrSafeArray names;
    names.Attach(list, true);
    if (!names.psa || names.GetRowCount() != 1) return S_OK;
    kcom::CComBSTR name;
    kcom::ThrowIfFailed(names.GetElement(name.Put(), 0, 0));
    kcom::CComVariant value;
    ITestObjectInfo_get_Prop(name, nullptr, nullptr, nullptr, value.Put());
    kcom::CComPtr<IUnknown> selector;
    CreateSelector(Rack(), name, selector.Put());
    kcom::CComPtr<IKorSelectorFilter> filter;
    if (!selector || FAILED(kcom::QueryTo(selector.get(), filter.Put())) || !filter) return E_NOINTERFACE;
    HRESULT hr = filter->Filter(value, candidates);
    *answered = SUCCEEDED(hr);
    return hr;
}

HRESULT CComTestObject::ITestObject7_FindMatchingIds(long mode, SAFEARRAY** ids) {
    if (!ids) return E_INVALIDARG;
    *ids = nullptr;
    if (m_outer) {
        kcom::CComPtr<ITestObject7> outer = Outer<ITestObject7>();
        return outer ? outer->FindMatchingIds(mode, ids) : E_NOINTERFACE;
    }
    return TestObjectGuard([&] {
        CTestObjectClock& clock = CTestObjectClock::Current();
        const long timeout = OptionNumber(*this, m_timeoutOptionName, 10000);
        const long delay = OptionNumber(*this, m_delayOptionName, 500);
        const DWORD deadline = clock.TickCount() + static_cast<DWORD>(timeout);
        QueryIdInfo context{timeout, delay};
        HRESULT last = S_FALSE;
        for (int pass = 0;; ++pass) {
            // The time left at the start of the pass decides whether another one follows.
            const long remaining = static_cast<long>(deadline - clock.TickCount());
            context.timeout = remaining > 0 ? remaining : 0;
            if (pass > 0) {
                InitAncestors();
                WaitFindDelay(&context);
            }
            SAFEARRAY* list = nullptr;
            HRESULT hr = Desc2Handle(&list, &context);
            CKorSafeArray candidates;
            candidates.Attach(list, true);
            if (FAILED(hr)) return hr;
            last = hr;
            if (IdListRows(candidates.psa) == 0) {
                last = S_FALSE;
            } else if (mode == 0) {
                *ids = candidates.Detach();
                return S_OK;
            } else if (mode == 1) {
                SAFEARRAY* narrowed = candidates.Detach();
                bool answered = false;
                hr = SelectorNarrowing(&narrowed, &answered);
                candidates.Attach(narrowed, true);
                if (FAILED(hr)) return hr;
                if (answered) {
                    *ids = candidates.Detach();
                    return hr;
                }
            } else if (mode == 2) {
                kcom::CComPtr<IDispatch> own;
                GetOwnDispatch(own.Put());
                SAFEARRAY* filtered = nullptr;
                hr = FilterByVisualRelations(own, Rack(), candidates.psa, &filtered);
                CKorSafeArray kept;
                kept.Attach(filtered, true);
                if (FAILED(hr)) return hr;
                if (hr == S_FALSE) {
                    last = S_FALSE;
                } else {
                    // Applied relations that hand back no list kept no candidate.
                    *ids = kept.psa ? kept.Detach() : CIdPathTable(0, 1).Detach();
                    return S_OK;
                }
            }
            if (!IsOnReplay() || IsOnPause() || IsOnAbort() || context.timeout < 1) break;
        }
        *ids = CIdPathTable(0, 1).Detach();
        return last;
    });
}
