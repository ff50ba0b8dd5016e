// Runs macro text against the string and file commands in a fresh temporary
// directory (the working directory of the run) and collects what "?" lines show.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "builtins/files/files.h"
#include "builtins/numeric/numeric.h"
#include "builtins/strings/strings.h"
#include "interp/exec/runner.h"
#include "interp/interpreter.h"
#include "tests/unit/interp/TestHost.h"

namespace tvx::builtins::testing {

class MacroFixture : public ::testing::Test {
protected:
    interp::testing::TestHost host;
    interp::Interpreter ip{host};
    std::filesystem::path dir;

    void SetUp() override {
        char pattern[] = "/tmp/tolvex-unit-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        registerNumericFunctions(ip);
        registerStringCommands(ip);
        registerFileCommands(ip);
        ip.runner().workingDirectory = dir.string() + "/";
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
    // The value shown by the last "?" line.
    std::string last(const std::string& text) {
        std::vector<std::string> shown = run(text);
        return shown.empty() ? std::string("(nothing shown)") : shown.back();
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
