// The view component's entry, Morvane_AUViewEntry: one Morvane_AUView per
// view a host opens. It belongs to the bundle (and to programs that open the
// view in-process), not to the editor library.
#include "editor/Morvane_AUView.h"
#include "host/ComponentDispatch.h"

COMPONENT_ENTRY(Morvane_AUView)
