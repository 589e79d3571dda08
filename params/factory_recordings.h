// Pad recordings of the 33 factory presets: for preset n, row n of each table
// holds the 80 x (LX, RX) or y (LY, RY) values of the left (L) or right (R) pad's
// recording, and mojoLsize[n] / mojoRsize[n] the number of valid points. Points
// beyond a row's count are 0. Read-only, shared by every thread.
#pragma once

inline constexpr int kMojoPresets = 33;
inline constexpr int kMojoPoints = 80;

extern const int mojoLsize[kMojoPresets];
extern const int mojoRsize[kMojoPresets];
extern const float mojoLX[kMojoPresets][kMojoPoints];
extern const float mojoLY[kMojoPresets][kMojoPoints];
extern const float mojoRX[kMojoPresets][kMojoPoints];
extern const float mojoRY[kMojoPresets][kMojoPoints];
