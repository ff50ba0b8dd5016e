// Shared pieces of the numerical algorithms: the handlers, and the reading of
// arguments that may be a data block or a single number.
#pragma once

#include <cstdint>
#include <new>

#include "builtins/arrays/blockutil.h"
#include "interp/api.h"

namespace tvx::builtins::algorithms {

using interp::CallArgs;
using interp::DataBlock;
using interp::Interpreter;
using interp::MCVal;

using arrays::guarded;

// The block of argument i, or null when the argument is a number (or missing).
inline const DataBlock* blockArgument(const CallArgs& args, int i) {
    if (!args.present(i) || !args.value(i) || !args.value(i)->isBlock()) return nullptr;
    return args.value(i)->pData;
}

// True when argument i is complex: a complex number or a complex block.
inline bool complexArgument(const CallArgs& args, int i) {
    if (!args.present(i) || !args.value(i)) return false;
    const MCVal& v = *args.value(i);
    if (v.isComplex()) return true;
    return v.isBlock() && v.pData && arrays::isComplexBlock(v.pData);
}

// The real result type of a function of the block: a plain vector of doubles
// stays one, everything else becomes a real matrix.
inline int realResultType(const DataBlock* block) {
    return block && block->elementType == interp::kElemDouble ? interp::kElemDouble : interp::kElemRealMatrix;
}

interp::Error fftFunction(Interpreter& ip, CallArgs& args, MCVal& result);
interp::Error convolveFunction(Interpreter& ip, CallArgs& args, MCVal& result);
interp::Error interp2Function(Interpreter& ip, CallArgs& args, MCVal& result);
interp::Error histcFunction(Interpreter& ip, CallArgs& args, MCVal& result);
interp::Error fractalFunction(Interpreter& ip, CallArgs& args, MCVal& result);
interp::Error solveLinEquStatement(Interpreter& ip, CallArgs& args, MCVal& result);
interp::Error leastSqrDevStatement(Interpreter& ip, CallArgs& args, MCVal& result);
interp::Error getTimeStatement(Interpreter& ip, CallArgs& args, MCVal& result);

// Stops the Fractal worker threads (the end of a top-level macro run).

}  // namespace tvx::builtins::algorithms
