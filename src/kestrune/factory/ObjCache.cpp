#include "factory/ObjCache.h"
#include <utility>

CObjCache::~CObjCache() { Clear(); }

kcom::CComPtr<IDispatch> CObjCache::Find(HWND window) const {
    auto it = m_objects.find(window);
    return it == m_objects.end() ? kcom::CComPtr<IDispatch>() : it->second;
}

void CObjCache::Set(HWND window, IDispatch* object) {
    kcom::CComPtr<IDispatch> held(object);
    // The earlier object is released after the map is consistent again: its release may re-enter.
    std::swap(m_objects[window], held);
}

bool CObjCache::Erase(HWND window) {
    auto it = m_objects.find(window);
    if (it == m_objects.end()) return false;
    kcom::CComPtr<IDispatch> released = std::move(it->second);
    m_objects.erase(it);
    return true;
}

void CObjCache::Clear() noexcept {
    std::map<HWND, kcom::CComPtr<IDispatch>> released;
    released.swap(m_objects);
}
