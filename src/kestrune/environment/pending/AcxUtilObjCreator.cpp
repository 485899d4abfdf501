// Not part of this build yet: the class stays registered, creating it is refused.
#include "environment/ObjectMap.h"

extern const kcom::CreatorFn AcxUtilObjCreator = nullptr;
