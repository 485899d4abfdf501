#pragma once
// One handler of a property query: a member function of the query engine, a plain function, or a
// method of an outside IDispatch object called by name.
#include <windows.h>
#include <oleauto.h>
#include <optional>
#include <string>
#include "com/ComPtr.h"
#include "host.h"

class CQueryRecord {
public:
    enum Kind : long { MemberFunction = 0, PlainFunction = 1, DispatchMethod = 2 };

    // Member functions are kept with their class erased; the owning engine casts them back.
    using ErasedMember = HRESULT (CQueryRecord::*)(IRuntimeID*, VARIANT*, VARIANT*);
    using Function = HRESULT (*)(IRuntimeID*, VARIANT*, VARIANT*);

    static CQueryRecord ForMember(ErasedMember member, long adjustment) noexcept;
    // Takes a reference on the object when asked to; the record then releases it.
    static CQueryRecord ForDispatch(IDispatch* object, const wchar_t* method, bool takeReference);

    // Calls the object's method with (runtime id as VT_UNKNOWN, parameter) into result.
    HRESULT InvokeDispatch(IRuntimeID* id, const VARIANT* parameter, VARIANT* result) const noexcept;

    long kind = MemberFunction;
    std::optional<std::wstring> name;
    std::optional<std::wstring> secondName;
    bool owned = false;
    ErasedMember member = nullptr;
    Function function = nullptr;
    IDispatch* object = nullptr;
    long adjustment = 0;

private:
    kcom::CComPtr<IDispatch> reference_;  // set exactly when owned
};
