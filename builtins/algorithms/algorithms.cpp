#include "builtins/algorithms/algorithms.h"

#include "builtins/algorithms/algorithmsinternal.h"
#include "interp/exec/runner.h"

namespace tvx::builtins {

void registerNumericAlgorithms(interp::Interpreter& ip) {
    using namespace algorithms;
    ip.registerCommand("FFT", fftFunction);
    ip.registerCommand("Convolve", convolveFunction);
    ip.registerCommand("Interp2", interp2Function);
    ip.registerCommand("HistC", histcFunction);
    ip.registerCommand("Fractal", fractalFunction);
    ip.registerCommand("SolveLinEqu", solveLinEquStatement);
    ip.registerCommand("LeastSqrDev", leastSqrDevStatement);
    ip.registerCommand("GetTime", getTimeStatement);
    // The workers live from the first large Fractal to the end of the run.
    ip.runner().addEndOfRunHook([](interp::Interpreter&) { stopFractalWorkers(); });
}

}  // namespace tvx::builtins
