#pragma once
// Whether the expression stored for a property still stands for its live value when the
// description is made anew: only patterns and parameter texts are worth keeping over the live
// value, and only while they still match it.
#include <windows.h>
#include <oleauto.h>
#include "host.h"

// liveCompareType: the compare type the live value was described with; flags, type, compareType
// and stored: the property as stored. A parameter text (flag 0x100) is evaluated first.
bool StoredValueHolds(IObjectRack* rack, IDispatch* owner, long liveCompareType, long flags, long type,
                      long compareType, const VARIANT& stored, const VARIANT& live);
