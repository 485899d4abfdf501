#include "HookScenario.h"
#include <cwchar>
#include <cwctype>
#include <fstream>
#include <sstream>
#include "com/CodePageText.h"
#include "com/ComError.h"
#include "com/ComSafeArray.h"

namespace {

bool ToLong(const std::wstring& s, LONG& out) {
    if (s.empty()) return false;
    wchar_t* end = nullptr;
    const long long v = wcstoll(s.c_str(), &end, 0);
    if (*end) return false;
    out = static_cast<LONG>(v);
    return true;
}

std::vector<std::wstring> Split(const std::wstring& s, wchar_t sep) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (;;) {
        const size_t pos = s.find(sep, start);
        parts.push_back(s.substr(start, pos - start));
        if (pos == std::wstring::npos) break;
        start = pos + 1;
    }
    return parts;
}

// "i4[3x1]" → element type, rows, cols (rows 0: one dimension).
bool ParseArrayType(const std::wstring& type, VARTYPE& elem, ULONG& rows, ULONG& cols) {
    const size_t open = type.find(L'[');
    if (open == std::wstring::npos || type.back() != L']') return false;
    const std::wstring base = type.substr(0, open);
    if (base == L"i4") elem = VT_I4;
    else if (base == L"bstr") elem = VT_BSTR;
    else if (base == L"var") elem = VT_VARIANT;
    else return false;
    const std::wstring shape = type.substr(open + 1, type.size() - open - 2);
    rows = cols = 0;
    if (shape.empty()) return true;
    const size_t x = shape.find(L'x');
    LONG r = 0, c = 0;
    if (x == std::wstring::npos || !ToLong(shape.substr(0, x), r) || !ToLong(shape.substr(x + 1), c) || r < 0 ||
        c < 0)
        return false;
    rows = static_cast<ULONG>(r);
    cols = static_cast<ULONG>(c);
    return true;
}

bool ParseArray(VARTYPE elem, ULONG rows, ULONG cols, const std::wstring& body, kcom::CComVariant& value) {
    std::vector<std::wstring> items;
    if (!body.empty()) items = Split(body, elem == VT_I4 ? L',' : L'|');
    SAFEARRAYBOUND bounds[2];
    UINT dims = 1;
    if (rows == 0 && cols == 0) {
        bounds[0] = {static_cast<ULONG>(items.size()), 0};
    } else {
        // Cells of one row lie next to each other: dimension 1 is the column, dimension 2 the row.
        bounds[0] = {cols, 0};
        bounds[1] = {rows, 0};
        dims = 2;
        if (items.size() != static_cast<size_t>(rows) * cols) return false;
    }
    kcom::CComSafeArray psa(::SafeArrayCreate(elem, dims, bounds));
    if (!psa) return false;
    if (!items.empty()) {
        kcom::CSafeArrayDataLock lock(psa);
        if (!lock) return false;
        for (size_t i = 0; i < items.size(); ++i) {
            if (elem == VT_I4) {
                if (!ToLong(items[i], lock.get<LONG>()[i])) return false;
            } else if (elem == VT_BSTR) {
                lock.get<BSTR>()[i] = ::SysAllocString(items[i].c_str());
            } else {
                kcom::CComVariant cell;
                if (!CHookScenario::ParseValue(items[i], cell)) return false;
                cell.Detach(&lock.get<VARIANT>()[i]);
            }
        }
    }
    value.Clear();
    value.vt = VT_ARRAY | elem;
    value.parray = psa.Detach();
    return true;
}

std::wstring Escape(const std::wstring& s) {
    std::wstring out;
    for (wchar_t c : s) {
        if (c == L'\t') out += L"\\t";
        else if (c == L'\n') out += L"\\n";
        else out += c;
    }
    return out;
}

}  // namespace

const VARIANT* CScenarioTarget::Fact(const wchar_t* key) const {
    auto it = facts.find(key);
    return it == facts.end() ? nullptr : it->second.ptr();
}

LONG CScenarioTarget::FactLong(const wchar_t* key, LONG fallback) const {
    const VARIANT* v = Fact(key);
    if (!v) return fallback;
    LONG parsed = 0;
    if (v->vt == VT_BSTR && v->bstrVal && ToLong(v->bstrVal, parsed)) return parsed;  // "0x1234" too
    kcom::CComVariant n;
    return SUCCEEDED(::VariantChangeType(&n, const_cast<VARIANT*>(v), 0, VT_I4)) ? n.lVal : fallback;
}

kcom::CComVariant* CScenarioTarget::Prop(const std::wstring& name) {
    for (auto& p : props)
        if (_wcsicmp(p.first.c_str(), name.c_str()) == 0) return &p.second;
    return nullptr;
}

std::vector<std::wstring> CHookScenario::Tokenize(const std::wstring& line) {
    std::vector<std::wstring> tokens;
    std::wstring cur;
    bool inToken = false, quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const wchar_t c = line[i];
        if (quoted) {
            if (c == L'\\' && i + 1 < line.size()) {
                const wchar_t n = line[++i];
                cur += n == L't' ? L'\t' : n == L'n' ? L'\n' : n;
            } else if (c == L'"') {
                quoted = false;
            } else {
                cur += c;
            }
            continue;
        }
        if (c == L'#' && !inToken) break;
        if (iswspace(c)) {
            if (inToken) tokens.push_back(std::move(cur));
            cur.clear();
            inToken = false;
            continue;
        }
        inToken = true;
        if (c == L'"') quoted = true;
        else cur += c;
    }
    if (inToken) tokens.push_back(std::move(cur));
    return tokens;
}

bool CHookScenario::ParseValue(const std::wstring& text, kcom::CComVariant& value) {
    return SUCCEEDED(kcom::Guard([&]() -> HRESULT {
        value.Clear();
        if (text == L"empty") return S_OK;
        if (text == L"null") { value.vt = VT_NULL; return S_OK; }
        if (text == L"nullbstr") { value.vt = VT_BSTR; value.bstrVal = nullptr; return S_OK; }
        const size_t colon = text.find(L':');
        if (colon == std::wstring::npos) { value = kcom::CComVariant(text.c_str()); return S_OK; }
        const std::wstring type = text.substr(0, colon), body = text.substr(colon + 1);
        LONG n = 0;
        if (type == L"bstr") { value = kcom::CComVariant(body.c_str()); return S_OK; }
        if (type == L"i2" || type == L"i4" || type == L"ui4" || type == L"bool") {
            if (!ToLong(body, n)) return E_INVALIDARG;
            if (type == L"i2") { value.vt = VT_I2; value.iVal = static_cast<SHORT>(n); }
            else if (type == L"i4") { value.vt = VT_I4; value.lVal = n; }
            else if (type == L"ui4") { value.vt = VT_UI4; value.ulVal = static_cast<ULONG>(n); }
            else { value.vt = VT_BOOL; value.boolVal = n ? VARIANT_TRUE : VARIANT_FALSE; }
            return S_OK;
        }
        if (type == L"r8") {
            wchar_t* end = nullptr;
            const double d = wcstod(body.c_str(), &end);
            if (body.empty() || *end) return E_INVALIDARG;
            value.vt = VT_R8;
            value.dblVal = d;
            return S_OK;
        }
        VARTYPE elem = VT_EMPTY;
        ULONG rows = 0, cols = 0;
        if (ParseArrayType(type, elem, rows, cols)) return ParseArray(elem, rows, cols, body, value) ? S_OK : E_INVALIDARG;
        value = kcom::CComVariant(text.c_str());  // a plain text that happens to hold a colon
        return S_OK;
    }));
}

std::wstring CHookScenario::FormatValue(const VARIANT& v) {
    switch (v.vt) {
    case VT_EMPTY: return L"empty";
    case VT_NULL: return L"null";
    case VT_I2: return L"i2:" + std::to_wstring(v.iVal);
    case VT_I4: return L"i4:" + std::to_wstring(v.lVal);
    case VT_UI4: return L"ui4:" + std::to_wstring(v.ulVal);
    case VT_BOOL: return v.boolVal ? L"bool:1" : L"bool:0";
    case VT_R8: {
        wchar_t buf[64];
        swprintf(buf, 64, L"r8:%g", v.dblVal);
        return buf;
    }
    case VT_BSTR: return v.bstrVal ? L"bstr:" + Escape(std::wstring(v.bstrVal, ::SysStringLen(v.bstrVal))) : L"nullbstr";
    default: break;
    }
    if (!(v.vt & VT_ARRAY) || !v.parray) return L"vt:" + std::to_wstring(v.vt);
    const VARTYPE elem = v.vt & ~VT_ARRAY;
    SAFEARRAY* psa = v.parray;
    std::wstring out = elem == VT_I4 ? L"i4[" : elem == VT_BSTR ? L"bstr[" : elem == VT_VARIANT ? L"var[" : L"?[";
    ULONG count = 1;
    for (UINT d = 0; d < psa->cDims; ++d) count *= psa->rgsabound[d].cElements;
    if (psa->cDims == 2) out += std::to_wstring(psa->rgsabound[0].cElements) + L"x" + std::to_wstring(psa->rgsabound[1].cElements);
    out += L"]:";
    kcom::CSafeArrayDataLock lock(psa);
    if (!lock && count) return out + L"?";
    for (ULONG i = 0; i < count; ++i) {
        if (i) out += elem == VT_I4 ? L"," : L"|";
        if (elem == VT_I4) out += std::to_wstring(lock.get<LONG>()[i]);
        else if (elem == VT_BSTR) out += lock.get<BSTR>()[i] ? Escape(lock.get<BSTR>()[i]) : L"";
        else if (elem == VT_VARIANT) out += FormatValue(lock.get<VARIANT>()[i]);
    }
    return out;
}

HRESULT CHookScenario::Load(const wchar_t* path, int* badLine) {
    return kcom::Guard([&]() -> HRESULT {
        std::ifstream in(path, std::ios::binary);
        if (!in) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        std::stringstream ss;
        ss << in.rdbuf();
        return Parse(kcom::Widen(ss.str(), CP_UTF8), badLine);
    });
}

HRESULT CHookScenario::Parse(const std::wstring& text, int* badLine) {
    return kcom::Guard([&]() -> HRESULT {
        int lineNo = 0;
        std::wistringstream lines(text);
        std::wstring line;
        auto fail = [&] {
            if (badLine) *badLine = lineNo;
            return E_INVALIDARG;
        };
        auto targetKey = [](const std::wstring& t, CTargetKey& key) {
            const size_t colon = t.find(L':');
            key.first = t.substr(0, colon);
            key.second = 0;
            return colon == std::wstring::npos || ToLong(t.substr(colon + 1), key.second);
        };
        // Keys that windows and test controls share; false for an unknown key or a bad value.
        auto placement = [](const std::wstring& k, const std::wstring& v, RECT& rect, bool& hasRect,
                             bool& hidden) {
            if (k == L"hidden") {
                hidden = v != L"0";
                return true;
            }
            if (k != L"rect") return false;
            auto p = Split(v, L',');
            LONG r[4];
            if (p.size() != 4) return false;
            for (int i = 0; i < 4; ++i)
                if (!ToLong(p[i], r[i])) return false;
            rect = {r[0], r[1], r[0] + r[2], r[1] + r[3]};
            hasRect = true;
            return true;
        };
        auto controlKey = [](const std::wstring& k, const std::wstring& v, CScenarioControl& c) {
            if (k == L"caption") c.caption = v;
            else if (k == L"text") c.text = v;
            else if (k == L"usertype") c.userType = v;
            else return false;
            return true;
        };
        while (std::getline(lines, line)) {
            ++lineNo;
            const std::vector<std::wstring> tok = Tokenize(line);
            if (tok.empty()) continue;
            // key=value pairs from index `from` on.
            std::vector<std::pair<std::wstring, std::wstring>> pairs;
            auto readPairs = [&](size_t from) {
                for (size_t i = from; i < tok.size(); ++i) {
                    const size_t eq = tok[i].find(L'=');
                    if (eq == std::wstring::npos || eq == 0) return false;
                    pairs.emplace_back(tok[i].substr(0, eq), tok[i].substr(eq + 1));
                }
                return true;
            };
            const std::wstring& verb = tok[0];
            if (verb == L"window" || verb == L"control") {
                if (tok.size() < 3 || !readPairs(3)) return fail();
                CScenarioWindow w;
                w.name = tok[1];
                if (verb == L"control") {
                    w.className = kTestControlClass;
                    w.control.emplace().progId = tok[2];
                } else {
                    w.className = tok[2];
                }
                for (auto& [k, v] : pairs) {
                    if (k == L"parent") w.parent = v;
                    else if (k == L"text" && !w.control) w.text = v;
                    else if (k == L"rtl" && !w.control) w.rtl = v != L"0";
                    else if (k == L"own" && !w.control) w.ownClass = v != L"0";
                    else if (k == L"style" && !w.control) {
                        LONG style = 0;
                        if (!ToLong(v, style)) return fail();
                        w.style = static_cast<DWORD>(style);
                    }
                    else if (w.control && controlKey(k, v, *w.control)) continue;
                    else if (!placement(k, v, w.rect, w.hasRect, w.hidden)) return fail();
                }
                if (w.control) {
                    if (w.parent.empty()) return fail();
                    w.text = w.control->caption;
                }
                windows.push_back(std::move(w));
            } else if (verb == L"windowless") {
                CScenarioWindowless w;
                if (tok.size() < 4 || !ToLong(tok[2], w.cookie) || w.cookie == 0 || !readPairs(4)) return fail();
                w.container = tok[1];
                w.control.progId = tok[3];
                for (auto& [k, v] : pairs)
                    if (!controlKey(k, v, w.control) && !placement(k, v, w.rect, w.hasRect, w.hidden)) return fail();
                windowless.push_back(std::move(w));
            } else if (verb == L"fact" || verb == L"prop" || verb == L"method") {
                CTargetKey key;
                if (tok.size() < 2 || !targetKey(tok[1], key) || !readPairs(2)) return fail();
                CScenarioTarget& target = targets[key];
                for (auto& [k, v] : pairs) {
                    kcom::CComVariant value;
                    if (!ParseValue(v, value)) return fail();
                    if (verb == L"fact") target.facts[k] = std::move(value);
                    else if (verb == L"method") target.methods[k] = std::move(value);
                    else if (kcom::CComVariant* existing = target.Prop(k)) *existing = std::move(value);
                    else target.props.emplace_back(k, std::move(value));
                }
            } else if (verb == L"point") {
                CScenarioPoint p;
                LONG x = 0, y = 0;
                if (tok.size() < 6 || !ToLong(tok[2], x) || !ToLong(tok[3], y) || !ToLong(tok[5], p.cookie) ||
                    !readPairs(6))
                    return fail();
                p.window = tok[1];
                p.x = static_cast<short>(x);
                p.y = static_cast<short>(y);
                p.control = tok[4];
                for (auto& [k, v] : pairs) {
                    LONG n = 0;
                    if (k != L"after" || !ToLong(v, n)) return fail();
                    p.after = n;
                }
                points.push_back(std::move(p));
            } else if (verb == L"reply") {
                CTargetKey key;
                if (tok.size() < 3 || !targetKey(tok[1], key) || !readPairs(3)) return fail();
                CReplyOverride& r = targets[key].replies[tok[2]];
                for (auto& [k, v] : pairs) {
                    LONG n = 0;
                    if (k == L"result" && ToLong(v, n)) r.result = n;
                    else if (k == L"cookie" && ToLong(v, n)) r.cookie = n;
                    else if (k == L"answer" && ToLong(v, n)) r.answer = n != 0;
                    else if (k == L"hang" && ToLong(v, n)) r.hangMs = static_cast<DWORD>(n);
                    else if (k == L"window") r.window = v;
                    else if (k == L"a" || k == L"b") {
                        kcom::CComVariant value;
                        if (!ParseValue(v, value)) return fail();
                        (k == L"a" ? r.a : r.b) = std::move(value);
                    } else if (k == L"blob") {
                        r.setBlob = true;
                        r.nullBlob = v == L"none";
                        if (!r.nullBlob) {
                            if (v.size() % 2) return fail();
                            for (size_t i = 0; i < v.size(); i += 2) {
                                wchar_t* end = nullptr;
                                const std::wstring byte = v.substr(i, 2);
                                const unsigned long b = wcstoul(byte.c_str(), &end, 16);
                                if (*end) return fail();
                                r.blob.push_back(static_cast<BYTE>(b));
                            }
                        }
                    } else return fail();
                }
            } else {
                return fail();
            }
        }
        return S_OK;
    });
}
