// The macro runner of the built-in tests, with what the string and file tests
// also need: the last shown line whole, and files read and written directly.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/unit/builtins/support/MacroRun.h"

namespace tvx::builtins::testing {

class MacroFixture : public MacroRun {
protected:
    // The last "?" line ("expression = value").
    std::string last(const std::string& text) {
        std::vector<std::string> lines = run(text);
        return lines.empty() ? std::string("(nothing shown)") : lines.back();
    }

    std::string contents(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    void write(const std::filesystem::path& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
};

}  // namespace tvx::builtins::testing
