// A host for fuzzing: answers every box at once, prints nothing, and stops a
// macro that runs longer than its time budget.
#pragma once

#include <chrono>
#include <string>

#include "interp/host.h"
#include "platform/membudget.h"

namespace tvx::fuzz {

// The largest single allocation a fuzzed input may ask for (platform::setRequestLimit).
constexpr int64_t kRequestLimitBytes = int64_t{256} << 20;

class FuzzHost : public interp::Host {
public:
    explicit FuzzHost(std::chrono::milliseconds budget)
        : deadline_(std::chrono::steady_clock::now() + budget) {}

    interp::BoxAnswer messageBox(std::string_view, std::string_view, unsigned) override {
        return {interp::kIdOk, 0};
    }
    interp::BoxAnswer inputBox(interp::InputKind, std::string_view, std::string_view, std::string&,
                               bool) override {
        return {interp::kIdOk, 0};
    }
    void consoleWrite(std::string_view) override {}
    void showValue(std::string_view, std::string_view) override {}
    bool pumpMessages(int) override { return std::chrono::steady_clock::now() < deadline_; }

private:
    std::chrono::steady_clock::time_point deadline_;
};

}  // namespace tvx::fuzz
