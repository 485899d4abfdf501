#pragma once
// The library's own failures: FACILITY_ITF codes 0x80040200 to 0x80040216.
#include <windows.h>

enum TestObjectError : HRESULT {
    KOR_E_GENERIC = static_cast<HRESULT>(0x80040200),
    KOR_E_IDENTIFICATION_FAILED = static_cast<HRESULT>(0x80040201),
    KOR_E_OBJECT_NOT_FOUND = static_cast<HRESULT>(0x80040202),
    KOR_E_OBJECT_NOT_UNIQUE = static_cast<HRESULT>(0x80040203),
    KOR_E_PARENT_NOT_FOUND = static_cast<HRESULT>(0x80040204),
    KOR_E_OBJECT_NOT_VISIBLE = static_cast<HRESULT>(0x80040205),
    KOR_E_EMPTY_RECT = static_cast<HRESULT>(0x80040206),  // also: package number already set
    KOR_E_0207 = static_cast<HRESULT>(0x80040207),
    KOR_E_OBJECT_NOT_ENABLED = static_cast<HRESULT>(0x80040208),
    KOR_E_ITEM_NOT_FOUND = static_cast<HRESULT>(0x80040209),
    KOR_E_ITEM_NOT_UNIQUE = static_cast<HRESULT>(0x8004020A),
    KOR_E_020B = static_cast<HRESULT>(0x8004020B),
    KOR_E_020C = static_cast<HRESULT>(0x8004020C),
    KOR_E_NO_RUNTIME_ID = static_cast<HRESULT>(0x8004020D),
    KOR_E_WAIT_PROPERTY_FAILED = static_cast<HRESULT>(0x8004020E),
    KOR_E_CLICK_REFUSED = static_cast<HRESULT>(0x8004020F),
    KOR_E_0210 = static_cast<HRESULT>(0x80040210),
    KOR_E_INVALID_ARGUMENTS = static_cast<HRESULT>(0x80040211),
    KOR_E_0212 = static_cast<HRESULT>(0x80040212),
    KOR_E_0213 = static_cast<HRESULT>(0x80040213),
    KOR_E_0214 = static_cast<HRESULT>(0x80040214),
    KOR_E_0215 = static_cast<HRESULT>(0x80040215),
    KOR_E_0216 = static_cast<HRESULT>(0x80040216),
};
