// The string statements that change a string variable: definition,
// assignment, appending, insertion, substrings, padding, reversal, scrambling.
#include "builtins/strings/strings.h"

#include <algorithm>

#include "builtins/strings/stringinternal.h"
#include "interp/api.h"
#include "platform/membudget.h"

namespace tvx::builtins {

using interp::CallArgs;
using interp::Interpreter;
using interp::kOk;
using interp::kStringOverflow;
using interp::MCVal;

namespace {

// StrDef $l: reserves room for l characters. Reads into the variable
// (ReadString, dialog edits) stop at its room; writes widen it.
interp::Error strDef(Interpreter&, CallArgs& args, MCVal&) {
    int64_t room = args.l(1);
    if (room < 0 || room > interp::kMaxVariableText) return kStringOverflow;
    if (!platform::memoryAllows(room)) return interp::kOutOfMemory;
    args.var(0).text->reserve(static_cast<size_t>(room));
    if (args.var(0).slot) args.var(0).slot.var().room = room;
    return kOk;
}

interp::Error strSet(Interpreter&, CallArgs& args, MCVal&) {
    return setText(*args.var(0).text, args.text(1));
}

interp::Error strAdd(Interpreter&, CallArgs& args, MCVal&) {
    return appendText(*args.var(0).text, args.text(1));
}

interp::Error strNumAdd(Interpreter&, CallArgs& args, MCVal&) {
    return appendText(*args.var(0).text, interp::shortNumber(args.number(1)));
}

// StrInsert $si: overwrites from position p when the text is long enough for
// all of s, else s goes to p and ends the text there. A position beyond the
// end appends (the text has nothing there to keep).
interp::Error strInsert(Interpreter&, CallArgs& args, MCVal&) {
    std::string& dest = *args.var(0).text;
    std::string_view s = args.text(1);
    // A 16-bit position: 32768..65535 arrive as their bit pattern.
    int64_t position = args.number(2) > 32767.5 ? static_cast<uint16_t>(args.i(2)) : args.i(2);
    size_t p = position < 1 ? 0 : std::min(static_cast<size_t>(position), dest.size());
    if (!s.empty() && dest.size() >= p + s.size()) {
        dest.replace(p, s.size(), s);
        return kOk;
    }
    if (static_cast<int64_t>(p + s.size()) > interp::kMaxVariableText) return kStringOverflow;
    dest.resize(p);
    dest.append(s);
    return kOk;
}

// GetSubStr $si.i: start a (negative: from the end), length n (negative:
// that many characters dropped from the end; missing or 0: the rest).
interp::Error getSubStr(Interpreter&, CallArgs& args, MCVal&) {
    std::string_view source = args.text(1);
    int64_t a = args.i(2);
    int64_t n = args.present(3) ? args.i(3) : 0;
    int64_t limit = a < 0 || n < 1 ? 32767 : a + n;
    auto length = static_cast<int64_t>(std::min<size_t>(source.size(), static_cast<size_t>(limit)));
    int64_t start = a >= 0 ? std::min(a, length) : std::max<int64_t>(length + a, 0);
    int64_t rest = length - start;
    int64_t count = rest;
    if (n >= 1 && n <= rest - 1)
        count = n;
    else if (n < 0)
        count = std::max<int64_t>(rest + n, 0);
    return setText(*args.var(0).text, source.substr(static_cast<size_t>(start), static_cast<size_t>(count)));
}

interp::Error getStrLen(Interpreter&, CallArgs& args, MCVal&) {
    *args.var(0).number = static_cast<double>(args.text(1).size() % 65536);
    return kOk;
}

// StrFillUp $ii: pads to length n with a character; a NUL pads nothing (it
// would end the string there anyway).
interp::Error strFillUp(Interpreter&, CallArgs& args, MCVal&) {
    std::string& dest = *args.var(0).text;
    size_t n = static_cast<uint16_t>(args.i(1));
    char c = static_cast<char>(args.i(2) & 0xFF);
    if (n <= dest.size() || c == '\0') return kOk;
    if (static_cast<int64_t>(n) > interp::kMaxVariableText) return kStringOverflow;
    dest.append(n - dest.size(), c);
    return kOk;
}

interp::Error strRevert(Interpreter&, CallArgs& args, MCVal&) {
    std::string& dest = *args.var(0).text;
    std::reverse(dest.begin(), dest.end());
    return kOk;
}

// StrCryptA $l.ll: the string (or its first n characters) through the
// scrambling routine of macro files, with the key and all bits of the variant.
interp::Error strCryptA(Interpreter&, CallArgs& args, MCVal&) {
    std::string& text = *args.var(0).text;
    auto key = static_cast<uint32_t>(args.l(1));
    auto variant = args.present(2) ? static_cast<uint32_t>(args.l(2)) : 0u;
    size_t n = text.size();
    if (args.present(3) && args.l(3) > 0 && static_cast<size_t>(args.l(3)) < n)
        n = static_cast<size_t>(args.l(3));
    interp::unscrambleBytes(text.data(), n, key, variant);
    return kOk;
}

}  // namespace

interp::Error setText(std::string& dest, std::string_view text) {
    if (static_cast<int64_t>(text.size()) > interp::kMaxVariableText) return kStringOverflow;
    dest.assign(text);
    return kOk;
}

interp::Error appendText(std::string& dest, std::string_view text) {
    if (static_cast<int64_t>(dest.size() + text.size()) > interp::kMaxVariableText) return kStringOverflow;
    if (!platform::memoryAllows(static_cast<int64_t>(dest.size() + text.size()))) return interp::kOutOfMemory;
    dest.append(text);
    return kOk;
}

constexpr interp::CommandRow kStringCommandsRows[] = {
    {interp::cmd::StrDef, strDef},       {interp::cmd::StrSet, strSet},
    {interp::cmd::StrAdd, strAdd},       {interp::cmd::StrNumAdd, strNumAdd},
    {interp::cmd::StrInsert, strInsert}, {interp::cmd::GetSubStr, getSubStr},
    {interp::cmd::GetStrLen, getStrLen}, {interp::cmd::StrFillUp, strFillUp},
    {interp::cmd::StrRevert, strRevert}, {interp::cmd::StrCryptA, strCryptA},
};

void registerStringCommands(Interpreter& ip) {
    ip.install({"strings/strings", kStringCommandsRows});
    registerStringFunctions(ip);
    registerListCommands(ip);
    registerExecuteCommands(ip);
    registerPathCommands(ip);
}

}  // namespace tvx::builtins
