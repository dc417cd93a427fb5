#include "shell/ui/ResponsivenessProbe.h"

#include <wx/app.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/Event.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kIntervalMs = 20;

}  // namespace

struct ResponsivenessProbe::State {
    std::string path;
    std::mutex mutex;
    Clock::time_point start = Clock::now();
    std::vector<std::pair<double, double>> samples;  // when each call was posted, how late it ran
    Event stop{Event::Mode::ManualReset};
};

std::unique_ptr<ResponsivenessProbe> ResponsivenessProbe::FromEnvironment() {
    const char* path = std::getenv("PIXREEL_MEASURE_RESPONSIVENESS");
    if (!path || !*path)
        return nullptr;
    auto state = std::make_shared<State>();
    state->path = path;
    return std::unique_ptr<ResponsivenessProbe>(new ResponsivenessProbe(state));
}

ResponsivenessProbe::ResponsivenessProbe(std::shared_ptr<State> state) : state_(std::move(state)) {
    thread_ = std::thread([state = state_] {
        while (!state->stop.Wait(kIntervalMs)) {
            const Clock::time_point posted = Clock::now();
            wxTheApp->CallAfter([state, posted] {
                const double late = std::chrono::duration<double, std::milli>(Clock::now() - posted).count();
                const double at = std::chrono::duration<double, std::milli>(posted - state->start).count();
                std::lock_guard<std::mutex> lock(state->mutex);
                state->samples.emplace_back(at, late);
            });
        }
    });
}

ResponsivenessProbe::~ResponsivenessProbe() {
    state_->stop.Set();
    thread_.join();
    std::vector<std::pair<double, double>> samples;
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        samples = state_->samples;
    }
    std::vector<double> delays;
    for (const auto& sample : samples)
        delays.push_back(sample.second);
    std::sort(delays.begin(), delays.end());
    std::FILE* out = std::fopen(state_->path.c_str(), "w");
    if (!out)
        return;
    const double median = delays.empty() ? 0 : delays[delays.size() / 2];
    const double p99 = delays.empty() ? 0 : delays[delays.size() * 99 / 100];
    const double worst = delays.empty() ? 0 : delays.back();
    std::fprintf(out, "samples %zu\nmedian_ms %.2f\np99_ms %.2f\nworst_ms %.2f\n", delays.size(), median, p99, worst);
    // Then every sample: milliseconds since the probe started, and the delay.
    for (const auto& [at, late] : samples)
        std::fprintf(out, "%.1f %.2f\n", at, late);
    std::fclose(out);
}
