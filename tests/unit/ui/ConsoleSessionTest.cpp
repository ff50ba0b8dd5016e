// What tolvex --console is made of: texts run one after another in one session
// (Runner::runInSession), a stop request that ends the running text only, and
// boxes answered with typed lines once the --answers queue is used up.
#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "builtins/builtins.h"
#include "interp/exec/runner.h"
#include "interp/interpreter.h"
#include "ui/host.h"

namespace tvx::ui {
namespace {

// A batch host writing to a temporary file, with an interpreter and its commands.
class ConsoleSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        out_ = std::tmpfile();
        ASSERT_NE(out_, nullptr);
        host_ = std::make_unique<AppHost>(AppHost::Mode::Batch, out_);
        ip_ = std::make_unique<interp::Interpreter>(*host_);
        builtins::registerBuiltins(*ip_);
    }
    void TearDown() override {
        ip_.reset();
        host_.reset();
        std::fclose(out_);
    }
    // What was printed since the last call.
    std::string printed() {
        std::fflush(out_);
        std::string text;
        std::fseek(out_, static_cast<long>(read_), SEEK_SET);
        int c;
        while ((c = std::fgetc(out_)) != EOF) text += static_cast<char>(c);
        read_ += text.size();
        return text;
    }
    std::string run(const std::string& text) {
        ip_->runner().runInSession(text);
        return printed();
    }
    // Typed lines for the boxes; prompts are recorded. An empty deque is the end of the input.
    void typeLines(std::deque<std::string> lines) {
        typed_ = std::move(lines);
        host_->setAnswerReader([this](std::string_view prompt, std::string& line) {
            prompts_.emplace_back(prompt);
            if (typed_.empty()) return false;
            line = typed_.front();
            typed_.pop_front();
            return true;
        });
    }

    std::FILE* out_ = nullptr;
    size_t read_ = 0;
    std::unique_ptr<AppHost> host_;
    std::unique_ptr<interp::Interpreter> ip_;
    std::deque<std::string> typed_;
    std::vector<std::string> prompts_;
};

TEST_F(ConsoleSessionTest, VariablesStayFromTextToTextUntilTheSessionEnds) {
    EXPECT_EQ(run("x = 6 * 7"), "");
    EXPECT_EQ(run("?x"), "x = 42\n");
    // A text of several lines, with a loop over them.
    EXPECT_EQ(run("Loop 3\n  x = x + 1\nEndLoop\n?x"), "x = 45\n");
    EXPECT_EQ(run("s = \"a\" | s += \"b\" | ?s"), "s = \"ab\"\n");
    // An error shows its box; the session goes on with its variables.
    EXPECT_EQ(run("foo bar"), "[Macro Error] Syntax Error: Unknown command\n\nfoo bar\n");
    EXPECT_EQ(run("?x"), "x = 45\n");
    // A text that ends inside a loop does not leave the next text in it.
    run("Loop 2\n  y = 1");
    printed();
    EXPECT_EQ(run("?x"), "x = 45\n");
    ip_->runner().endSession();
    EXPECT_EQ(run("?x"), "x = Undefined\n");
    ip_->runner().endSession();
}

TEST_F(ConsoleSessionTest, AStopRequestEndsTheRunningTextOnly) {
    run("x = 1 | n = 0");
    host_->requestStop();  // as Ctrl-C does while the loop runs
    EXPECT_EQ(run("Loop 2000000000 | n = n + 1 | EndLoop | ?\"after the loop\""), "");
    EXPECT_FALSE(host_->stopRequested());  // taken by the run
    EXPECT_EQ(run("?n < 2000000000 | ?x"), "n < 2000000000 = 1\nx = 1\n");
    EXPECT_EQ(run("Loop 3 | n = n + 1 | EndLoop | ?\"done\""), "\"done\" = \"done\"\n");
    ip_->runner().endSession();
}

TEST_F(ConsoleSessionTest, BoxesTakeTypedLinesWhereTheyOfferAChoice) {
    std::string bad;
    ASSERT_TRUE(host_->setAnswers("yes", bad));
    typeLines({"maybe", "No", "", "Anna", "", "3", "b.txt|c.txt"});
    // The queue answers first; then a message box takes only the words of its buttons.
    EXPECT_EQ(host_->messageBox("Q1", "Ask", interp::kMbYesNo).button, interp::kIdYes);
    EXPECT_TRUE(prompts_.empty());
    EXPECT_EQ(host_->messageBox("Q2", "Ask", interp::kMbYesNo).button, interp::kIdNo);
    ASSERT_EQ(prompts_.size(), 2u);
    EXPECT_EQ(prompts_[0], "yes/no? ");
    // An empty line takes the default button.
    EXPECT_EQ(host_->messageBox("Q3", "Ask", interp::kMbYesNo | interp::kMbDefButton2).button, interp::kIdNo);
    // A box with one button, and the error box, are only shown.
    size_t asked = prompts_.size();
    EXPECT_EQ(host_->messageBox("Note", "Macro", interp::kMbOk).button, interp::kIdOk);
    EXPECT_EQ(host_->messageBox("Error: x", "Macro Error", interp::kMbOkCancel).button, interp::kIdOk);
    EXPECT_EQ(prompts_.size(), asked);
    // An input box takes the line as its text; an empty line keeps the text it had.
    std::string text = "initial";
    EXPECT_EQ(host_->inputBox(interp::InputKind::Text, "StrInput", "Name?", text, true).button,
              interp::kIdOk);
    EXPECT_EQ(text, "Anna");
    EXPECT_EQ(host_->inputBox(interp::InputKind::Text, "StrInput", "Name?", text, true).button,
              interp::kIdOk);
    EXPECT_EQ(text, "Anna");
    // A dialog's button by its number; a file dialog's paths.
    std::vector<AppHost::DialogButton> buttons = {{1, "&OK", true}, {3, "&Later", false}};
    EXPECT_EQ(host_->answerDialog("Settings", {"Gain"}, buttons), 3);
    interp::FileRequest request;
    request.initialPath = "a.txt";
    interp::FileAnswer files = host_->chooseFiles(request);
    EXPECT_TRUE(files.ok);
    EXPECT_EQ(files.paths, (std::vector<std::string>{"b.txt", "c.txt"}));
    // The end of the input (or Ctrl-C) cancels.
    EXPECT_EQ(host_->messageBox("Q4", "Ask", interp::kMbYesNoCancel).button, interp::kIdCancel);
    EXPECT_EQ(host_->inputBox(interp::InputKind::Text, "StrInput", "Name?", text, true).button,
              interp::kIdCancel);
    EXPECT_EQ(host_->answerDialog("Settings", {"Gain"}, {{3, "Later", true}}), 0);
    host_->setAnswerReader(nullptr);
}

}  // namespace
}  // namespace tvx::ui
