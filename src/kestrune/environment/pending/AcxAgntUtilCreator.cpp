// Not part of this build yet: the class stays registered, creating it is refused.
#include "../ObjectMap.h"

extern const kcom::CreatorFn AcxAgntUtilCreator = nullptr;
