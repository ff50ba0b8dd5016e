// A host for tests: records what the interpreter shows and answers boxes from a queue.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "interp/host.h"

namespace tvx::interp::testing {

class TestHost : public Host {
public:
    std::vector<std::string> boxes;   // "caption|text"
    std::vector<std::string> values;  // "expression = value"
    std::string console;
    std::deque<int> answers;

    BoxAnswer messageBox(std::string_view text, std::string_view caption, unsigned) override {
        boxes.push_back(std::string(caption) + "|" + std::string(text));
        BoxAnswer answer{kIdOk, 0};
        if (!answers.empty()) {
            answer.button = answers.front();
            answers.pop_front();
        }
        return answer;
    }
    BoxAnswer inputBox(InputKind, std::string_view, std::string_view, std::string&, bool) override {
        return {kIdOk, 0};
    }
    void consoleWrite(std::string_view text) override { console.append(text); }
    void showValue(std::string_view expression, std::string_view value) override {
        values.push_back(std::string(expression) + " = " + std::string(value));
    }
    bool pumpMessages(int) override { return true; }
};

}  // namespace tvx::interp::testing
