// Status variables of the run: paths, call and loop state.
#include "interp/exec/status.h"

#include "interp/exec/runner.h"
#include "interp/interpreter.h"

namespace tvx::interp {

namespace {

enum StatusCode : int {
    kDefPath = 1,
    kMacroPath = 10,
    kAppPath = 11,
    kWorkingDir = 14,
    kSubName = 15,
    kCallingLine = 16,
    kMacroStat = 38,
    kLoopLevel = 55,
    kSubLevel = 56,
    kLv = 57,
    kIx = 58,
    kLoopIndex = 59,
    kIx1 = 60,
    kLoopCount = 61,
};

int pathStatus(Interpreter& ip, int code, int, StatusValue& value) {
    Runner& runner = ip.runner();
    switch (code) {
    case kDefPath: value.text = runner.defaultPath; break;
    case kAppPath: value.text = runner.appPath; break;
    case kWorkingDir: value.text = runner.workingDirectory; break;
    case kMacroPath:
        if (MacroContext* ctx = runner.current()) value.text = ctx->macroPath;
        break;
    case kSubName: value.text = runner.subName(0); break;
    default: break;
    }
    return kOk;
}

int callStatus(Interpreter& ip, int code, int index, StatusValue& value) {
    Runner& runner = ip.runner();
    if (code == kSubName) value.text = runner.subName(index);
    else value.text = runner.callingLine(index);
    return kOk;
}

int runStatus(Interpreter& ip, int code, int index, StatusValue& value) {
    MacroContext* ctx = ip.runner().current();
    value.number = 0;
    if (code == kMacroStat) {
        value.number = (ip.runState & kRunRunning) ? 1 : 0;
        return kOk;
    }
    if (!ctx) return kOk;
    int level = ctx->loopLevel;
    switch (code) {
    case kLoopLevel: value.number = level; break;
    case kSubLevel:
    case kLv: value.number = ctx->callLevel; break;
    case kIx:
    case kIx1: {
        // Counted from the innermost loop outwards.
        int slot = level - 1 - index;
        if (slot >= 0 && slot < level) value.number = ctx->loopIndexes[static_cast<size_t>(slot)];
        if (code == kIx1) value.number += 1;
        break;
    }
    case kLoopIndex:
    case kLoopCount: {
        // Without index the innermost loop; with index n loop level n (1 = outermost).
        int slot = index == 0 ? level - 1 : index - 1;
        if (slot >= 0 && slot < level)
            value.number = code == kLoopIndex ? ctx->loopIndexes[static_cast<size_t>(slot)]
                                              : ctx->loopCounts[static_cast<size_t>(slot)];
        break;
    }
    default: break;
    }
    return kOk;
}

}  // namespace

void registerRunStatus(Interpreter& ip) {
    for (int code : {kDefPath, kMacroPath, kAppPath, kWorkingDir}) ip.registerStatus(code, pathStatus);
    for (int code : {kSubName, kCallingLine}) ip.registerStatus(code, callStatus);
    for (int code : {kMacroStat, kLoopLevel, kSubLevel, kLv, kIx, kLoopIndex, kIx1, kLoopCount})
        ip.registerStatus(code, runStatus);
}

}  // namespace tvx::interp
