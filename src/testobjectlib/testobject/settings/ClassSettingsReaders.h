#pragma once
// Readers of a test-object class's identification settings below "TestOptions"\"Test Objects"\<class>.
// They keep nothing: every call walks the tree again. Tables are VARIANT tables addressed
// {column, row}.
#include <windows.h>
#include <oleauto.h>
#include "host.h"

// The child node of that name (get item, answered as a node). A null argument is E_INVALIDARG;
// the get-item failure is returned; an answer that is not a node is E_FAIL.
HRESULT OpenChildNode(IKorSettings* parent, const wchar_t* name, IKorSettings** out) noexcept;

// The class's node. E_POINTER for a missing rack, class name or out; E_FAIL without "TestOptions";
// the opening failures of "Test Objects" and of the class are returned.
HRESULT OpenClassNode(IObjectRack* rack, BSTR className, IKorSettings** out) noexcept;

// Identification properties: the "Description" values that are VT_I4 with 0x10 and a bit of mask,
// as a rows x 5 description table (name in column 0, flags in column 2). S_FALSE with a null table
// when "Description" (of the user-defined variant, when named) cannot be reached.
HRESULT ReadClassSettingKind3(IObjectRack* rack, BSTR className, SAFEARRAY** out, BSTR userDefinedName,
                              DWORD mask) noexcept;

// The last-resort property: the name of the last "Description" value that is VT_I4 with 0x400;
// S_FALSE with a null name when there is none.
HRESULT ReadClassSettingKind5(IObjectRack* rack, BSTR className, BSTR* out, BSTR userDefinedName) noexcept;

// Assistive properties: the names of the non-zero VT_I4 values of "Description"\"Assistive",
// by their number ascending; of equal numbers the first read stays. A rows x 1 table.
HRESULT ReadClassSettingKind0(IObjectRack* rack, BSTR className, SAFEARRAY** out, BSTR userDefinedName) noexcept;

// The rows of "Properties" (name, flags); mask -1 hands out the host's table as it is, any other
// mask keeps the rows whose flags are VT_I4 sharing a bit with it.
HRESULT ReadClassSettingList(IObjectRack* rack, BSTR className, SAFEARRAY** out, DWORD mask) noexcept;

// The values of "Test Objects\<class>\<subKey>" (or of the class without a sub-key), rows x 2.
HRESULT ReadClassSectionValues(BSTR className, IObjectRack* rack, const wchar_t* subKey, SAFEARRAY** out) noexcept;

// One setting of the class named by the object's "korclass".
HRESULT ReadClassSetting(IUnknown* object, IObjectRack* rack, const wchar_t* subKey, const wchar_t* valueName,
                         VARIANT* out) noexcept;
