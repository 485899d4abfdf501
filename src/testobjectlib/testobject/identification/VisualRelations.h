#pragma once
// The host's visual-relations filter of identification candidates.
#include <windows.h>
#include <oleauto.h>
#include "host.h"

// Asks the rack's "TORelationsMgr" to keep the candidates that satisfy the test object's visual
// relations. S_OK: applied, *filtered holds the survivors; any other success code: the relations
// do not apply. E_FAIL without a test object or without the manager's filter interface,
// E_NOINTERFACE when the rack answers no manager, or the rack's failure.
HRESULT FilterByVisualRelations(IDispatch* testObject, IObjectRack* rack, SAFEARRAY* candidates,
                                SAFEARRAY** filtered) noexcept;
