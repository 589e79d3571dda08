#include "host/cli/Batch.h"

#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <set>
#include <thread>

#include "host/cli/AudioFiles.h"
#include "host/cli/CliError.h"
#include "host/cli/ProcessReport.h"

namespace morvane_cli {

namespace {

constexpr unsigned kMostJobs = 256;

// The file extension for a container that --format names, or "" when it
// names none (the input's own container, and extension, stay).
std::string containerExtension(const std::string& format, int& probeError) {
    if (format.empty()) return {};
    // Resolve against two different containers: the words name a container
    // exactly when both come out the same.
    SoundFormat a = 0, b = 0;
    try {
        a = resolveOutputFormat(SF_FORMAT_WAV | SF_FORMAT_PCM_16, format, 2, 48000);
        b = resolveOutputFormat(SF_FORMAT_AIFF | SF_FORMAT_PCM_16, format, 2, 48000);
    } catch (const CliError& error) {
        if (error.status() == kExitUsage) throw;
        probeError = 1; // writable or not depends on each input; its job will tell
        return {};
    }
    if ((a & SF_FORMAT_TYPEMASK) != (b & SF_FORMAT_TYPEMASK)) return {};
    switch (a & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_WAV:
        return ".wav";
    case SF_FORMAT_AIFF:
        return ".aiff";
    case SF_FORMAT_FLAC:
        return ".flac";
    case SF_FORMAT_OGG:
        return ".ogg";
    case SF_FORMAT_CAF:
        return ".caf";
    case SF_FORMAT_W64:
        return ".w64";
    default:
        return {};
    }
}

struct Job {
    pid_t pid = -1;
    int fd = -1;
    size_t index = 0;
    std::string message;
};

// In the child: renders one input and hands the outcome to the parent as one
// JSON object on `fd`. Never returns.
[[noreturn]] void runJob(int fd, const GlobalOptions& global, ProcessRequest request) {
    // A parent that dies takes its jobs with it (they remove their
    // temporary files on the way out).
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    nlohmann::ordered_json message;
    int status = kExitOk;
    try {
        GlobalOptions jobGlobal = global;
        jobGlobal.quiet = true; // no progress bars from side-by-side jobs
        const ProcessResult result = processFile(jobGlobal, request);
        const ProcessMessages messages = describeResult(request.output, result, global.quiet);
        message["ok"] = true;
        message["warnings"] = messages.warnings;
        message["summary"] = messages.summary;
        message["result"] = processJson(request, result);
    } catch (const CliError& e) {
        message["ok"] = false;
        message["error"] = e.what();
        status = e.status();
    } catch (const std::exception& e) {
        message["ok"] = false;
        message["error"] = e.what();
        status = kExitFailure;
    }
    const std::string text = message.dump();
    try {
        writeAll(fd, text.data(), text.size(), "the batch's pipe");
    } catch (const CliError&) {
        status = kExitFailure;
    }
    ::_exit(status);
}

// Removes what a job that died left beside its output.
void removeLeftovers(const std::string& output) {
    const std::filesystem::path target(output);
    // (Built in steps: g++ 12 warns wrongly about "." + std::string at -O3.)
    std::string prefix(".");
    prefix += target.filename().string();
    prefix += ".morvane-";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(target.parent_path(), error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) == 0 && name.size() == prefix.size() + 6)
            std::filesystem::remove(entry.path(), error);
    }
}

} // namespace

std::vector<std::string> batchOutputs(const BatchRequest& batch, const std::string& format) {
    int probeError = 0;
    const std::string extension = containerExtension(format, probeError);
    std::vector<std::string> outputs;
    std::map<std::string, std::string> claimed;
    for (const std::string& input : batch.inputs) {
        if (isStandardStream(input))
            throw UsageError("- (standard input) cannot be one input of a batch; give files with --out-dir");
        const std::filesystem::path in(input);
        const std::string name =
            in.stem().string() + batch.suffix + (extension.empty() ? in.extension().string() : extension);
        const std::string output = (std::filesystem::path(batch.outDir) / name).string();
        const auto [where, fresh] = claimed.emplace(output, input);
        if (!fresh)
            throw UsageError(where->second + " and " + input + " would both write " + output +
                             "; process them in separate batches");
        outputs.push_back(output);
    }
    return outputs;
}

int runBatch(const GlobalOptions& global, const ProcessRequest& settings, const BatchRequest& batch,
             bool json, const std::string& jsonTarget) {
    if (batch.jobs > kMostJobs)
        throw UsageError("-j " + std::to_string(batch.jobs) + ": give 1 to " + std::to_string(kMostJobs) +
                         " jobs");
    if (!settings.saveState.empty())
        throw UsageError("--save-state writes the state of one render; give one input, without --out-dir");
    if (!settings.plot.empty())
        throw UsageError("--plot draws one render; give one input, without --out-dir");
    const std::vector<std::string> outputs = batchOutputs(batch, settings.format);
    std::error_code error;
    std::filesystem::create_directories(batch.outDir, error);
    if (error) throw CliError(batch.outDir + ": cannot create the directory (" + error.message() + ")");
    const auto same = [](const std::string& a, const std::string& b) {
        if (sameFile(a, b)) return true;
        std::error_code errorA, errorB;
        const std::filesystem::path canonicalA = std::filesystem::weakly_canonical(a, errorA);
        const std::filesystem::path canonicalB = std::filesystem::weakly_canonical(b, errorB);
        return !errorA && !errorB && canonicalA == canonicalB;
    };
    for (size_t i = 0; i < outputs.size(); ++i)
        if (same(batch.inputs[i], outputs[i]))
            throw UsageError(outputs[i] + " is the input file " + batch.inputs[i] +
                             "; choose another --out-dir or a --suffix");

    unsigned jobs = batch.jobs;
    if (jobs == 0) jobs = std::max(1u, std::thread::hardware_concurrency());
    jobs = static_cast<unsigned>(std::min<size_t>(jobs, batch.inputs.size()));

    const auto startedAt = std::chrono::steady_clock::now();
    std::vector<nlohmann::ordered_json> files(batch.inputs.size());
    std::vector<Job> running;
    size_t next = 0, processed = 0, failed = 0;

    const auto finish = [&](Job& job) {
        int status = 0;
        while (::waitpid(job.pid, &status, 0) < 0 && errno == EINTR) {
        }
        const std::string& input = batch.inputs[job.index];
        nlohmann::ordered_json entry;
        nlohmann::ordered_json message = nlohmann::ordered_json::parse(job.message, nullptr, false);
        if (message.is_discarded() || !message.is_object()) {
            const std::string how = WIFSIGNALED(status)
                                        ? "stopped by signal " + std::to_string(WTERMSIG(status))
                                        : "ended without a result";
            message = {{"ok", false}, {"error", input + ": the render " + how}};
            removeLeftovers(outputs[job.index]);
        }
        if (message.value("ok", false)) {
            ++processed;
            entry = message["result"];
            entry["ok"] = true;
            for (const auto& warning : message["warnings"])
                std::cerr << "morvane: " << input << ": " << warning.get<std::string>() << "\n";
            const std::string summary = message.value("summary", "");
            if (!json && !summary.empty()) std::cout << summary << "\n" << std::flush;
        } else {
            ++failed;
            std::string text = message.value("error", "failed");
            if (text.rfind(input, 0) != 0) text = input + ": " + text;
            std::cerr << "morvane: " << text << "\n";
            entry = {{"input", input}, {"output", outputs[job.index]}, {"ok", false}, {"error", text}};
        }
        std::cerr.flush();
        files[job.index] = entry;
        ::close(job.fd);
    };

    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    while (next < batch.inputs.size() || !running.empty()) {
        while (running.size() < jobs && next < batch.inputs.size()) {
            int channel[2];
            if (::pipe(channel) != 0)
                throw CliError(std::string("cannot start a job (") + std::strerror(errno) + ")");
            ProcessRequest request = settings;
            request.input = batch.inputs[next];
            request.output = outputs[next];
            const pid_t pid = ::fork();
            if (pid < 0) {
                ::close(channel[0]);
                ::close(channel[1]);
                throw CliError(std::string("cannot start a job (") + std::strerror(errno) + ")");
            }
            if (pid == 0) {
                ::close(channel[0]);
                for (const Job& other : running)
                    ::close(other.fd);
                runJob(channel[1], global, request);
            }
            ::close(channel[1]);
            running.push_back({pid, channel[0], next++, {}});
        }
        std::vector<pollfd> watched;
        for (const Job& job : running)
            watched.push_back({job.fd, POLLIN, 0});
        if (::poll(watched.data(), watched.size(), -1) < 0) {
            if (errno == EINTR) continue;
            throw CliError(std::string("the batch cannot wait for its jobs (") + std::strerror(errno) + ")");
        }
        for (size_t i = watched.size(); i-- > 0;) {
            if (watched[i].revents == 0) continue;
            char buffer[65536];
            const ssize_t got = ::read(running[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                running[i].message.append(buffer, static_cast<size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                finish(running[i]);
                running.erase(running.begin() + static_cast<long>(i));
            }
        }
    }

    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - startedAt).count();
    if (json) {
        nlohmann::ordered_json summary;
        summary["inputs"] = batch.inputs.size();
        summary["processed"] = processed;
        summary["failed"] = failed;
        summary["jobs"] = jobs;
        summary["wall_seconds"] = std::round(seconds * 1000.0) / 1000.0;
        summary["files"] = files;
        emitJson(summary, jsonTarget);
    }
    char line[160];
    std::snprintf(line, sizeof line, "%zu of %zu inputs processed, %zu failed (%.1f s, %u at a time)",
                  processed, batch.inputs.size(), failed, seconds, jobs);
    if (failed > 0)
        std::cerr << "morvane: " << line << "\n";
    else if (!global.quiet && !json)
        std::cout << line << "\n";
    return failed > 0 ? kExitFailure : kExitOk;
}

} // namespace morvane_cli
