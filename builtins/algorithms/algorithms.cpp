#include "builtins/algorithms/algorithms.h"

#include "builtins/algorithms/algorithmsinternal.h"

namespace tvx::builtins {

using namespace algorithms;

constexpr interp::CommandRow kNumericAlgorithmsRows[] = {
    {interp::cmd::FFT, fftFunction},
    {interp::cmd::Convolve, convolveFunction},
    {interp::cmd::Interp2, interp2Function},
    {interp::cmd::HistC, histcFunction},
    {interp::cmd::Fractal, fractalFunction},
    {interp::cmd::SolveLinEqu, solveLinEquStatement},
    {interp::cmd::LeastSqrDev, leastSqrDevStatement},
    {interp::cmd::GetTime, getTimeStatement},
};

void registerNumericAlgorithms(interp::Interpreter& ip) {
    ip.install({"algorithms", kNumericAlgorithmsRows});
}

}  // namespace tvx::builtins
