// The factory presets. Every value is normalised (0..1); the comments give the
// idea of each preset. The routing columns hold, per pad axis, the destination
// index (index / 15), then the low and the high bound in the destination's own
// normalised scale. Each preset stores, for a routed parameter, the value its
// pad sends from the starting position, so nothing jumps at the first move.
// The rows designed here (all but 0, 10 and 28 to 32, which are as given) sit
// within 3 LU of the dry demo loop and never pass 0 dBFS on it; Output Gain
// sets their level (tests/engine/test_presets_levels.cpp measures them).
#include "params/factory_presets.h"

// clang-format off
const FactoryPresetName kPresets[kFactoryPresetCount] = {
    {0, "Welcome To Morvane"},
    {1, "Freeky Deeky"},
    {2, "Pokey, Mon..."},
    {3, "And A Log"},
    {4, "Move The Grey One"},
    {5, "Highpass Chaoss"},
    {6, "For Pads Only!"},
    {7, "Dirty Flanger"},
    {8, "Big Four Pole"},
    {9, "Funhouse"},
    {10, "Stereo Dubs (send)"},
    {11, "Stereo Dubs (insert)"},
    {12, "Bitcrush Chorus"},
    {13, "Soup Sandwich"},
    {14, "Forbidden Planet"},
    {15, "Bit Wah"},
    {16, "Noise Parade"},
    {17, "Rambling Lead"},
    {18, "Digi Train"},
    {19, "Analog Delay Chaoss"},
    {20, "Rezonator"},
    {21, "Biznoink"},
    {22, "Arcane"},
    {23, "Cities In Dust"},
    {24, "Shortwave Freque"},
    {25, "Bitcrush Chaoss"},
    {26, "SquishyDink"},
    {27, "Yin & Yang"},
    {28, "User 1 (init)"},
    {29, "User 2 (init)"},
    {30, "User 3 (init)"},
    {31, "User 4 (init)"},
    {32, "User 5 (init)"},
};

// Columns, one line each:
//   0-6   filter type, frequency, resonance, filter gain, saturation, bitcrush, filter on
//   7-14  left time, right multiplier, regeneration, host sync, width, mix, emulation, delay on
//   15-24 motion rate, motion mode, input gain, output gain, right X/Y/Z, left X/Y/Z
//   25-33 left X, Y, Z routing: destination, low, high
//   34-42 right X, Y, Z routing: destination, low, high
//   43-44 link mode, kinetics
const float kPresetData[kFactoryPresetCount][kFactoryPresetValueCount] = {
    // 0 "Welcome To Morvane"
    // Our front door: a singing ladder low-pass on the left pad, crushed dub echoes on the right,
    // both pads drifting slowly so the room breathes on its own.
    {0.0f, 0.632685f, 0.675734f, 0.5f, 0.0f, 0.545181f, 1.0f,
     0.37f, 0.74f, 0.733168f, 1.0f, 0.613445f, 0.5f, 0.0f, 1.0f,
     0.5f, 1.0f, 0.8f, 0.8f, 0.458373f, 0.631175f, 0.0f, 0.421492f, 0.291574f, 0.0f,
     0.066667f, 0.420168f, 0.92437f, 0.133333f, 0.563025f, 0.94958f, 0.0f, 0.0f, 0.0f,
     0.4f, 0.394958f, 0.722689f, 0.666667f, 0.521008f, 0.857143f, 0.0f, 0.0f, 0.0f,
     1.0f, 1.0f},
    // 1 "Freeky Deeky"
    // Funky auto-wah: the left pad's gesture rides a resonant two-pole low-pass while the right
    // one pushes dotted echoes in and out and roughens them.
    {0.4f, 0.379814f, 0.485f, 0.449039f, 0.25f, 0.08f, 1.0f,
     0.5f, 0.272727f, 0.653497f, 1.0f, 0.8f, 0.275f, 0.0f, 1.0f,
     0.857143f, 0.5f, 0.8f, 0.8f, 0.3f, 0.2f, 0.0f, 0.2f, 0.3f, 0.0f,
     0.0666667f, 0.294883f, 0.719537f, 0.133333f, 0.35f, 0.8f, 0.0f, 0.0f, 1.0f,
     0.8f, 0.2f, 0.45f, 0.4f, 0.0f, 0.4f, 0.0f, 0.0f, 1.0f,
     1.0f, 1.0f},
    // 2 "Pokey, Mon..."
    // Band-pass pokes into a laid-back dub echo; the long right-hand gesture slowly opens the
    // feedback and the stereo spread over two bars. Hold the left handle to throw the sound into
    // the echo.
    {1.0f, 0.437765f, 0.12f, 0.899388f, 0.5f, 0.0f, 1.0f,
     0.5f, 0.636364f, 0.561766f, 1.0f, 0.51f, 0.4f, 0.0f, 1.0f,
     1.0f, 0.5f, 0.948412f, 0.660863f, 0.2f, 0.3f, 0.0f, 0.3f, 0.3f, 0.0f,
     0.0666667f, 0.349025f, 0.644825f, 0.133333f, 0.0f, 0.4f, 0.8f, 0.4f, 0.75f,
     0.666667f, 0.50003f, 0.808712f, 0.733333f, 0.3f, 1.0f, 0.0f, 0.0f, 1.0f,
     1.0f, 1.0f},
    // 3 "And A Log"
    // Warm three-pole low-pass, a little drive and dark bucket-brigade echoes; throw the right pad
    // and the delay time bends like an old tape machine.
    {0.2f, 0.610177f, 0.47f, 0.5f, 0.3f, 0.0f, 1.0f,
     0.160822f, 0.727273f, 0.641164f, 0.0f, 0.6f, 0.35f, 0.0f, 1.0f,
     0.571429f, 1.0f, 0.8f, 0.8f, 0.5f, 0.4f, 0.0f, 0.55f, 0.45f, 0.0f,
     0.0666667f, 0.370512f, 0.806267f, 0.133333f, 0.2f, 0.8f, 0.0f, 0.0f, 1.0f,
     0.533333f, 0.0981964f, 0.223447f, 0.666667f, 0.50003f, 0.852864f, 0.0f, 0.0f, 1.0f,
     1.0f, 1.0f},
    // 4 "Move The Grey One"
    // Both handles locked together: one drag sweeps the ladder filter and its resonance while the
    // other side adds drive and echo. Grab it and throw it.
    {0.0f, 0.57504f, 0.42f, 0.5f, 0.1575f, 0.0f, 1.0f,
     0.566667f, 0.727273f, 0.68931f, 1.0f, 1.0f, 0.165f, 0.0f, 1.0f,
     0.571429f, 1.0f, 0.8f, 0.727047f, 0.35f, 0.3f, 0.0f, 0.55f, 0.4f, 0.0f,
     0.0666667f, 0.212685f, 0.871511f, 0.133333f, 0.2f, 0.75f, 0.0f, 0.0f, 1.0f,
     0.333333f, 0.0f, 0.45f, 0.8f, 0.0f, 0.55f, 0.0f, 0.0f, 1.0f,
     0.5f, 1.0f},
    // 5 "Highpass Chaoss"
    // Four-pole high-pass swept by the left pad, the right pad following it and jumping the echo
    // time between divisions. Throw the left handle for chaos.
    {0.6f, 0.231104f, 0.24f, 0.61951f, 0.0f, 0.0f, 1.0f,
     0.276f, 0.727273f, 0.574925f, 1.0f, 0.9f, 0.35f, 0.0f, 1.0f,
     0.571429f, 1.0f, 0.8f, 0.695216f, 0.3f, 0.35f, 0.0f, 0.12f, 0.4f, 0.0f,
     0.0666667f, 0.176779f, 0.629488f, 0.133333f, 0.1f, 0.45f, 0.0f, 0.0f, 1.0f,
     0.533333f, 0.14f, 0.593333f, 0.666667f, 0.449039f, 0.808712f, 0.0f, 0.0f, 1.0f,
     0.0f, 1.0f},
    // 6 "For Pads Only!"
    // Made for sustained chords: a slow drifting low-pass and wide quarter-note echoes that bloom
    // behind the sound.
    {0.4f, 0.485652f, 0.35f, 0.5f, 0.0f, 0.0f, 1.0f,
     0.566667f, 0.727273f, 0.697984f, 1.0f, 0.8f, 0.4f, 0.0f, 1.0f,
     0.571429f, 1.0f, 0.8f, 0.727047f, 0.5f, 0.6f, 0.0f, 0.25f, 0.5f, 0.0f,
     0.0666667f, 0.370512f, 0.831072f, 0.733333f, 0.6f, 1.0f, 0.0f, 0.0f, 1.0f,
     0.666667f, 0.587256f, 0.808712f, 0.8f, 0.25f, 0.5f, 0.0f, 0.0f, 1.0f,
     1.0f, 1.0f},
    // 7 "Dirty Flanger"
    // A driven, crushed signal through very short gliding delays with strong feedback; the left
    // pad drifts the delay time for a slow, gritty flange.
    {0.4f, 0.793882f, 0.1f, 0.449039f, 0.45f, 0.2f, 1.0f,
     0.002f, 0.363636f, 0.759905f, 0.0f, 1.0f, 0.5f, 0.0f, 1.0f,
     0.571429f, 1.0f, 0.8f, 0.8f, 0.6f, 0.4f, 0.0f, 0.3f, 0.5f, 0.0f,
     0.533333f, 0.0005f, 0.0055f, 0.666667f, 0.68931f, 0.8305f, 0.0f, 0.0f, 1.0f,
     0.333333f, 0.3f, 0.55f, 0.0666667f, 0.694732f, 0.942607f, 0.0f, 0.0f, 1.0f,
     1.0f, 1.0f},
    // 8 "Big Four Pole"
    // Just the ladder: fat, driven four-pole low-pass with lots of resonance and the echoes
    // switched off. Left pad for the filter, right pad for drive.
    {0.0f, 0.582247f, 0.73f, 0.472205f, 0.25f, 0.0f, 1.0f,
     0.566667f, 0.727273f, 0.68931f, 1.0f, 0.6f, 0.0f, 0.0f, 0.0f,
     0.571429f, 1.0f, 0.8f, 0.8f, 0.5f, 0.45f, 0.0f, 0.6f, 0.6f, 0.0f,
     0.0666667f, 0.176779f, 0.852559f, 0.133333f, 0.4f, 0.95f, 0.0f, 0.0f, 1.0f,
     0.333333f, 0.0f, 0.5f, 0.266667f, 0.403115f, 0.556647f, 0.0f, 0.0f, 1.0f,
     1.0f, 1.0f},
    // 9 "Funhouse"
    // Warped mirrors: the locked pads race around, stretching the gliding delay time so the echoes
    // bend in pitch while the filter wobbles along.
    {0.4f, 0.606343f, 0.55f, 0.5f, 0.0f, 0.0f, 1.0f,
     0.0155311f, 0.636364f, 0.727047f, 0.0f, 0.68f, 0.375f, 0.0f, 1.0f,
     0.571429f, 1.0f, 0.8f, 0.8f, 0.6f, 0.3f, 0.0f, 0.3f, 0.5f, 0.0f,
     0.533333f, 0.00801603f, 0.0330661f, 0.0666667f, 0.406418f, 0.806267f, 0.0f, 0.0f, 1.0f,
     0.733333f, 0.2f, 1.0f, 0.8f, 0.3f, 0.55f, 0.0f, 0.0f, 1.0f,
     0.5f, 1.0f},
    // 10 "Stereo Dubs (send)"
    // For an aux send: fully wet, thinned eighth-note echoes in 3/2 across the stereo field, no
    // pad routing, pads still.
    {0.51f, 0.22f, 0.0f, 0.5f, 0.0f, 0.0f, 1.0f,
     0.39f, 0.74f, 0.83f, 1.0f, 0.565f, 1.0f, 0.0f, 1.0f,
     0.5f, 1.0f, 0.8f, 0.8f, 0.705882f, 0.0f, 0.0f, 0.201374f, 0.0f, 0.0f,
     0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f,
     0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f,
     1.0f, 0.0f},
    // 11 "Stereo Dubs (insert)"
    // The send patch made for an insert: the same thinned eighth-note echoes mixed under the dry
    // signal, with more filter gain so the high-passed signal keeps its level.
    {0.51f, 0.22f, 0.0f, 0.61951f, 0.0f, 0.0f, 1.0f,
     0.39f, 0.74f, 0.83f, 1.0f, 0.565f, 0.35f, 0.0f, 1.0f,
     0.5f, 1.0f, 0.8f, 0.8f, 0.705882f, 0.0f, 0.0f, 0.201374f, 0.0f, 0.0f,
     0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f,
     0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f,
     1.0f, 0.0f},
    // 12 "Bitcrush Chorus"
    // Two short gliding delays make a slow chorus out of a rate-reduced signal; the pads drift the
    // chorus depth, the crush and the brightness.
    {0.4f, 0.791599f, 0.2f, 0.5f, 0.1f, 0.47f, 1.0f,
     0.00621242f, 0.636364f, 0.361755f, 0.0f, 0.76f, 0.45f, 1.0f, 1.0f,
     0.571429f, 1.0f, 0.8f, 0.8f, 0.4f, 0.5f, 0.0f, 0.6f, 0.55f, 0.0f,
     0.533333f, 0.00200401f, 0.00901804f, 0.4f, 0.25f, 0.65f, 0.0f, 0.0f, 1.0f,
     0.733333f, 0.6f, 1.0f, 0.0666667f, 0.665395f, 0.917802f, 0.0f, 0.0f, 1.0f,
     1.0f, 1.0f},
    // 13 "Soup Sandwich"
    // Thick and saucy: a driven three-pole low-pass layered over triplet echoes, both pads playing
    // their own gestures.
    {0.2f, 0.411491f, 0.6f, 0.5f, 0.255f, 0.0f, 1.0f,
     0.233333f, 0.727273f, 0.707886f, 1.0f, 0.9f, 0.325f, 0.0f, 1.0f,
     0.857143f, 0.5f, 0.8f, 0.727047f, 0.25f, 0.6f, 0.0f, 0.35f, 0.3f, 0.0f,
     0.0666667f, 0.258977f, 0.694732f, 0.333333f, 0.15f, 0.5f, 0.0f, 0.0f, 1.0f,
     0.8f, 0.25f, 0.55f, 0.666667f, 0.556647f, 0.808712f, 0.0f, 0.0f, 1.0f,
     1.0f, 1.0f},
    // 14 "Forbidden Planet"
    // Sci-fi: a ringing band-pass feeding gliding echoes whose feedback sweeps up to the edge of
    // self-oscillation and back; both pads drift on their own.
    {1.0f, 0.573721f, 0.45f, 1.0f, 0.5f, 0.0f, 1.0f,
     0.0731463f, 0.727273f, 0.811372f, 0.0f, 1.0f, 0.45f, 1.0f, 1.0f,
     0.571429f, 1.0f, 0.948412f, 0.556051f, 0.5f, 0.5f, 0.0f, 0.5f, 0.5f, 0.0f,
     0.0666667f, 0.370512f, 0.77693f, 0.333333f, 0.35f, 0.65f, 0.0f, 0.0f, 1.0f,
     0.533333f, 0.0180361f, 0.128257f, 0.666667f, 0.68931f, 0.933434f, 0.0f, 0.0f, 1.0f,
     1.0f, 1.0f},
    // 15 "Bit Wah"
    // A band-pass wah that pumps every two beats from the left pad's gesture, the rate reducer
    // crunching harder as it opens.
    {1.0f, 0.382486f, 0.35f, 1.0f, 0.4f, 0.39f, 1.0f,
     0.166667f, 0.363636f, 0.576262f, 1.0f, 0.6f, 0.25f, 0.0f, 1.0f,
     0.714286f, 0.5f, 0.948412f, 0.561137f, 0.4f, 0.5f, 0.0f, 0.1f, 0.2f, 0.0f,
     0.0666667f, 0.349025f, 0.68363f, 0.4f, 0.3f, 0.75f, 0.0f, 0.0f, 1.0f,
     0.8f, 0.15f, 0.4f, 0.666667f, 0.425477f, 0.727047f, 0.0f, 0.0f, 1.0f,
     1.0f, 1.0f},
    // 16 "Noise Parade"
    // Crushed, driven and thinned, marching through echoes that hop between divisions as the right
    // pad's gesture goes by.
    {0.8f, 0.378093f, 0.15f, 0.527598f, 0.21f, 0.536f, 1.0f,
     0.165333f, 0.727273f, 0.68931f, 1.0f, 1.0f, 0.35f, 1.0f, 1.0f,
     1.0f, 0.5f, 0.8f, 0.8f, 0.1f, 0.8f, 0.0f, 0.2f, 0.2f, 0.0f,
     0.4f, 0.45f, 0.88f, 0.333333f, 0.15f, 0.45f, 0.0f, 0.0f, 1.0f,
     0.533333f, 0.14f, 0.393333f, 0.0666667f, 0.147441f, 0.435756f, 0.0f, 0.0f, 1.0f,
     1.0f, 1.0f},
    // 17 "Rambling Lead"
    // A lead-line delay: dotted echoes with bucket-brigade warmth, the pads wandering slowly
    // through feedback, mix, width and tone.
    {0.4f, 0.806267f, 0.25f, 0.5f, 0.2f, 0.0f, 1.0f,
     0.5f, 0.636364f, 0.657473f, 1.0f, 0.8f, 0.35f, 0.0f, 1.0f,
     0.571429f, 1.0f, 0.8f, 0.727047f, 0.6f, 0.5f, 0.0f, 0.4f, 0.5f, 0.0f,
     0.666667f, 0.556647f, 0.808712f, 0.8f, 0.25f, 0.45f, 0.0f, 0.0f, 1.0f,
     0.733333f, 0.5f, 1.0f, 0.0666667f, 0.694732f, 0.917802f, 0.0f, 0.0f, 1.0f,
     1.0f, 1.0f},
    // 18 "Digi Train"
    // Bright digital repeats on sixteenths: the right pad's gesture shifts the right-hand time and
    // raises the feedback while the left one crushes.
    {0.4f, 0.755692f, 0.2f, 0.5f, 0.0f, 0.11f, 1.0f,
     0.166667f, 0.286545f, 0.463981f, 1.0f, 1.0f, 0.4f, 1.0f, 1.0f,
     0.857143f, 0.5f, 0.8f, 0.8f, 0.128f, 0.037f, 0.0f, 0.5f, 0.2f, 0.0f,
     0.0666667f, 0.547291f, 0.964094f, 0.4f, 0.0f, 0.55f, 0.0f, 0.0f, 1.0f,
     0.6f, 0.181818f, 1.0f, 0.666667f, 0.449039f, 0.852864f, 0.0f, 0.0f, 1.0f,
     1.0f, 1.0f},
    // 19 "Analog Delay Chaoss"
    // Bucket-brigade echoes with gliding time on the locked pads: throw them and the repeats warp,
    // darken and bend in pitch.
    {0.2f, 0.606343f, 0.4f, 0.5f, 0.15f, 0.0f, 1.0f,
     0.175351f, 0.454545f, 0.68377f, 0.0f, 0.8f, 0.4f, 0.0f, 1.0f,
     0.571429f, 1.0f, 0.8f, 0.8f, 0.5f, 0.5f, 0.0f, 0.35f, 0.55f, 0.0f,
     0.533333f, 0.0280561f, 0.448898f, 0.666667f, 0.449039f, 0.875822f, 0.0f, 0.0f, 1.0f,
     0.6f, 0.181818f, 0.727273f, 0.0666667f, 0.435756f, 0.77693f, 0.0f, 0.0f, 1.0f,
     0.5f, 1.0f},
    // 20 "Rezonator"
    // The ladder filter on the verge of whistling: the left pad's gesture rides cut-off and a high
    // resonance, the right adds drive and feedback.
    {0.0f, 0.351738f, 0.788f, 0.449039f, 0.12f, 0.0f, 1.0f,
     0.366667f, 0.727273f, 0.606743f, 1.0f, 0.7f, 0.25f, 0.0f, 1.0f,
     0.714286f, 0.5f, 0.8f, 0.8f, 0.4f, 0.3f, 0.0f, 0.3f, 0.4f, 0.0f,
     0.0666667f, 0.176779f, 0.759976f, 0.133333f, 0.7f, 0.92f, 0.0f, 0.0f, 1.0f,
     0.666667f, 0.50003f, 0.766812f, 0.333333f, 0.0f, 0.4f, 0.0f, 0.0f, 1.0f,
     1.0f, 1.0f},
    // 21 "Biznoink"
    // Springy combs: very short gliding delays with high feedback go boing as the locked pads
    // follow the left gesture.
    {0.4f, 0.606343f, 0.6f, 0.5f, 0.135f, 0.0f, 1.0f,
     0.00290581f, 0.181818f, 0.852864f, 0.0f, 1.0f, 0.325f, 1.0f, 1.0f,
     0.714286f, 0.5f, 0.8f, 0.727047f, 0.5f, 0.3f, 0.0f, 0.2f, 0.5f, 0.0f,
     0.533333f, 0.001002f, 0.010521f, 0.0666667f, 0.435756f, 0.77693f, 0.0f, 0.0f, 1.0f,
     0.8f, 0.2f, 0.45f, 0.333333f, 0.0f, 0.45f, 0.0f, 0.0f, 1.0f,
     0.5f, 1.0f},
    // 22 "Arcane"
    // Dark and slow: long echoes behind a three-pole low-pass, the locked pads creeping so slowly
    // you only notice the room has changed.
    {0.2f, 0.46069f, 0.48f, 0.5f, 0.1f, 0.0f, 1.0f,
     0.766667f, 0.727273f, 0.707886f, 1.0f, 0.76f, 0.35f, 0.0f, 1.0f,
     0.571429f, 1.0f, 0.8f, 0.727047f, 0.6f, 0.6f, 0.0f, 0.4f, 0.4f, 0.0f,
     0.0666667f, 0.32422f, 0.665395f, 0.133333f, 0.3f, 0.75f, 0.0f, 0.0f, 1.0f,
     0.733333f, 0.4f, 1.0f, 0.666667f, 0.556647f, 0.808712f, 0.0f, 0.0f, 1.0f,
     0.5f, 1.0f},
    // 23 "Cities In Dust"
    // Lo-fi and dusty: crushed, driven, with dark dotted echoes; the pads drift the grit, the
    // tone, the feedback and the mix.
    {0.4f, 0.707134f, 0.3f, 0.5f, 0.3f, 0.575f, 1.0f,
     0.5f, 0.636364f, 0.68268f, 1.0f, 0.75f, 0.375f, 0.0f, 1.0f,
     0.571429f, 1.0f, 0.8f, 0.727047f, 0.5f, 0.5f, 0.0f, 0.5f, 0.5f, 0.0f,
     0.4f, 0.4f, 0.75f, 0.0666667f, 0.583197f, 0.831072f, 0.0f, 0.0f, 1.0f,
     0.666667f, 0.556647f, 0.808712f, 0.8f, 0.25f, 0.5f, 0.0f, 0.0f, 1.0f,
     1.0f, 1.0f},
    // 24 "Shortwave Freque"
    // A narrow, crushed band like a radio being tuned: the left gesture sweeps the band, the right
    // one the crush, over a short digital slap.
    {1.0f, 0.455479f, 0.53f, 1.0f, 0.5f, 0.42f, 1.0f,
     0.166667f, 0.727273f, 0.61951f, 1.0f, 0.4f, 0.275f, 1.0f, 1.0f,
     0.857143f, 0.5f, 0.948412f, 0.547185f, 0.3f, 0.5f, 0.0f, 0.2f, 0.4f, 0.0f,
     0.0666667f, 0.389464f, 0.719537f, 0.133333f, 0.35f, 0.8f, 0.0f, 0.0f, 1.0f,
     0.4f, 0.3f, 0.7f, 0.8f, 0.15f, 0.4f, 0.0f, 0.0f, 1.0f,
     1.0f, 1.0f},
    // 25 "Bitcrush Chaoss"
    // The rate reducer on the locked pads with the filter and drive: throw them and the signal
    // shatters and reforms.
    {0.4f, 0.7435f, 0.35f, 0.5f, 0.26f, 0.532f, 1.0f,
     0.1f, 0.727273f, 0.623503f, 1.0f, 0.9f, 0.3f, 1.0f, 1.0f,
     0.571429f, 1.0f, 0.8f, 0.8f, 0.4f, 0.4f, 0.0f, 0.4f, 0.6f, 0.0f,
     0.4f, 0.3f, 0.88f, 0.0666667f, 0.482047f, 0.917802f, 0.0f, 0.0f, 1.0f,
     0.333333f, 0.1f, 0.5f, 0.666667f, 0.50003f, 0.808712f, 0.0f, 0.0f, 1.0f,
     0.5f, 1.0f},
    // 26 "SquishyDink"
    // A squelchy resonant low-pass and little digital dinks of echo, the pads drifting on their
    // own.
    {0.4f, 0.521879f, 0.65f, 0.5f, 0.2f, 0.0f, 1.0f,
     0.166667f, 1.0f, 0.633421f, 1.0f, 1.0f, 0.275f, 1.0f, 1.0f,
     0.571429f, 1.0f, 0.8f, 0.8f, 0.5f, 0.5f, 0.0f, 0.5f, 0.5f, 0.0f,
     0.0666667f, 0.32422f, 0.719537f, 0.133333f, 0.45f, 0.85f, 0.0f, 0.0f, 1.0f,
     0.8f, 0.15f, 0.4f, 0.666667f, 0.50003f, 0.766812f, 0.0f, 0.0f, 1.0f,
     1.0f, 1.0f},
    // 27 "Yin & Yang"
    // Two mirrored circles: as the left pad opens the filter and the mix, the right one backs off
    // the drive and the feedback, and the other way round.
    {0.4f, 0.577646f, 0.4f, 0.5f, 0.25f, 0.0f, 1.0f,
     0.566667f, 0.363636f, 0.50003f, 1.0f, 1.0f, 0.55f, 0.0f, 1.0f,
     1.0f, 0.5f, 0.8f, 0.8f, 0.5f, 0.0f, 0.0f, 0.5f, 1.0f, 0.0f,
     0.0666667f, 0.349025f, 0.806267f, 0.8f, 0.15f, 0.55f, 0.0f, 0.0f, 1.0f,
     0.333333f, 0.0f, 0.5f, 0.666667f, 0.50003f, 0.808712f, 0.0f, 0.0f, 1.0f,
     1.0f, 1.0f},
    // 28 "User 1 (init)"
    // A clean slate to build on: filter wide open, quiet echoes, nothing routed, pads at rest.
    {0.0f, 1.0f, 0.0f, 0.5f, 0.0f, 0.0f, 1.0f,
     0.365f, 0.73f, 0.18f, 1.0f, 0.52f, 0.28f, 0.0f, 1.0f,
     0.5f, 1.0f, 0.8f, 0.8f, 0.727273f, 0.513369f, 0.0f, 0.31016f, 0.513369f, 0.0f,
     0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f,
     0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f,
     1.0f, 0.0f},
    // 29 "User 2 (init)"
    // Same clean slate as User 1.
    {0.0f, 1.0f, 0.0f, 0.5f, 0.0f, 0.0f, 1.0f,
     0.365f, 0.73f, 0.18f, 1.0f, 0.52f, 0.28f, 0.0f, 1.0f,
     0.5f, 1.0f, 0.8f, 0.8f, 0.727273f, 0.513369f, 0.0f, 0.31016f, 0.513369f, 0.0f,
     0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f,
     0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f,
     1.0f, 0.0f},
    // 30 "User 3 (init)"
    // Same clean slate as User 1.
    {0.0f, 1.0f, 0.0f, 0.5f, 0.0f, 0.0f, 1.0f,
     0.365f, 0.73f, 0.18f, 1.0f, 0.52f, 0.28f, 0.0f, 1.0f,
     0.5f, 1.0f, 0.8f, 0.8f, 0.727273f, 0.513369f, 0.0f, 0.31016f, 0.513369f, 0.0f,
     0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f,
     0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f,
     1.0f, 0.0f},
    // 31 "User 4 (init)"
    // Same clean slate as User 1.
    {0.0f, 1.0f, 0.0f, 0.5f, 0.0f, 0.0f, 1.0f,
     0.365f, 0.73f, 0.18f, 1.0f, 0.52f, 0.28f, 0.0f, 1.0f,
     0.5f, 1.0f, 0.8f, 0.8f, 0.727273f, 0.513369f, 0.0f, 0.31016f, 0.513369f, 0.0f,
     0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f,
     0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f,
     1.0f, 0.0f},
    // 32 "User 5 (init)"
    // Same clean slate as User 1.
    {0.0f, 1.0f, 0.0f, 0.5f, 0.0f, 0.0f, 1.0f,
     0.365f, 0.73f, 0.18f, 1.0f, 0.52f, 0.28f, 0.0f, 1.0f,
     0.5f, 1.0f, 0.8f, 0.8f, 0.727273f, 0.513369f, 0.0f, 0.31016f, 0.513369f, 0.0f,
     0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f,
     0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f,
     1.0f, 0.0f},
};

// Drift velocities in millionths of a pad unit per sample; presets without an
// entry start at rest.
const PadVelocityPair velocityL[kFactoryPresetCount] = {
    {-12e-6f, -8e-6f}, // 0
    {0.0f, 0.0f}, // 1
    {0.0f, 0.0f}, // 2
    {0.0f, 0.0f}, // 3
    {0.0f, 0.0f}, // 4
    {0.0f, 0.0f}, // 5
    {5e-6f, 1e-6f}, // 6
    {4e-6f, 1e-6f}, // 7
    {0.0f, 0.0f}, // 8
    {34e-6f, 21e-6f}, // 9
    {0.0f, 0.0f}, // 10
    {0.0f, 0.0f}, // 11
    {-5e-6f, -2e-6f}, // 12
    {52e-6f, 18e-6f}, // 13
    {15e-6f, -5e-6f}, // 14
    {0.0f, 0.0f}, // 15
    {0.0f, 0.0f}, // 16
    {7e-6f, 5e-6f}, // 17
    {0.0f, 0.0f}, // 18
    {0.0f, 0.0f}, // 19
    {0.0f, 0.0f}, // 20
    {17e-6f, 51e-6f}, // 21
    {2e-6f, 2e-6f}, // 22
    {11e-6f, 6e-6f}, // 23
    {0.0f, 0.0f}, // 24
    {0.0f, 0.0f}, // 25
    {11e-6f, -4e-6f}, // 26
    {0.0f, 0.0f}, // 27
    {0.0f, 0.0f}, // 28
    {0.0f, 0.0f}, // 29
    {0.0f, 0.0f}, // 30
    {0.0f, 0.0f}, // 31
    {0.0f, 0.0f}, // 32
};

const PadVelocityPair velocityR[kFactoryPresetCount] = {
    {-2e-6f, -6e-6f}, // 0
    {0.0f, 0.0f}, // 1
    {0.0f, 0.0f}, // 2
    {0.0f, 0.0f}, // 3
    {0.0f, 0.0f}, // 4
    {0.0f, 0.0f}, // 5
    {0.0f, 0.0f}, // 6
    {-1e-6f, 2e-6f}, // 7
    {0.0f, 0.0f}, // 8
    {34e-6f, 21e-6f}, // 9
    {0.0f, 0.0f}, // 10
    {0.0f, 0.0f}, // 11
    {2e-6f, 7e-6f}, // 12
    {0.0f, 0.0f}, // 13
    {-12e-6f, -33e-6f}, // 14
    {0.0f, 0.0f}, // 15
    {0.0f, 0.0f}, // 16
    {-4e-6f, 2e-6f}, // 17
    {0.0f, 0.0f}, // 18
    {0.0f, 0.0f}, // 19
    {0.0f, 0.0f}, // 20
    {17e-6f, 51e-6f}, // 21
    {2e-6f, 2e-6f}, // 22
    {5e-6f, 7e-6f}, // 23
    {0.0f, 0.0f}, // 24
    {0.0f, 0.0f}, // 25
    {-7e-6f, 6e-6f}, // 26
    {0.0f, 0.0f}, // 27
    {0.0f, 0.0f}, // 28
    {0.0f, 0.0f}, // 29
    {0.0f, 0.0f}, // 30
    {0.0f, 0.0f}, // 31
    {0.0f, 0.0f}, // 32
};
// clang-format on
