#pragma once
// Rows of description tables found by property name, without regard to case.
#include <windows.h>
#include <oleauto.h>
#include "tables/KorSafeArray.h"

// Two texts equal without case (system locale); a text never equals another type; two VT_NULL are
// equal; other values of one type equal when VarCmp says so; different types are unequal.
bool VariantEqualNoCase(const VARIANT& a, const VARIANT& b) noexcept;

// The first row whose cell in column equals value by VariantEqualNoCase, or -1.
LONG FindRowNoCase(const CKorSafeArray& table, const VARIANT& value, LONG column) noexcept;
