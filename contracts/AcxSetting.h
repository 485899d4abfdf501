#pragma once
// Settings singleton of the ActiveX add-in, exported by Varrow.dll. The package links its import
// library; the field order is part of the contract.
#include <windows.h>
#include <cstddef>

#ifdef VARROW_BUILD
#define VARROW_API __declspec(dllexport)
#else
#define VARROW_API __declspec(dllimport)
#endif

// Trapping mode of an event category.
enum TRAP_MODE : int {
    TRAP_MODE_FULL_AND_MULTIMEDIA = -1,
    TRAP_MODE_FULL = 0,
    TRAP_MODE_MULTIMEDIA = 1,
};

class VARROW_API CAcxSetting {
public:
    static CAcxSetting* GetInstance();

    // Points the settings at <root>\<path>; the path ends in "\ActiveX Add-in".
    void SetProductActiveXAgentRegRoot(HKEY root, const wchar_t* path);
    long SetTrappingModeForCategoryW(wchar_t* category, TRAP_MODE mode);
    // True when <root>\<path>\ProgID\<progId> holds valueName as text; value receives a BSTR
    // that the caller frees with SysFreeString.
    bool GetValueFromProgIDW(wchar_t* progId, wchar_t* valueName, wchar_t** value);
    bool IsIgnorePropertyW(wchar_t* progId, wchar_t* property);

    // Read directly by callers, in this order.
    UINT m_notificationFormat;  // records the query engine handles
    UINT m_wlsClearFormat;      // records asking to clear one windowless control's cache
    DWORD m_reserved;
    wchar_t* m_rootKeyPath;     // never null; "" until a root is set
    HKEY m_rootKey;             // the root the path lies under

private:
    CAcxSetting();
    ~CAcxSetting();
    CAcxSetting(const CAcxSetting&) = delete;
    CAcxSetting& operator=(const CAcxSetting&) = delete;
};

static_assert(offsetof(CAcxSetting, m_notificationFormat) == 0 && offsetof(CAcxSetting, m_wlsClearFormat) == 4 &&
              offsetof(CAcxSetting, m_reserved) == 8 && offsetof(CAcxSetting, m_rootKeyPath) == 12 &&
              offsetof(CAcxSetting, m_rootKey) == 16, "field order read by callers");
