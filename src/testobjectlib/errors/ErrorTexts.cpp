#include "errors/ErrorTexts.h"
#include <string>
#include "com/ComBSTR.h"
#include "com/ComError.h"
#include "errors/StandardHResults.h"
#include "errors/TestObjectError.h"
#include "host/ResourceStrings.h"

namespace {

constexpr UINT kSystemText = 0;
constexpr UINT kObjectNotFoundId = 103;
constexpr UINT kObjectNotFoundNoNameId = 123;
constexpr UINT kControlErrorId = 101;
constexpr UINT kInterfaceErrorId = 102;

// `Vostane` string of each library code from KOR_E_GENERIC on; kSystemText: the system's text.
constexpr UINT kLibraryTextIds[] = {
    104, 110, kObjectNotFoundId, 105, 109, 113, 106, 107, 108, 111, 112, 114,
    115, 116, kSystemText, 117, 119, 121, 118, kSystemText, kSystemText, 120, 122,
};
static_assert(std::size(kLibraryTextIds) == KOR_E_0216 - KOR_E_GENERIC + 1);

constexpr ErrorHelpPage kHelpPages[] = {
    {KOR_E_OBJECT_NOT_FOUND, 102, L"Error_Cannot_ID.htm"},
    {KOR_E_OBJECT_NOT_UNIQUE, 104, L"Error_Obj_Not_Unique.htm"},
    {KOR_E_PARENT_NOT_FOUND, 105, L"Error_Parent_Not_Found.htm"},
    {KOR_E_ITEM_NOT_FOUND, 106, L"Error_Cannot_ID_item.htm"},
    {KOR_E_ITEM_NOT_UNIQUE, 107, L"Error_Item_Not_Unique.htm"},
    {KOR_E_INVALID_ARGUMENTS, 108, L"Error_Invalid_Args.htm"},
    {E_FAIL, 109, L"Error_Test_Run_Failed.htm"},
};

constexpr DWORD kMessageBufferSize = 800;

std::wstring ResourceText(HMODULE module, UINT id) {
    kcom::CComBSTR text;
    if (!module || !LoadResourceString(text.Put(), module, id)) return std::wstring();
    return std::wstring(text.c_str(), text.Length());
}

// A general text of the resource module, kept once it has been read.
const std::wstring& KeptResourceText(UINT id) {
    static std::wstring kept[2];
    static bool loaded[2] = {};
    const int slot = id == kControlErrorId ? 0 : 1;
    if (!loaded[slot]) {
        kept[slot] = ResourceText(LoadVostaneModule(), id);
        loaded[slot] = !kept[slot].empty();
    }
    return kept[slot];
}

// The message has no arguments: inserts such as "%1" stay as they are instead of being read
// from a missing argument list.
std::wstring SystemText(HRESULT hr) {
    wchar_t buffer[kMessageBufferSize] = {};
    DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                               static_cast<DWORD>(hr), 0, buffer, kMessageBufferSize, nullptr);
    return std::wstring(buffer, n < kMessageBufferSize ? n : 0);
}

std::wstring SystemErrorText(HRESULT hr) {
    if (IsStandardHResult(hr)) return SystemText(hr);
    const DWORD code = static_cast<DWORD>(HRESULT_CODE(hr));
    if (HRESULT_FACILITY(hr) == FACILITY_CONTROL && code >= 600) return KeptResourceText(kControlErrorId);
    if (HRESULT_FACILITY(hr) == FACILITY_ITF && code >= 0x200) return KeptResourceText(kInterfaceErrorId);
    return SystemText(hr);
}

HRESULT Replace(BSTR* out, const std::wstring& text) {
    BSTR copy = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!copy) return E_OUTOFMEMORY;
    ::SysFreeString(*out);
    *out = copy;
    return S_OK;
}

}  // namespace

HRESULT FormatLibraryErrorText(HRESULT hr, const wchar_t* name, BSTR* text) noexcept {
    if (!text) return E_POINTER;
    return kcom::Guard([&] {
        const bool library = hr >= KOR_E_GENERIC && hr <= KOR_E_0216;
        const UINT id = library ? kLibraryTextIds[hr - KOR_E_GENERIC] : kSystemText;
        if (id == kSystemText) return Replace(text, SystemErrorText(hr));
        if (id != kObjectNotFoundId) return Replace(text, ResourceText(LoadVostaneModule(), id));
        if (!name || !*name) return Replace(text, ResourceText(LoadVostaneModule(), kObjectNotFoundNoNameId));
        return Replace(text, FormatResourceText(ResourceText(LoadVostaneModule(), id).c_str(), {name}));
    });
}

HRESULT GetSystemErrorText(HRESULT hr, BSTR* out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    return kcom::Guard([&] { return Replace(out, SystemErrorText(hr)); });
}

const ErrorHelpPage* FindErrorHelpPage(HRESULT hr) noexcept {
    for (const ErrorHelpPage& entry : kHelpPages)
        if (entry.code == hr) return &entry;
    return nullptr;
}
