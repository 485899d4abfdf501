#include "HookResponder.h"
#include <algorithm>
#include "com/ComBSTR.h"
#include "com/ComError.h"
#include "com/ComSafeArray.h"
#include "QuillonStub.h"
#include "RecordTable.h"
#include "ScenarioDispatch.h"

namespace {

const CScenarioTarget& NoTarget() {
    static const CScenarioTarget none;
    return none;
}

void SetBstr(kcom::CComVariant& v, const VARIANT* from) {
    if (from) v = *from;
    else v.Clear();
}

}  // namespace

CHookResponder::CHookResponder(CHookScenario scenario, std::map<std::wstring, HWND> windows)
    : scenario_(std::move(scenario)), windows_(std::move(windows)) {
    for (int i = 0; i < static_cast<int>(EQuillonRequest::Count); ++i) {
        const auto kind = static_cast<EQuillonRequest>(i);
        requests_[RegisterQuillonMessage(kind)] = kind;
    }
}

std::wstring CHookResponder::NameOf(HWND window) const {
    for (auto& [name, hwnd] : windows_)
        if (hwnd == window) return name;
    return L"#" + std::to_wstring(reinterpret_cast<UINT_PTR>(window));
}

HWND CHookResponder::WindowOf(const std::wstring& name) const {
    auto it = windows_.find(name);
    return it == windows_.end() ? nullptr : it->second;
}

void CHookResponder::LogRequest(EQuillonRequest kind, const CTargetKey& key, const CWireRecord& record) {
    std::wstring detail;
    switch (kind) {
    case EQuillonRequest::SetActiveXProperty:
        detail = (record.a.vt == VT_BSTR ? CHookScenario::FormatValue(record.a).substr(5)
                                         : CHookScenario::FormatValue(record.a)) +
                 L"=" + CHookScenario::FormatValue(record.b);
        break;
    case EQuillonRequest::InvokeActiveX:
    case EQuillonRequest::InvokeUser:
        detail = CHookScenario::FormatValue(record.b) + L" " + CHookScenario::FormatValue(record.a);
        break;
    case EQuillonRequest::SetAgentData:
    case EQuillonRequest::GetProperties:
        detail = CHookScenario::FormatValue(record.a);
        break;
    default:
        return;
    }
    log_.push_back(std::wstring(QuillonRequestName(kind)) + L" " + key.first + L":" + std::to_wstring(key.second) +
                   L" " + detail);
}

bool CHookResponder::Answer(HWND target, CWireRecord& record, DWORD& hangMs) {
    hangMs = 0;
    auto it = requests_.find(record.request);
    if (it == requests_.end()) {
        const std::wstring name = CWireRecord::MessageName(record.request);
        if (AnswerControl(name, record)) return true;
        ++counts_[name];
        record.result = 0;
        return true;
    }
    const EQuillonRequest kind = it->second;
    ++counts_[QuillonRequestName(kind)];
    HWND about = reinterpret_cast<HWND>(static_cast<UINT_PTR>(record.window));
    if (kind == EQuillonRequest::GetContainers)
        about = record.result ? reinterpret_cast<HWND>(static_cast<UINT_PTR>(record.result)) : target;
    const LONG cookie =
        kind == EQuillonRequest::GetCookieFromPoint || kind == EQuillonRequest::GetContainers ? 0 : record.cookie;
    const CTargetKey key{NameOf(about), cookie};
    const CReplyOverride* override = nullptr;
    auto t = scenario_.targets.find(key);
    if (t != scenario_.targets.end()) {
        auto r = t->second.replies.find(QuillonRequestName(kind));
        if (r != t->second.replies.end()) override = &r->second;
    }
    if (override && !override->answer) return false;
    LogRequest(kind, key, record);
    if (!live_.Answer(kind, about, record)) AnswerRequest(kind, about, record);
    if (override) {
        hangMs = override->hangMs;
        ApplyOverride(*override, record);
    }
    return true;
}

void CHookResponder::ApplyOverride(const CReplyOverride& o, CWireRecord& record) {
    if (o.result) record.result = *o.result;
    if (o.cookie) record.cookie = *o.cookie;
    if (o.window) record.window = static_cast<ULONG>(reinterpret_cast<UINT_PTR>(WindowOf(*o.window)));
    if (o.a) record.a = *o.a;
    if (o.b) record.b = *o.b;
    if (o.setBlob) {
        record.hasBlob = !o.nullBlob;
        record.blob = o.blob;
        record.blobLength = o.nullBlob ? 16 : static_cast<ULONG>(o.blob.size());
    }
}

bool CHookResponder::AnswerControl(const std::wstring& name, CWireRecord& record) {
    if (name == kQuillonStubCountMessage) {
        std::wstring which = record.a.vt == VT_BSTR && record.a.bstrVal ? record.a.bstrVal : L"";
        auto it = counts_.find(which);
        record.result = it == counts_.end() ? 0 : it->second;
        return true;
    }
    if (name == kQuillonStubLogMessage) {
        SAFEARRAYBOUND bound{static_cast<ULONG>(log_.size()), 0};
        kcom::CComSafeArray psa(::SafeArrayCreate(VT_BSTR, 1, &bound));
        if (!psa) throw std::bad_alloc();
        if (!log_.empty()) {
            kcom::CSafeArrayDataLock lock(psa);
            for (size_t i = 0; i < log_.size(); ++i) lock.get<BSTR>()[i] = ::SysAllocString(log_[i].c_str());
        }
        record.a.Clear();
        record.a.vt = VT_ARRAY | VT_BSTR;
        record.a.parray = psa.Detach();
        record.result = static_cast<LONG>(log_.size());
        return true;
    }
    if (name == kQuillonStubResetMessage) {
        counts_.clear();
        log_.clear();
        for (auto& p : scenario_.points) p.tries = 0;
        record.result = 1;
        return true;
    }
    return false;
}

HRESULT CHookResponder::MarshalDispatch(CScenarioTarget& target, const CTargetKey& key, bool listener,
                                        CWireRecord& record) {
    kcom::CComPtr<IDispatch>& object = objects_[{key, listener}];
    if (!object) {
        HRESULT hr = CreateScenarioDispatch(&target, listener, object.Put());
        if (FAILED(hr)) return hr;
    }
    return MarshalIntoRecord(object, record);
}

bool CHookResponder::AnswerRequest(EQuillonRequest kind, HWND about, CWireRecord& record) {
    const LONG cookie = record.cookie;
    const CTargetKey key{NameOf(about), kind == EQuillonRequest::GetCookieFromPoint ? 0 : cookie};
    auto found = scenario_.targets.find(key);
    CScenarioTarget* target = found == scenario_.targets.end() ? nullptr : &found->second;
    const CScenarioTarget& facts = target ? *target : NoTarget();
    auto textFact = [&](const wchar_t* name) {
        const VARIANT* v = facts.Fact(name);
        record.result = v ? 1 : 0;
        SetBstr(record.a, v);
    };
    // A numeric answer in the cookie field, answered only when the scenario has it.
    auto cookieFact = [&](const wchar_t* name) {
        record.result = facts.Fact(name) ? 1 : 0;
        record.cookie = facts.FactLong(name, 0);
    };
    switch (kind) {
    case EQuillonRequest::IsActiveX:
        record.result = facts.FactLong(L"activex", 0);
        break;
    case EQuillonRequest::GetProgId:
    case EQuillonRequest::GetWlsProgId:
        textFact(L"progid");
        break;
    case EQuillonRequest::GetUserType:
        textFact(L"usertype");
        break;
    case EQuillonRequest::Hwnd2IDispatch:
    case EQuillonRequest::GetListener: {
        const bool listener = kind == EQuillonRequest::GetListener;
        record.result = 0;
        if (target && facts.FactLong(listener ? L"listener" : L"dispatch", 0))
            record.result = SUCCEEDED(MarshalDispatch(*target, key, listener, record)) ? 1 : 0;
        break;
    }
    case EQuillonRequest::GetActiveXProperty: {
        kcom::CComVariant* prop = nullptr;
        if (target && record.a.vt == VT_BSTR && record.a.bstrVal) prop = target->Prop(record.a.bstrVal);
        record.result = prop ? 1 : 0;
        SetBstr(record.a, prop);
        break;
    }
    case EQuillonRequest::GetActiveXPropertiesName: {
        if (const VARIANT* names = facts.Fact(L"names")) {
            record.a = *names;
        } else {
            std::wstring joined;
            for (auto& p : facts.props) joined += (joined.empty() ? L"" : L"\t") + p.first;
            record.a = kcom::CComVariant(joined.c_str());
        }
        record.result = target ? 1 : 0;
        break;
    }
    case EQuillonRequest::GetWlsCookiesFromContainer:
        textFact(L"cookies");
        break;
    case EQuillonRequest::GetWlsSize: {
        const VARIANT* rect = facts.Fact(L"rect");
        record.result = 0;
        if (rect && rect->vt == (VT_ARRAY | VT_I4) && rect->parray) {
            kcom::CSafeArrayDataLock lock(rect->parray);
            const LONG* r = lock.get<LONG>();
            if (r && rect->parray->rgsabound[0].cElements == 4) {
                record.hasBlob = true;
                record.blob.assign(reinterpret_cast<const BYTE*>(r), reinterpret_cast<const BYTE*>(r) + 16);
                record.blobLength = 16;
                record.result = 1;
            }
        }
        break;
    }
    case EQuillonRequest::GetCookieFromPoint: {
        const short x = static_cast<short>(cookie & 0xFFFF);
        const short y = static_cast<short>((cookie - x) >> 16);
        record.result = 0;
        for (auto& p : scenario_.points) {
            if (p.window != key.first || p.x != x || p.y != y) continue;
            if (++p.tries <= p.after) break;
            HWND control = p.control == L"-" ? about : WindowOf(p.control);
            record.window = static_cast<ULONG>(reinterpret_cast<UINT_PTR>(control));
            record.cookie = p.cookie;
            record.result = 1;
            break;
        }
        break;
    }
    case EQuillonRequest::GetInprocUnknown:
        cookieFact(L"inproc");
        break;
    case EQuillonRequest::GetCreateTime:
        record.result = facts.FactLong(L"createtime", 0);
        break;
    case EQuillonRequest::GetCookieFromHandle:
        cookieFact(L"handlecookie");
        break;
    case EQuillonRequest::SetActiveXProperty:
        record.result = 0;
        if (target && record.a.vt == VT_BSTR && record.a.bstrVal) {
            if (kcom::CComVariant* prop = target->Prop(record.a.bstrVal)) *prop = record.b;
            else target->props.emplace_back(record.a.bstrVal, record.b);
            record.result = 1;
        }
        break;
    case EQuillonRequest::InvokeActiveX:
    case EQuillonRequest::InvokeUser: {
        std::wstring method;
        if (kind == EQuillonRequest::InvokeActiveX) {
            if (record.b.vt == VT_BSTR && record.b.bstrVal) method = record.b.bstrVal;
        } else if (record.b.vt == (VT_ARRAY | VT_VARIANT)) {
            kcom::CSafeArrayDataLock lock(record.b.parray);
            const VARIANT* first = lock ? lock.get<VARIANT>() : nullptr;
            if (first && first->vt == VT_BSTR && first->bstrVal) method = first->bstrVal;
        }
        auto m = facts.methods.find(method);
        record.result = m == facts.methods.end() ? 0 : 1;
        if (m != facts.methods.end()) record.b = m->second;
        break;
    }
    case EQuillonRequest::GetWlsVisibleState:
        record.result = facts.Fact(L"visible") ? 1 : 0;
        record.a = kcom::CComVariant(facts.FactLong(L"visible", 0));
        break;
    case EQuillonRequest::SetAgentData:
        record.result = facts.FactLong(L"agentdata", target ? 1 : 0);
        break;
    case EQuillonRequest::GetProperties: {
        auto read = [&](const wchar_t* name, kcom::CComVariant& value) {
            const kcom::CComVariant* prop = target->Prop(name);
            if (prop) value = *prop;
            return prop != nullptr;
        };
        record.result = target && AnswerPropertyTable(record, read) ? 1 : 0;
        break;
    }
    case EQuillonRequest::GetContainers: {
        std::vector<LONG> handles;
        if (const VARIANT* list = facts.Fact(L"containers"); list && list->vt == VT_BSTR && list->bstrVal) {
            std::wstring text = list->bstrVal;
            size_t start = 0;
            while (start <= text.size()) {
                const size_t comma = std::min(text.find(L',', start), text.size());
                const std::wstring name = text.substr(start, comma - start);
                if (!name.empty()) handles.push_back(static_cast<LONG>(reinterpret_cast<UINT_PTR>(WindowOf(name))));
                start = comma + 1;
            }
        }
        SAFEARRAYBOUND bound{static_cast<ULONG>(handles.size()), 0};
        kcom::CComSafeArray psa(::SafeArrayCreate(VT_VARIANT, 1, &bound));
        if (!psa) throw std::bad_alloc();
        if (!handles.empty()) {
            kcom::CSafeArrayDataLock lock(psa);
            for (size_t i = 0; i < handles.size(); ++i) {
                lock.get<VARIANT>()[i].vt = VT_I4;
                lock.get<VARIANT>()[i].lVal = handles[i];
            }
        }
        record.a.Clear();
        record.a.vt = VT_ARRAY | VT_VARIANT;
        record.a.parray = psa.Detach();
        record.result = facts.FactLong(L"containercount", static_cast<LONG>(handles.size()));
        break;
    }
    case EQuillonRequest::Count:
        break;
    }
    return true;
}
