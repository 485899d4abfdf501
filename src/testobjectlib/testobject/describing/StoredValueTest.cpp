#include "testobject/describing/StoredValueTest.h"
#include "com/ComVariant.h"
#include "values/ValueComparison.h"

namespace {
constexpr long kExpressionFlag = 0x100;
}  // namespace

bool StoredValueHolds(IObjectRack* rack, IDispatch* owner, long liveCompareType, long flags, long type,
                      long compareType, const VARIANT& stored, const VARIANT& live) {
    if (liveCompareType & CMP_REGEXP) return false;
    if (!(compareType & CMP_REGEXP) && !(flags & kExpressionFlag)) return false;
    try {
        kcom::CComVariant expected;
        if (flags & kExpressionFlag) {
            if (FAILED(ConvertByParamType(rack, owner, &stored, static_cast<DWORD>(flags), static_cast<VARTYPE>(type),
                                          static_cast<DWORD>(compareType), expected.Put())))
                return false;
        } else if (FAILED(expected.Copy(stored))) {
            return false;
        }
        VARIANT_BOOL equal = VARIANT_FALSE;
        return SUCCEEDED(CompareTypedValues(expected, live, compareType, &equal, static_cast<VARTYPE>(type),
                                            VT_EMPTY)) &&
               equal != VARIANT_FALSE;
    } catch (...) {
        return false;
    }
}
