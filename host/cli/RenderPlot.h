// A picture of one render, for a producer who wants to see what the motion
// did without opening a workstation: the input and output waveform
// envelopes, the output's spectrogram with the filter's cut-off drawn over
// it, the two pads' X, Y and Z positions, and one lane for every parameter a
// pad drives (its name, unit, the span the pad sweeps and the value it took),
// all on one time axis with the host's bars and beats when it offers a
// transport, the pad's gesture loops marked where it plays one, and the tail
// after the input shaded.
//
// The pads' positions and the values they drive never reach the host's copy
// of the parameters (the effect tells only its own listener and an open
// editor), so they are read, after every rendered slice, from the effect's
// parameter table, which the effect hands out through its parameter-manager
// property just as it does to its editor.
//
// One thread (the program's).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "host/cli/ParameterCatalogue.h"
#include "host/cli/Renderer.h"

namespace morvane_cli {

struct PlotBox {
    int x, y, width, height;
};

// The picture's size and where its panels sit.
struct PlotLayout {
    static constexpr int kWidth = 1600;
    static constexpr int kHeight = 1000;
    static constexpr PlotBox kInput{176, 62, 1400, 64};
    static constexpr PlotBox kOutput{176, 132, 1400, 64};
    static constexpr PlotBox kSpectrum{176, 202, 1400, 250};
    static constexpr PlotBox kPads{176, 466, 1400, 150};
    // Shared by the lanes of the driven parameters.
    static constexpr PlotBox kDriven{176, 630, 1400, 310};
    // The spectrum's frequency axis is logarithmic from kLowestHz (bottom)
    // to kHighestHz or half the sampling rate (top).
    static constexpr double kLowestHz = 30.0;
    static constexpr double kHighestHz = 20000.0;
};

// What the picture's header and time grid say.
struct PlotTitles {
    std::string start; // what the effect started from ("preset 0 \"Welcome To Morvane\"")
    std::string input; // file names as the user gave them
    std::string output;
    bool transport = true; // a tempo grid is drawn only with one
    double tempo = 120.0;
    double startBeat = 0.0; // song position of the input's first frame
    bool bypassed = false;
};

class RenderPlot : public RenderObserver {
  public:
    // The effect must be started. The catalogue supplies names, units, texts
    // and the control scale of each parameter.
    RenderPlot(EffectHost& effect, ParameterCatalogue& catalogue, int sampleRate, int channels);
    ~RenderPlot() override;
    RenderPlot(const RenderPlot&) = delete;
    RenderPlot& operator=(const RenderPlot&) = delete;

    void rendered(int64_t first, int64_t frames, const float* const* in, const float* const* out) override;

    // The picture of the first `outputFrames` frames as PNG bytes (the same
    // render gives the same bytes). Throws CliError.
    std::string png(const PlotTitles& titles, int64_t inputFrames, int64_t outputFrames) const;

  private:
    struct Data;
    std::unique_ptr<Data> data_;
};

} // namespace morvane_cli
