// Equal-power fade used for the wet/dry mix targets: 512 gains falling from 1
// (index 0) to exactly 0 (index 511) along a quarter-cosine. Constant data,
// readable from any thread.
#pragma once

extern const float lookup_512_equalPower[512];
