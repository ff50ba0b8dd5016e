// The codes of every statement, function and status variable, by name:
// cmd::StrDef, cmd::Max, statvar::LoopIndex. They come from the tables in
// resources/ (through the generated resources/codes.inc), so a code is typed
// in one place only.
#pragma once

namespace tvx::interp {

namespace cmd {
enum Code : int {
#define TVX_COMMAND(id, code, name, signature) id = code,
#define TVX_INTERNAL(id, code) id = code,
#include "resources/codes.inc"
#undef TVX_COMMAND
#undef TVX_INTERNAL
};
}  // namespace cmd

namespace statvar {
enum Code : int {
#define TVX_STATUS(id, code) id = code,
#include "resources/codes.inc"
#undef TVX_STATUS
};
}  // namespace statvar

}  // namespace tvx::interp
