#include "values/ValueComparison.h"
#include <string>
#include <string_view>
#include "com/ComBSTR.h"
#include "com/ComError.h"
#include "com/ComVariant.h"
#include "tables/KorBSTR.h"
#include "description/Property.h"
#include "host/RackServices.h"
#include "values/RegExpMatcher.h"
#include "values/ValueConversion.h"

namespace {

std::wstring_view View(BSTR text) noexcept { return {text ? text : L"", ::SysStringLen(text)}; }

CKorBSTR WithoutBlanks(BSTR text) {
    CKorBSTR copy;
    kcom::ThrowIfFailed(copy.CopyRemovingChars(L" \t\r\n", text));
    return copy;
}

CKorBSTR Trimmed(BSTR text) {
    CKorBSTR copy(text, ::SysStringLen(text));
    copy.TrimLeft();
    copy.TrimRight();
    return copy;
}

HRESULT MatchRegExp(BSTR pattern, BSTR actual, long compareType, VARIANT_BOOL* result) {
    RegExpMatcher matcher;
    if (FAILED(matcher.SetIgnoreCase((compareType & CMP_CASE_SENSITIVE) ? VARIANT_FALSE : VARIANT_TRUE)))
        return E_FAIL;
    kcom::CComBSTR wrapped;
    if (compareType & CMP_CONTAINS) {
        // The expected text is joined in, never formatted: it may hold '%' or embedded nulls.
        // Only a match from the first character can count, and the leading run already tries every
        // later position; anchored, a text without a match costs one pass instead of one per character.
        std::wstring text = L"^(.|\\n)*(";
        text.append(View(pattern));
        text.append(L")(.|\\n)*");
        wrapped = kcom::CComBSTR(text.data(), static_cast<UINT>(text.size()));
        pattern = wrapped;
    }
    if (FAILED(matcher.SetPattern(pattern))) return E_FAIL;
    return matcher.IsFullMatch(actual, result);
}

// The value converted to vt; a failed conversion leaves the value as it stands.
kcom::CComVariant Converted(const VARIANT& value, VARTYPE vt) {
    kcom::CComVariant out;
    if (FAILED(ChangeValueType(&out, vt, &value, nullptr))) out = value;
    return out;
}

bool IsText(const VARIANT& value, VARTYPE declared) noexcept {
    return declared == VT_BSTR || (declared == VT_EMPTY && value.vt == VT_BSTR);
}

}  // namespace

bool CompareVariantValues(const VARIANT& a, const VARIANT& b) {
    if (a.vt != b.vt) return false;
    switch (a.vt) {
    case VT_ARRAY | VT_I4:
    case VT_ARRAY | VT_BSTR:
    case VT_ARRAY | VT_VARIANT:
        try {
            return CompareArrayValues(a, b);
        } catch (...) {
            return false;
        }
    case VT_CY: return a.cyVal.Lo == b.cyVal.Lo && a.cyVal.Hi == b.cyVal.Hi;
    case VT_DATE: return a.date == b.date;
    case VT_BOOL: return (a.boolVal != 0) == (b.boolVal != 0);
    case VT_DECIMAL:
        return ::VarDecCmp(const_cast<DECIMAL*>(&a.decVal), const_cast<DECIMAL*>(&b.decVal)) == VARCMP_EQ;
    case VT_I1: return a.cVal == b.cVal;
    case VT_UI2: return a.uiVal == b.uiVal;
    case VT_UI4:
    case VT_INT:
    case VT_UINT: return a.ulVal == b.ulVal;
    case VT_NULL: return true;
    default:
        return ::VarCmp(const_cast<VARIANT*>(&a), const_cast<VARIANT*>(&b), LOCALE_USER_DEFAULT, 0) == VARCMP_EQ;
    }
}

HRESULT MatchValuePattern(BSTR expected, BSTR actual, long compareType, VARIANT_BOOL* result) {
    if (!result) return E_POINTER;
    *result = VARIANT_FALSE;
    return kcom::Guard([&]() -> HRESULT {
        if (!expected || !actual) {
            if (!expected && !actual) *result = VARIANT_TRUE;
            return S_OK;
        }
        CKorBSTR expectedCopy, actualCopy;
        if (compareType & CMP_IGNORE_SPACE) {
            expectedCopy = WithoutBlanks(expected);
            actualCopy = WithoutBlanks(actual);
            expected = expectedCopy;
            actual = actualCopy;
        }

        if (compareType & CMP_REGEXP) {
            VARIANT_BOOL matched = VARIANT_FALSE;
            HRESULT hr = MatchRegExp(expected, actual, compareType, &matched);
            if (SUCCEEDED(hr)) *result = matched;
            return hr;
        }

        if (!(compareType & CMP_CONTAINS)) {
            ULONG flags = (compareType & CMP_CASE_SENSITIVE) ? 0 : NORM_IGNORECASE;
            if (SameCharacters(expected, actual) || ::VarBstrCmp(expected, actual, LOCALE_SYSTEM_DEFAULT, flags) == VARCMP_EQ)
                *result = VARIANT_TRUE;
            return S_OK;
        }

        if (::SysStringLen(expected) == 0 && ::SysStringLen(actual) == 0) {
            *result = VARIANT_TRUE;
            return S_OK;
        }
        if (!(compareType & CMP_CASE_SENSITIVE)) {
            if (expectedCopy.IsNull()) expectedCopy = CKorBSTR(expected, ::SysStringLen(expected));
            if (actualCopy.IsNull()) actualCopy = CKorBSTR(actual, ::SysStringLen(actual));
            expectedCopy.ToLower();
            actualCopy.ToLower();
            expected = expectedCopy;
            actual = actualCopy;
        }
        if (View(actual).find(View(expected)) != std::wstring_view::npos) *result = VARIANT_TRUE;
        return S_OK;
    });
}

HRESULT CompareTypedValues(VARIANT expected, VARIANT actual, long compareType, VARIANT_BOOL* result,
                           VARTYPE expectedType, VARTYPE actualType) {
    if (!result) return E_POINTER;
    *result = VARIANT_FALSE;
    return kcom::Guard([&]() -> HRESULT {
        bool expectedNull = expected.vt == VT_BSTR && !expected.bstrVal;
        bool actualNull = actual.vt == VT_BSTR && !actual.bstrVal;
        if (expectedNull || actualNull) {
            if (expectedNull && actualNull) *result = VARIANT_TRUE;
            return S_OK;
        }

        if (!(compareType & CMP_REGEXP) && !(IsText(expected, expectedType) && IsText(actual, actualType))) {
            VARTYPE target = expectedType != VT_EMPTY ? expectedType : actualType;
            kcom::CComVariant typedExpected = target != VT_EMPTY ? Converted(expected, target) : kcom::CComVariant(expected);
            kcom::CComVariant typedActual = Converted(actual, actualType != VT_EMPTY ? actualType : typedExpected.vt);
            if (CompareVariantValues(typedExpected, typedActual)) {
                *result = VARIANT_TRUE;
                return S_OK;
            }
        }

        CKorBSTR texts[2];
        const VARIANT* sides[2] = {&expected, &actual};
        for (int i = 0; i < 2; ++i) {
            kcom::CComVariant text;
            HRESULT hr = ::VariantChangeType(&text, const_cast<VARIANT*>(sides[i]), VARIANT_NOVALUEPROP, VT_BSTR);
            if (FAILED(hr)) return hr;
            if (text.vt != VT_BSTR) return E_FAIL;
            if (text.bstrVal) texts[i] = Trimmed(text.bstrVal);
        }
        VARIANT_BOOL matched = VARIANT_FALSE;
        HRESULT hr = MatchValuePattern(texts[0], texts[1], compareType, &matched);
        *result = matched;
        return hr;
    });
}

HRESULT ConvertByParamType(IObjectRack* rack, IDispatch* /*owner*/, const VARIANT* value, DWORD flags,
                           VARTYPE declaredType, DWORD compareType, VARIANT* result) {
    if (!result || !value) return E_INVALIDARG;
    return kcom::Guard([&]() -> HRESULT {
        kcom::CComVariant runtime;
        HRESULT hr = S_OK;
        if (flags & PROP_EXPRESSION) {
            if (!rack || value->vt != VT_BSTR) return E_FAIL;
            kcom::CComPtr<IKorParamTypeMgr> manager;
            if (FAILED(GetRackObject(rack, RackName::KorParamTypeMgr, manager.Put())) || !manager) return E_POINTER;
            kcom::CComPtr<IUnknown> created;
            if (FAILED(manager->CreateParameter(value->bstrVal, created.Put())) || !created) return E_FAIL;
            kcom::CComQIPtr<IKorParameter> parameter(created.get());
            if (!parameter) return E_FAIL;
            hr = parameter->Evaluate(value->bstrVal, &runtime);
            if (FAILED(hr)) return hr;
        } else {
            kcom::ThrowIfFailed(runtime.Copy(*value));
        }

        if (!(compareType & CMP_KEEP_TYPE) && declaredType != VT_EMPTY && declaredType != runtime.vt) {
            kcom::CComVariant converted;
            hr = ChangeValueType(&converted, declaredType, &runtime, nullptr);
            // A failed conversion hands on the value as it was, with the failure.
            if (SUCCEEDED(hr)) runtime = std::move(converted);
        }
        runtime.Detach(result);
        return hr;
    });
}
