// Status variables owned by the run driver (paths, loops, calls).
#pragma once

namespace tvx::interp {

class Interpreter;
void registerRunStatus(Interpreter& ip);

}  // namespace tvx::interp
