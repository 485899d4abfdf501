#pragma once
// One report event for the host's test report: an event type and a dictionary of named values.
#include <windows.h>
#include <oleauto.h>
#include "com/ComBSTR.h"
#include "com/ComPtr.h"

// The dictionary interface of "Scripting.Dictionary".
inline constexpr IID IID_KorDictionary = {0x42C642C1, 0x97E1, 0x11CF, {0x97, 0x8F, 0x00, 0xA0, 0x24, 0x63, 0xE0, 0x6F}};

class CReportEventInfo {
public:
    CReportEventInfo() noexcept;
    CReportEventInfo(const CReportEventInfo&) = delete;
    CReportEventInfo& operator=(const CReportEventInfo&) = delete;
    virtual ~CReportEventInfo();

    // Empties the dictionary and starts over as a new event.
    HRESULT Reset() noexcept;
    // Type, "Status" and "StepInfo" always (StepInfo even when null); the other items only when given.
    HRESULT Set(const wchar_t* type, const wchar_t* nodeName, const wchar_t* nodeType, const wchar_t* stepInfo,
                long status, const wchar_t* htmlNodeName, const wchar_t* stepHtmlInfo) noexcept;
    // Replaces the item of that key, or adds it.
    HRESULT SetItem(const wchar_t* key, const VARIANT& value) noexcept;
    HRESULT SetItem(const wchar_t* key, const wchar_t* text) noexcept;
    // The item as held; VT_EMPTY with S_FALSE when the key is missing.
    HRESULT GetItem(const wchar_t* key, VARIANT* value) noexcept;
    bool HasItem(const wchar_t* key) noexcept;
    HRESULT SetType(const wchar_t* type) noexcept;

    // Null when "Scripting.Dictionary" could not be had: such an event reports nothing.
    IDispatch* Dictionary() const noexcept { return m_dictionary; }
    BSTR Type() const noexcept { return m_type; }

    kcom::CComPtr<IDispatch> m_dictionary;
    kcom::CComBSTR m_type;
    DWORD m_parentId = 0;
    DWORD m_eventId = 0;

private:
    HRESULT AddStartItems() noexcept;
    HRESULT Call(const wchar_t* method, WORD kind, VARIANT* args, UINT count, VARIANT* result) noexcept;
};
