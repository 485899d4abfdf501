#pragma once
// The test object made for each window, so that several steps on one control share one object.
#include <windows.h>
#include <oaidl.h>
#include <map>
#include "com/ComPtr.h"

class CObjCache {
public:
    CObjCache() = default;
    virtual ~CObjCache();
    CObjCache(const CObjCache&) = delete;
    CObjCache& operator=(const CObjCache&) = delete;

    // The object kept for the window, or null.
    kcom::CComPtr<IDispatch> Find(HWND window) const;
    // Keeps the object for the window, in place of any earlier one.
    void Set(HWND window, IDispatch* object);
    // False when the window had no entry.
    bool Erase(HWND window);
    void Clear() noexcept;
    size_t Size() const noexcept { return m_objects.size(); }

private:
    std::map<HWND, kcom::CComPtr<IDispatch>> m_objects;
};
