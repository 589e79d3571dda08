// The effect component's entry routine, exported from the bundle as
// Morvane_AUEntry: every selector of the component reaches Morvane_AU.
#include "engine/Morvane_AU.h"
#include "host/ComponentDispatch.h"

COMPONENT_ENTRY(Morvane_AU)
