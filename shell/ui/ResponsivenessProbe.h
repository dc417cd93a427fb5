#pragma once
// A measuring aid for the benchmarks, off unless PIXREEL_MEASURE_RESPONSIVENESS names a file: a
// thread posts an empty call to the window thread every 20 ms and notes how late each one runs.
// When the probe ends it writes the count, the median and the worst delay to the file.

#include <memory>
#include <thread>

class ResponsivenessProbe {
public:
    /// A running probe when the environment asks for one, else none.
    static std::unique_ptr<ResponsivenessProbe> FromEnvironment();
    ~ResponsivenessProbe();
    ResponsivenessProbe(const ResponsivenessProbe&) = delete;
    ResponsivenessProbe& operator=(const ResponsivenessProbe&) = delete;

private:
    struct State;
    explicit ResponsivenessProbe(std::shared_ptr<State> state);

    std::shared_ptr<State> state_;
    std::thread thread_;
};
