// GetTime year, month, day [, hour, minute, second]: the local date and time.
#include <ctime>

#include "builtins/algorithms/algorithmsinternal.h"

namespace tvx::builtins::algorithms {

using namespace interp;

Error getTimeStatement(Interpreter&, CallArgs& args, MCVal&) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!localtime_r(&now, &local)) return kInternalError;
    const int parts[6] = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                          local.tm_hour,        local.tm_min,     local.tm_sec};
    for (int i = 0; i < 6; ++i)
        if (args.present(i) && args.var(i).number) *args.var(i).number = parts[i];
    return kOk;
}

}  // namespace tvx::builtins::algorithms
