#include "description/PropertyFactory.h"

namespace dynamic {

factory_list_ele* factory_list_head = nullptr;

factory_list_ele::factory_list_ele(abstract_factory* f) noexcept : next(factory_list_head), factory(f) {
    factory_list_head = this;
}

factory_list_ele::~factory_list_ele() {
    for (factory_list_ele** at = &factory_list_head; *at; at = &(*at)->next) {
        if (*at == this) {
            *at = next;
            break;
        }
    }
}

CProperty* CreateByName(const char* className, IPropertyOwner* owner) {
    for (factory_list_ele* e = factory_list_head; e; e = e->next) {
        if (CProperty* created = e->factory->Create(className, owner)) return created;
    }
    return nullptr;
}

void RegisterPropertyFactories() {
    // Function statics: built in this order on the first call, destroyed at exit.
    static factory<CProperty> property("CProperty");
    static factory<CKorClassProperty> classProperty("CKorClassProperty");
    static factory<CKorLogicalNameProperty> logicalName("CKorLogicalNameProperty");
    static factory<CKorGenTypeProperty> genType("CKorGenTypeProperty");
    static factory<CKorObjectRelationsProperty> relations("CKorObjectRelationsProperty");
}

}  // namespace dynamic
