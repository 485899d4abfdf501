// Operations whose behaviour lands with the identification, matching, replay, run-time and
// checkpoint work of the test object. Until then each answers E_NOTIMPL.
#include "testobject/core/ComTestObject.h"

