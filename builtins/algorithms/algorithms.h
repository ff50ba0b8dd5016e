// The numerical algorithms: FFT, Convolve, Interp2, HistC and Fractal on data
// blocks, SolveLinEqu and LeastSqrDev on arrays of doubles in memory, GetTime.
#pragma once

namespace tvx::interp {
class Interpreter;
}

namespace tvx::builtins {

// Registers FFT, Convolve, Interp2, HistC, Fractal, SolveLinEqu, LeastSqrDev
// and GetTime, and stops the Fractal worker threads at the end of every
// top-level macro run.
void registerNumericAlgorithms(interp::Interpreter& ip);

}  // namespace tvx::builtins
