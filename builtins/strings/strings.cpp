// The string statements that change a string variable: definition,
// assignment, appending, insertion, substrings, padding, reversal, scrambling.
#include "builtins/strings/strings.h"

#include <algorithm>

#include "builtins/strings/stringinternal.h"
#include "interp/interpreter.h"
#include "interp/source/scramble.h"
#include "interp/values/numbertext.h"
#include "interp/values/workarea.h"

namespace tvx::builtins {

using interp::CallArgs;
using interp::Interpreter;
using interp::kOk;
using interp::kStringOverflow;
using interp::MCVal;

namespace {

// StrDef $l: string variables hold up to the 4095 characters of the string
// work area; asking for more room than that is a string overflow.
int strDef(Interpreter&, CallArgs& args, MCVal&) {
    int32_t room = args[1].l;
    if (room < 0 || static_cast<size_t>(room) > kStringRoom) return kStringOverflow;
    args[0].var.text->reserve(static_cast<size_t>(room));
    return kOk;
}

int strSet(Interpreter&, CallArgs& args, MCVal&) {
    return setText(*args[0].var.text, args[1].text);
}

int strAdd(Interpreter&, CallArgs& args, MCVal&) {
    return appendText(*args[0].var.text, args[1].text);
}

int strNumAdd(Interpreter&, CallArgs& args, MCVal&) {
    return appendText(*args[0].var.text, interp::shortNumber(args[1].number));
}

// StrInsert $si: overwrites from position p when the text is long enough for
// all of s, else s goes to p and ends the text there. A position beyond the
// end appends (the text has nothing there to keep).
int strInsert(Interpreter&, CallArgs& args, MCVal&) {
    std::string& dest = *args[0].var.text;
    std::string_view s = args[1].text;
    // A 16-bit position: 32768..65535 arrive as their bit pattern.
    int64_t position = args[2].number > 32767.5 ? static_cast<uint16_t>(args[2].i) : args[2].i;
    size_t p = position < 1 ? 0 : std::min(static_cast<size_t>(position), dest.size());
    if (!s.empty() && dest.size() >= p + s.size()) {
        dest.replace(p, s.size(), s);
        return kOk;
    }
    if (p + s.size() > kStringRoom) return kStringOverflow;
    dest.resize(p);
    dest.append(s);
    return kOk;
}

// GetSubStr $si.i: start a (negative: from the end), length n (negative:
// that many characters dropped from the end; missing or 0: the rest).
int getSubStr(Interpreter&, CallArgs& args, MCVal&) {
    std::string_view source = args[1].text;
    int64_t a = args[2].i;
    int64_t n = args.present(3) ? args[3].i : 0;
    int64_t limit = a < 0 || n < 1 ? 32767 : a + n;
    auto length = static_cast<int64_t>(std::min<size_t>(source.size(), static_cast<size_t>(limit)));
    int64_t start = a >= 0 ? std::min(a, length) : std::max<int64_t>(length + a, 0);
    int64_t rest = length - start;
    int64_t count = rest;
    if (n >= 1 && n <= rest - 1)
        count = n;
    else if (n < 0)
        count = std::max<int64_t>(rest + n, 0);
    return setText(*args[0].var.text,
                   source.substr(static_cast<size_t>(start), static_cast<size_t>(count)));
}

int getStrLen(Interpreter&, CallArgs& args, MCVal&) {
    *args[0].var.number = static_cast<double>(args[1].text.size() % 65536);
    return kOk;
}

// StrFillUp $ii: pads to length n with a character; a NUL pads nothing (it
// would end the string there anyway).
int strFillUp(Interpreter&, CallArgs& args, MCVal&) {
    std::string& dest = *args[0].var.text;
    size_t n = static_cast<uint16_t>(args[1].i);
    char c = static_cast<char>(args[2].i & 0xFF);
    if (n <= dest.size() || c == '\0') return kOk;
    if (n > kStringRoom) return kStringOverflow;
    dest.append(n - dest.size(), c);
    return kOk;
}

int strRevert(Interpreter&, CallArgs& args, MCVal&) {
    std::string& dest = *args[0].var.text;
    std::reverse(dest.begin(), dest.end());
    return kOk;
}

// StrCryptA $l.ll: the string (or its first n characters) through the
// scrambling routine of macro files, with the key and all bits of the variant.
int strCryptA(Interpreter&, CallArgs& args, MCVal&) {
    std::string& text = *args[0].var.text;
    auto key = static_cast<uint32_t>(args[1].l);
    auto variant = args.present(2) ? static_cast<uint32_t>(args[2].l) : 0u;
    size_t n = text.size();
    if (args.present(3) && args[3].l > 0 && static_cast<size_t>(args[3].l) < n)
        n = static_cast<size_t>(args[3].l);
    interp::unscrambleBytes(text.data(), n, key, variant);
    return kOk;
}

}  // namespace

int setText(std::string& dest, std::string_view text) {
    if (text.size() > kStringRoom) return kStringOverflow;
    dest.assign(text);
    return kOk;
}

int appendText(std::string& dest, std::string_view text) {
    if (dest.size() + text.size() > kStringRoom) return kStringOverflow;
    dest.append(text);
    return kOk;
}

void registerStringCommands(Interpreter& ip) {
    ip.registerCommand("StrDef", strDef);
    ip.registerCommand("StrSet", strSet);
    ip.registerCommand("StrAdd", strAdd);
    ip.registerCommand("StrNumAdd", strNumAdd);
    ip.registerCommand("StrInsert", strInsert);
    ip.registerCommand("GetSubStr", getSubStr);
    ip.registerCommand("GetStrLen", getStrLen);
    ip.registerCommand("StrFillUp", strFillUp);
    ip.registerCommand("StrRevert", strRevert);
    ip.registerCommand("StrCryptA", strCryptA);
    registerStringFunctions(ip);
    registerListCommands(ip);
    registerExecuteCommands(ip);
    registerPathCommands(ip);
}

}  // namespace tvx::builtins
