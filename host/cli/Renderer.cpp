#include "host/cli/Renderer.h"

#include <algorithm>

#include "host/cli/CliError.h"
#include "host/cli/Progress.h"

namespace morvane_cli {

int64_t renderThrough(EffectHost& effect, InputFile& input, OutputFile& output,
                      const RenderOptions& options) {
    const int channels = input.channels();
    const int64_t inputFrames = input.frames();
    int64_t total = renderedFrames(inputFrames, options) + options.latencyFrames;
    const int64_t block = std::max<uint32_t>(1, options.blockFrames);

    std::vector<float> interleaved(static_cast<size_t>(block * channels));
    std::vector<std::vector<float>> in(channels, std::vector<float>(block));
    std::vector<std::vector<float>> out(channels, std::vector<float>(block));
    std::vector<const float*> inPointers(channels);
    std::vector<float*> outPointers(channels);
    for (int c = 0; c < channels; ++c) {
        inPointers[c] = in[c].data();
        outPointers[c] = out[c].data();
    }

    Progress progress("Rendering", static_cast<uint64_t>(total), input.sampleRate(), options.quiet);
    HostHarness& harness = effect.harness();
    size_t nextChange = 0;
    int64_t position = 0;
    int64_t inputLeft = inputFrames;
    int64_t inputRead = 0;
    int64_t skip = options.latencyFrames;

    while (position < total) {
        // Changes due now reach the effect before this slice renders.
        while (nextChange < options.automation.size() && options.automation[nextChange].frame <= position) {
            const ScheduledChange& change = options.automation[nextChange++];
            effect.setParameter(static_cast<AudioUnitParameterID>(change.id), change.natural);
        }
        int64_t frames = std::min(block, total - position);
        if (nextChange < options.automation.size())
            frames = std::min(frames, options.automation[nextChange].frame - position);

        // Input, then silence.
        int64_t got = 0;
        if (inputLeft > 0) {
            const int64_t wanted = std::min(frames, inputLeft);
            got = input.read(interleaved.data(), wanted);
            inputLeft -= got;
            inputRead += got;
            if (got < wanted) {
                // The file ended before its header said (a header can claim
                // days of audio): the tail follows the real end.
                inputLeft = 0;
                total = position + got + options.tailFrames + options.latencyFrames;
                frames = std::min(frames, total - position);
                if (frames == 0) break;
            }
        }
        for (int c = 0; c < channels; ++c) {
            float* channel = in[c].data();
            for (int64_t i = 0; i < got; ++i)
                channel[i] = interleaved[static_cast<size_t>(i * channels + c)];
            std::fill(channel + got, channel + frames, 0.0f);
        }

        const OSStatus status =
            harness.render(inPointers.data(), outPointers.data(), static_cast<UInt32>(frames));
        if (status != noErr) throw CliError("the effect failed to render (" + std::to_string(status) + ")");

        const int64_t dropped = std::min(skip, frames);
        skip -= dropped;
        const int64_t kept = frames - dropped;
        if (kept > 0) {
            for (int c = 0; c < channels; ++c) {
                const float* channel = out[c].data() + dropped;
                for (int64_t i = 0; i < kept; ++i)
                    interleaved[static_cast<size_t>(i * channels + c)] = channel[i];
            }
            output.write(interleaved.data(), kept);
        }
        position += frames;
        progress.update(static_cast<uint64_t>(position));
    }
    progress.finish();
    return inputRead;
}

} // namespace morvane_cli
