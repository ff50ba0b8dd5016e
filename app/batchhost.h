// The host of batch mode: no window is shown and nothing waits for a person.
// Boxes are printed as "[caption] text" and answered from a queue.
#pragma once

#include <cstdio>
#include <deque>
#include <string>
#include <string_view>

#include "interp/host.h"

namespace tvx::app {

class BatchHost : public interp::Host {
public:
    explicit BatchHost(std::FILE* out = stdout) : out_(out) {}

    // Parses "--answers": ok, cancel, yes, no, abort, retry, ignore, or =text.
    // Returns false (and names the bad item) for an unknown answer.
    bool setAnswers(std::string_view list, std::string& badItem);

    interp::BoxAnswer messageBox(std::string_view text, std::string_view caption, unsigned style) override;
    interp::BoxAnswer inputBox(interp::InputKind kind, std::string_view caption, std::string_view prompt,
                               std::string& text, bool withCancel) override;
    void consoleWrite(std::string_view text) override;
    void showValue(std::string_view expression, std::string_view value) override;
    bool pumpMessages(int budget) override;
    void postQuit() override { quit_ = true; }
    bool quitRequested() const { return quit_; }

private:
    struct Answer {
        int button = interp::kIdNone;
        bool hasText = false;
        std::string text;
    };
    void printLines(std::string_view text);

    std::FILE* out_;
    std::deque<Answer> answers_;
    bool quit_ = false;
};

}  // namespace tvx::app
