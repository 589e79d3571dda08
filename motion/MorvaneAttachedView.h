// What the effect calls on an open editor view. The view hands the effect a
// pointer to this interface (custom property 80002) when it opens and a null
// pointer when it closes.
//
// Threads: both calls may come on the render thread (pad motion during a
// control tick) as well as on the user-interface thread, so an implementation
// must neither block, lock nor allocate; it hands the values on to its
// user-interface thread through a lock-free mailbox.
#pragma once

#include <cstdint>

#include "host/AudioUnitTypes.h"

class MorvaneAttachedView {
  public:
    // A pad moved parameter->mParameterID to naturalValue: the control showing
    // it follows. unit and object are the effect's component instance.
    virtual void ParameterListener(void* unit, void* object, const AudioUnitParameter* parameter,
                                   float naturalValue) = 0;
    // A linked drag moved the partner pad axis id to vstValue (0..1).
    virtual void SetVSTParameter(int32_t id, float vstValue) = 0;

  protected:
    ~MorvaneAttachedView() = default;
};
