#pragma once
// Property records created by class name: one factory per record class in a process-wide list.
#include <cstring>
#include <new>
#include "description/Property.h"

namespace dynamic {

class abstract_factory {
public:
    // A new record of the factory's class, or null when className is not its class.
    virtual CProperty* Create(const char* className, IPropertyOwner* owner) = 0;

protected:
    ~abstract_factory() = default;
};

// An element of the list; it unlinks itself when destroyed.
class factory_list_ele {
public:
    explicit factory_list_ele(abstract_factory* factory) noexcept;
    virtual ~factory_list_ele();
    factory_list_ele(const factory_list_ele&) = delete;
    factory_list_ele& operator=(const factory_list_ele&) = delete;

    factory_list_ele* next = nullptr;
    abstract_factory* factory;
};

// Head of the list: a plain pointer, zero before any factory exists.
extern factory_list_ele* factory_list_head;

inline constexpr size_t kClassNameSize = 50;

template <class T>
class factory : public abstract_factory {
public:
    explicit factory(const char* className) noexcept : ele_(this) {
        size_t n = 0;
        for (; className && className[n] && n + 1 < kClassNameSize; ++n) name_[n] = className[n];
        name_[n] = '\0';
    }
    ~factory() = default;
    CProperty* Create(const char* className, IPropertyOwner* owner) override {
        if (!className || std::strncmp(name_, className, kClassNameSize) != 0) return nullptr;
        return new (std::nothrow) T(owner);
    }

private:
    char name_[kClassNameSize] = {};
    factory_list_ele ele_;
};

// Asks each factory from the head of the list; null when none knows the name.
CProperty* CreateByName(const char* className, IPropertyOwner* owner);

// Creates the factories of the package's record classes, once; the load-time registrations
// call it. Later registrations are met first.
void RegisterPropertyFactories();

}  // namespace dynamic
