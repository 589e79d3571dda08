#include "host/cli/Renderer.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "host/cli/CliError.h"
#include "host/cli/Progress.h"

namespace morvane_cli {

namespace {

// Where the render stops, in output frames (the input's frame 0 is 0), as far
// as it is known: the fixed tail's end, or for an automatic tail the end of
// its quiet stretch after the input, the last loud sample and the last
// automation change, held to its limit.
class TailEnd {
  public:
    TailEnd(const RenderOptions& options, int64_t inputFrames)
        : options_(options), inputFrames_(inputFrames),
          threshold_(std::pow(10.0, options.automatic.thresholdDb / 20.0)),
          lastChange_(options.automation.empty() ? -1 : options.automation.back().frame) {}

    void inputEndedAt(int64_t frames) { inputFrames_ = frames; }

    // Listens to output frames [first, first + frames), in order, until the
    // automatic tail has found its end: the first frame at which the output
    // has stayed quiet long enough. Later sound does not reopen it.
    void listen(int64_t first, int64_t frames, const float* const* out, int channels) {
        if (!options_.autoTail || decided_) return;
        for (int64_t i = 0; i < frames; ++i) {
            for (int c = 0; c < channels; ++c) {
                if (!(std::fabs(out[c][i]) < threshold_)) { // NaN counts as loud
                    lastLoud_ = first + i;
                    break;
                }
            }
            if (first + i + 1 >= end()) {
                decided_ = true;
                return;
            }
        }
    }

    int64_t end() const {
        if (!options_.autoTail) return inputFrames_ + options_.tailFrames;
        const int64_t heard = std::max({inputFrames_, lastLoud_ + 1, lastChange_ + 1});
        return std::min(heard + options_.automatic.quietFrames,
                        inputFrames_ + options_.automatic.longestFrames);
    }

  private:
    const RenderOptions& options_;
    int64_t inputFrames_;
    double threshold_;
    int64_t lastLoud_ = -1;
    int64_t lastChange_;
    bool decided_ = false;
};

} // namespace

RenderOutcome renderThrough(EffectHost& effect, InputFile& input, OutputFile& output,
                            const RenderOptions& options) {
    const int channels = input.channels();
    const int64_t block = std::max<uint32_t>(1, options.blockFrames);
    // The timeline runs from the pre-roll's first frame; output frame o is
    // timeline frame o + lead.
    const int64_t lead = options.preRollFrames + options.latencyFrames;
    TailEnd tail(options, input.frames());

    std::vector<float> interleaved(static_cast<size_t>(block * channels));
    std::vector<std::vector<float>> in(channels, std::vector<float>(block));
    std::vector<std::vector<float>> out(channels, std::vector<float>(block));
    std::vector<const float*> inPointers(channels);
    std::vector<float*> outPointers(channels);
    std::vector<const float*> keptPointers(channels);
    for (int c = 0; c < channels; ++c) {
        inPointers[c] = in[c].data();
        outPointers[c] = out[c].data();
    }

    Progress progress("Rendering", static_cast<uint64_t>(tail.end() + lead), input.sampleRate(),
                      options.quiet);
    HostHarness& harness = effect.harness();
    RenderOutcome outcome;
    size_t nextChange = 0;
    int64_t position = 0; // timeline frame
    int64_t inputLeft = input.frames();

    while (position < tail.end() + lead) {
        const int64_t outputFrame = position - lead;
        // Changes due now reach the effect before this slice renders.
        while (nextChange < options.automation.size() &&
               options.automation[nextChange].frame + options.preRollFrames <= position) {
            const ScheduledChange& change = options.automation[nextChange++];
            effect.setParameter(static_cast<AudioUnitParameterID>(change.id), change.natural);
        }
        int64_t frames = std::min(block, tail.end() + lead - position);
        if (nextChange < options.automation.size())
            frames =
                std::min(frames, options.automation[nextChange].frame + options.preRollFrames - position);

        // Pre-roll silence, the input, then silence.
        const int64_t silentLead = std::clamp<int64_t>(options.preRollFrames - position, 0, frames);
        int64_t got = 0;
        if (inputLeft > 0 && silentLead < frames) {
            const int64_t wanted = std::min(frames - silentLead, inputLeft);
            got = input.read(interleaved.data(), wanted);
            outcome.inputLevel.add(interleaved.data(), static_cast<size_t>(got * channels));
            inputLeft -= got;
            outcome.inputFrames += got;
            if (got < wanted) {
                // The file ended before its header said (a header can claim
                // days of audio): the tail follows the real end.
                inputLeft = 0;
                tail.inputEndedAt(outcome.inputFrames);
                frames = std::min(frames, tail.end() + lead - position);
                if (frames <= 0) break;
            }
        }
        for (int c = 0; c < channels; ++c) {
            float* channel = in[c].data();
            std::fill(channel, channel + silentLead, 0.0f);
            for (int64_t i = 0; i < got; ++i)
                channel[silentLead + i] = interleaved[static_cast<size_t>(i * channels + c)];
            std::fill(channel + silentLead + got, channel + frames, 0.0f);
        }

        const OSStatus status =
            harness.render(inPointers.data(), outPointers.data(), static_cast<UInt32>(frames));
        if (status != noErr) throw CliError("the effect failed to render (" + std::to_string(status) + ")");
        if (options.observer != nullptr)
            options.observer->rendered(outputFrame, frames, inPointers.data(), outPointers.data());

        // Only frames the output keeps count: not the pre-roll or latency,
        // and not what lies beyond the end once the tail has gone quiet.
        const int64_t dropped = std::clamp<int64_t>(-outputFrame, 0, frames);
        const int64_t firstKept = outputFrame + dropped;
        for (int c = 0; c < channels; ++c)
            keptPointers[c] = out[c].data() + dropped;
        tail.listen(firstKept, frames - dropped, keptPointers.data(), channels);
        const int64_t kept = std::clamp<int64_t>(tail.end() - firstKept, 0, frames - dropped);
        if (kept > 0) {
            for (int c = 0; c < channels; ++c) {
                const float* channel = out[c].data() + dropped;
                for (int64_t i = 0; i < kept; ++i)
                    interleaved[static_cast<size_t>(i * channels + c)] = channel[i];
            }
            output.write(interleaved.data(), kept);
            outcome.outputFrames += kept;
        }
        position += frames;
        progress.update(static_cast<uint64_t>(position), static_cast<uint64_t>(tail.end() + lead));
    }
    progress.finish();
    return outcome;
}

} // namespace morvane_cli
