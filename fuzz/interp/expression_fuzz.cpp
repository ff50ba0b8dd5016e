// Fuzzes the expression evaluators with the whole built-in library: any text,
// evaluated as a numeric and as a string expression, must give a value or an
// error number, never a crash.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzHost.h"
#include "builtins/builtins.h"
#include "interp/api.h"

using namespace tvx::interp;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static tvx::fuzz::FuzzHost host(std::chrono::hours(1000));
    static Interpreter* ip = [] {
        // Like [Settings] MaxBlockMB on a small machine: a literal of a hundred million
        // elements fails at once instead of taking the input's whole time.
        tvx::platform::setRequestLimit(tvx::fuzz::kRequestLimitBytes);
        auto* made = new Interpreter(host);
        tvx::builtins::registerBuiltins(*made);
        return made;
    }();
    static SymbolTable table(kMacroSpace, kMacroTableEntries, kMacroTableBuckets, kMacroTableText);
    ip->symbols().macroTable = &table;
    std::string text(reinterpret_cast<const char*>(data), size);
    text = text.substr(0, text.find('\0'));
    for (NameLookup lookup : {NameLookup::Create, NameLookup::FindOnly}) {
        MCVal value;
        std::string out;
        bool isString = false;
        (void)ip->evaluateText(text, value, out, isString);
        (void)ip->evaluateStandalone(text, lookup, value);
        ip->work().reset();
    }
    if (table.highestIndex() > 5000) table.clear();
    ip->symbols().deleteAllObjects();
    return 0;
}
