// Benchmark driver for pieces below the command line.
//
//   tolvex_bench expression N    evaluate a mixed arithmetic expression N times
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "interp/eval/evaluator.h"
#include "interp/host.h"
#include "interp/interpreter.h"

namespace {

class QuietHost : public tvx::interp::Host {
public:
    tvx::interp::BoxAnswer messageBox(std::string_view, std::string_view, unsigned) override {
        return {1, 0};
    }
    tvx::interp::BoxAnswer inputBox(tvx::interp::InputKind, std::string_view, std::string_view, std::string&,
                                    bool) override {
        return {1, 0};
    }
    void consoleWrite(std::string_view) override {}
    void showValue(std::string_view, std::string_view) override {}
    bool pumpMessages(int) override { return true; }
};

int expression(long count) {
    using namespace tvx::interp;
    QuietHost host;
    Interpreter ip(host);
    SymbolTable table(kMacroSpace, kMacroTableEntries, kMacroTableBuckets, kMacroTableText);
    ip.symbols().macroTable = &table;
    const std::string setup[] = {"x", "y"};
    for (const std::string& name : setup) table.at(table.create(name)).setValueKind(kKindNumber);
    table.at(table.find("x")).number = 3.5;
    table.at(table.find("y")).number = 11;
    const char* text = "x * 2.5 + (y - 3) / 7 - x * y MOD 5 + 2 ^ 3";
    double sum = 0;
    auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < count; ++i) {
        const char* p = text;
        MCVal value;
        if (ip.evaluate(p, kLimitAssignment, value) != 0) return 1;
        sum += value.re;
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.6g expressions/s (result %g)\n", count / seconds, sum / count);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "expression") == 0) return expression(std::atol(argv[2]));
    std::fprintf(stderr, "usage: tolvex_bench expression N\n");
    return 2;
}
