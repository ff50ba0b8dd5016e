// Status variables of the interpreter itself: paths, call and loop state,
// the secondary results of commands, constants and message texts.
#include "interp/exec/status.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "interp/codes.h"
#include "interp/exec/context.h"
#include "interp/exec/runner.h"
#include "interp/interpreter.h"
#include "platform/clock.h"
#include "platform/paths.h"

namespace tvx::interp {

namespace {

Error pathStatus(Interpreter& ip, int code, int, StatusValue& value) {
    Runner& runner = ip.runner();
    switch (code) {
    case statvar::DefPath: value.text = ip.programDirectory(); break;
    case statvar::AppPath: value.text = ip.appPath(); break;
    case statvar::WorkingDir: value.text = ip.workingDirectory(); break;
    case statvar::MacroPath:
        if (MacroContext* ctx = runner.current()) value.text = ctx->macroPath;
        break;
    case statvar::SubName: value.text = runner.subName(0); break;
    default: break;
    }
    return kOk;
}

Error callStatus(Interpreter& ip, int code, int index, StatusValue& value) {
    Runner& runner = ip.runner();
    if (code == statvar::SubName)
        value.text = runner.subName(index);
    else
        value.text = runner.callingLine(index);
    return kOk;
}

Error runStatus(Interpreter& ip, int code, int index, StatusValue& value) {
    MacroContext* ctx = ip.runner().current();
    value.number = 0;
    if (code == statvar::MacroStat) {
        value.number = ip.running() ? 1 : 0;
        return kOk;
    }
    if (!ctx) return kOk;
    int level = ctx->loopLevel;
    switch (code) {
    case statvar::LoopLevel: value.number = level; break;
    case statvar::SubLevel:
    case statvar::Lv: value.number = ctx->callLevel; break;
    case statvar::ix:
    case statvar::ix1: {
        // Counted from the innermost loop outwards (any int index, INT_MIN too).
        int64_t slot = int64_t{level} - 1 - index;
        if (slot >= 0 && slot < level) value.number = ctx->loopIndexes[static_cast<size_t>(slot)];
        if (code == statvar::ix1) value.number += 1;
        break;
    }
    case statvar::LoopIndex:
    case statvar::LoopCount: {
        // Without index the innermost loop; with index n loop level n (1 = outermost).
        int64_t slot = index == 0 ? int64_t{level} - 1 : int64_t{index} - 1;
        if (slot >= 0 && slot < level)
            value.number = code == statvar::LoopIndex ? ctx->loopIndexes[static_cast<size_t>(slot)]
                                                      : ctx->loopCounts[static_cast<size_t>(slot)];
        break;
    }
    default: break;
    }
    return kOk;
}

// !M and !Max read a 64-bit integer that nothing sets; while it holds its
// initial marker, a reading yields 2^30.
constexpr int64_t kUnsetMarker = INT64_MIN;
constexpr double kUnsetReading = 1073741824.0;

double factorial(int n) {
    if (n >= 41) return std::tgamma(static_cast<double>(n) + 1);
    double product = 1;
    for (int i = 2; i <= n; ++i) product *= i;
    return product;
}

// An index of 0..31 into one of the result arrays.
int32_t resultAt(const std::array<int32_t, 32>& values, int index) {
    return index >= 0 && index < 32 ? values[static_cast<size_t>(index)] : 0;
}

Error textStatus(Interpreter& ip, int code, int index, StatusValue& value) {
    switch (code) {
    case statvar::ErrorText:
        // Messages are numbered 801..858: other indexes name none.
        if (index > 0 && index < 100) value.text = std::string(ip.messageText(800 + index));
        break;
    case statvar::GroupName: value.text = ip.symbols().groupName; break;
    case statvar::MacroWord: {
        // Codes are small: an index beyond them (or INT_MIN, which has no negative) names nothing.
        if (index >= kCommandTableCapacity || index <= -kStatusTableCapacity) break;
        std::string_view name = index > 0 ? ip.commands().name(index) : ip.statusVariables().name(-index);
        if (index <= 0 && !name.empty()) value.text.push_back('!');
        value.text.append(name);
        if (value.text.size() > 31) value.text.resize(31);
        break;
    }
    case statvar::MacroVarName: {
        VarSlot slot = ip.symbols().byId(static_cast<uint32_t>(index));
        if (slot) value.text = std::string(slot.name());
        break;
    }
    case statvar::StrResult: value.text = ip.results().text; break;
    default: break;
    }
    return kOk;
}

Error numberStatus(Interpreter& ip, int code, int index, StatusValue& value) {
    switch (code) {
    case statvar::WinTime: value.number = platform::tickCount64Ms() * 0.001; break;
    case statvar::Version: value.number = 1.34; break;
    case statvar::GetParam: value.number = resultAt(ip.results().parameters, index); break;
    case statvar::Result: value.number = resultAt(ip.results().values, index); break;
    case statvar::pi: value.number = 3.141592653589793; break;
    case statvar::INF: value.number = std::numeric_limits<double>::infinity(); break;
    case statvar::NaN: {
        uint64_t bits = 0xFFF8000000000000ull;
        std::memcpy(&value.number, &bits, sizeof bits);
        break;
    }
    case statvar::Error:  // reading clears it
        value.number = ip.results().error;
        ip.results().error = 0;
        break;
    case statvar::MacroVarType: {
        VarSlot slot = ip.symbols().byId(static_cast<uint32_t>(index));
        value.number = slot ? slot.var().kind : 0;
        break;
    }
    case statvar::MatrixBase: value.number = index == 1 ? ip.matrix().base2 : ip.matrix().base; break;
    case statvar::TSC: value.number = static_cast<double>(platform::timeStampCounter()); break;
    case statvar::Fac: value.number = factorial(index); break;
    case statvar::M:
    case statvar::Max:
        value.number = ip.mValue == kUnsetMarker ? kUnsetReading : static_cast<double>(ip.mValue);
        break;
    // 1 while the key with the virtual-key code index is down (as the window layer sees the keyboard).
    case statvar::KeyStat:
        value.number = index > 0 && index < 256 && ip.host().isKeyDown(index) ? 1 : 0;
        break;
    // The program's module handle: where its image lies in memory, the same for the whole run.
    case statvar::hInstance: value.number = static_cast<double>(platform::programImageAddress()); break;
    default: break;
    }
    return kOk;
}

}  // namespace

constexpr StatusRow kRunStatusRows[] = {
    {statvar::ErrorText, textStatus},
    {statvar::GroupName, textStatus},
    {statvar::MacroWord, textStatus},
    {statvar::MacroVarName, textStatus},
    {statvar::StrResult, textStatus},
    {statvar::WinTime, numberStatus},
    {statvar::Version, numberStatus},
    {statvar::GetParam, numberStatus},
    {statvar::Result, numberStatus},
    {statvar::pi, numberStatus},
    {statvar::INF, numberStatus},
    {statvar::NaN, numberStatus},
    {statvar::Error, numberStatus},
    {statvar::MacroVarType, numberStatus},
    {statvar::MatrixBase, numberStatus},
    {statvar::TSC, numberStatus},
    {statvar::Fac, numberStatus},
    {statvar::M, numberStatus},
    {statvar::Max, numberStatus},
    {statvar::KeyStat, numberStatus},
    {statvar::hInstance, numberStatus},
    {statvar::DefPath, pathStatus},
    {statvar::MacroPath, pathStatus},
    {statvar::AppPath, pathStatus},
    {statvar::WorkingDir, pathStatus},
    {statvar::SubName, callStatus},
    {statvar::CallingLine, callStatus},
    {statvar::MacroStat, runStatus},
    {statvar::LoopLevel, runStatus},
    {statvar::SubLevel, runStatus},
    {statvar::Lv, runStatus},
    {statvar::ix, runStatus},
    {statvar::LoopIndex, runStatus},
    {statvar::ix1, runStatus},
    {statvar::LoopCount, runStatus},
};

void registerRunStatus(Interpreter& ip) { ip.install({"run status", {}, kRunStatusRows}); }

}  // namespace tvx::interp
