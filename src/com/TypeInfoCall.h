#pragma once
// One call of a member through ITypeInfo::Invoke of the package's own type information.
// Wine's Invoke prepares the arguments one parameter after the other and copies each one it has
// to convert (an object copied keeps a reference to it). When a later parameter fails, by a
// conversion, a missing argument or an argument in the place of a [retval], it returns without
// freeing the copies made so far; and the copy of a named argument that lies past as many
// parameters as there are arguments is never freed, even when the call succeeds. So the call is
// foreseen before Invoke sees it: what Invoke would refuse after taking a copy is refused here
// with Invoke's own code, and named arguments it would not free are passed by position instead.
#include <windows.h>
#include <oaidl.h>
#include <vector>

namespace kcom {

class CTypeInfoCall {
public:
    // params stays the caller's; what Invoke writes back into its arguments reaches it.
    CTypeInfoCall(ITypeInfo* info, DISPID id, WORD flags, DISPPARAMS& params, VARIANT* result) noexcept
        : info_(info), id_(id), flags_(flags), params_(params), result_(result) {}
    CTypeInfoCall(const CTypeInfoCall&) = delete;
    CTypeInfoCall& operator=(const CTypeInfoCall&) = delete;

    HRESULT Invoke(void* target, EXCEPINFO* excepInfo, UINT* argErr) noexcept;

private:
    // S_OK: Invoke gets the arguments as given; S_FALSE: by position (args_); a failure: refused.
    HRESULT Foresee(const FUNCDESC& func);
    // The arguments of sources (one per parameter, null where none is given) by position.
    void ByPosition(const FUNCDESC& func, const std::vector<const VARIANT*>& sources);

    ITypeInfo* info_;
    DISPID id_;
    WORD flags_;
    DISPPARAMS& params_;
    VARIANT* result_;
    std::vector<VARIANT> args_;  // shallow: the caller's values and markers of missing ones
    std::vector<int> origins_;   // for each of args_, its place in the caller's arguments, or -1
};

}  // namespace kcom
