#pragma once
// Small helpers shared by the environment's test programs: exports, child processes, calls by
// name, and a dispatch base for test objects that answer nothing by default.
#include <windows.h>
#include <oleauto.h>
#include <initializer_list>
#include <string>
#include "com/ComPtr.h"
#include "com/ComVariant.h"
#include "com/Handles.h"

// Typed look-up of a DLL export.
template <class F>
F Export(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

// Runs a command line and answers its exit code; 0xFFFFFFFF when it did not start or end in time.
inline DWORD RunProcess(std::wstring command, DWORD* processId = nullptr, DWORD flags = 0) {
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    si.dwFlags = flags;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return 0xFFFFFFFF;
    kcom::CHandle process(pi.hProcess), thread(pi.hThread);
    if (processId) *processId = pi.dwProcessId;
    DWORD code = 0xFFFFFFFF;
    if (::WaitForSingleObject(process, 60000) == WAIT_OBJECT_0) ::GetExitCodeProcess(process, &code);
    return code;
}

// object.name(args...) through IDispatch; the arguments are given first to last.
inline HRESULT CallByName(IDispatch* object, const wchar_t* name, WORD flags, VARIANT* result = nullptr,
                          std::initializer_list<VARIANT> args = {}) {
    DISPID id = 0;
    LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, 0x400, &id);
    if (FAILED(hr)) return hr;
    VARIANT reversed[8] = {};  // DISPPARAMS carry the last argument first
    UINT n = 0;
    for (const VARIANT& a : args) reversed[args.size() - 1 - n++] = a;
    DISPPARAMS params{n ? reversed : nullptr, nullptr, n, 0};
    return object->Invoke(id, IID_NULL, 0x400, flags, &params, result, nullptr, nullptr);
}

// IDispatch without type information or names; Invoke is the test object's to answer.
class CDispatchStub : public IDispatch {
public:
    STDMETHOD(GetTypeInfoCount)(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    STDMETHOD(GetTypeInfo)(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHOD(GetIDsOfNames)(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
};

// The text a value holds, or "<not text>".
inline std::wstring Text(const VARIANT& v) {
    return v.vt == VT_BSTR && v.bstrVal ? std::wstring(v.bstrVal, ::SysStringLen(v.bstrVal)) : L"<not text>";
}
