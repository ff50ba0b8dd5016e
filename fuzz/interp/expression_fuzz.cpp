// Fuzzes the expression evaluators: any text, evaluated as a numeric and as a
// string expression, must give a value or an error number, never a crash.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzHost.h"
#include "interp/eval/evaluator.h"
#include "interp/interpreter.h"

using namespace tvx::interp;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static tvx::fuzz::FuzzHost host(std::chrono::hours(1000));
    static Interpreter ip(host);
    static SymbolTable table(kMacroSpace, kMacroTableEntries, kMacroTableBuckets, kMacroTableText);
    ip.symbols.macroTable = &table;
    std::string text(reinterpret_cast<const char*>(data), size);
    text = text.substr(0, text.find('\0'));
    for (int limit : {kLimitAssignment, kLimitMatrixElement, kLimitSingleOperand}) {
        const char* p = text.c_str();
        MCVal value;
        int err = ip.evaluate(p, limit, value);
        if (err == kStringOperand) {
            std::string out;
            ip.evaluator().stringExpression(p, out);
        }
        ip.work.reset();
    }
    if (table.highestIndex() > 5000) table.clear();
    ip.symbols.deleteAllObjects();
    return 0;
}
