// Runs macro text with every built-in command registered, in a fresh temporary
// directory, and collects what its "?" lines show and the boxes it opens.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "builtins/builtins.h"
#include "interp/exec/runner.h"
#include "interp/interpreter.h"
#include "tests/unit/interp/TestHost.h"

namespace tvx::builtins::testing {

class MacroRun : public ::testing::Test {
protected:
    interp::testing::TestHost host;
    interp::Interpreter ip{host};
    std::filesystem::path dir;

    void SetUp() override {
        char pattern[] = "/tmp/tolvex-unit-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        registerBuiltins(ip);
        {
            interp::RunnerConfig config = ip.config();
            config.workingDirectory = dir.string() + "/";
            ip.reconfigure(config);
        }
    }
    void TearDown() override {
        // Tests make files read-only: make everything removable again first.
        std::error_code ec;
        for (auto it = std::filesystem::recursive_directory_iterator(dir, ec);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
            if (!it->is_symlink())
                std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::add, ec);
        }
        std::filesystem::remove_all(dir, ec);
    }

    // Runs text as a macro; returns the lines shown ("expression = value").
    std::vector<std::string> run(const std::string& text) {
        std::filesystem::path macro = dir / "unit.mac";
        std::ofstream(macro) << text;
        host.values.clear();
        host.boxes.clear();
        interp::StartRequest request;
        request.name = macro.string();
        request.commandLine = true;
        EXPECT_TRUE(ip.runner().run(request));
        return host.values;
    }
    // The value the last "?" line showed (the text after " = ").
    std::string shown(const std::string& text) {
        std::vector<std::string> lines = run(text);
        if (lines.empty()) return "(nothing shown)";
        const std::string& line = lines.back();
        size_t at = line.find(" = ");
        return at == std::string::npos ? line : line.substr(at + 3);
    }
    double number(const std::string& text) { return std::strtod(shown(text).c_str(), nullptr); }
    // The error boxes of the last run ("caption|text").
    const std::vector<std::string>& boxes() const { return host.boxes; }
};

}  // namespace tvx::builtins::testing
