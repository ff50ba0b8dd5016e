// Shared pieces of the numerical algorithms: the handlers, and the reading of
// arguments that may be a data block or a single number.
#pragma once

#include <cstdint>
#include <new>

#include "builtins/arrays/blockutil.h"
#include "interp/eval/arguments.h"
#include "interp/interpreter.h"

namespace tvx::builtins::algorithms {

using interp::CallArgs;
using interp::DataBlock;
using interp::Interpreter;
using interp::MCVal;

using arrays::guarded;

// The block of argument i, or null when the argument is a number (or missing).
inline const DataBlock* blockArgument(const CallArgs& args, int i) {
    if (!args.present(i) || !args[i].value || !args[i].value->isBlock()) return nullptr;
    return args[i].value->pData;
}

// True when argument i is complex: a complex number or a complex block.
inline bool complexArgument(const CallArgs& args, int i) {
    if (!args.present(i) || !args[i].value) return false;
    const MCVal& v = *args[i].value;
    if (v.isComplex()) return true;
    return v.isBlock() && v.pData && arrays::isComplexBlock(v.pData);
}

// The real result type of a function of the block: a plain vector of doubles
// stays one, everything else becomes a real matrix.
inline int realResultType(const DataBlock* block) {
    return block && block->elementType == interp::kElemDouble ? interp::kElemDouble
                                                              : interp::kElemRealMatrix;
}

int fftFunction(Interpreter& ip, CallArgs& args, MCVal& result);
int convolveFunction(Interpreter& ip, CallArgs& args, MCVal& result);
int interp2Function(Interpreter& ip, CallArgs& args, MCVal& result);
int histcFunction(Interpreter& ip, CallArgs& args, MCVal& result);
int fractalFunction(Interpreter& ip, CallArgs& args, MCVal& result);
int solveLinEquStatement(Interpreter& ip, CallArgs& args, MCVal& result);
int leastSqrDevStatement(Interpreter& ip, CallArgs& args, MCVal& result);
int getTimeStatement(Interpreter& ip, CallArgs& args, MCVal& result);

// Stops the Fractal worker threads (the end of a top-level macro run).
void stopFractalWorkers();

}  // namespace tvx::builtins::algorithms
