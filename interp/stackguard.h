// A guard against running out of stack. The interpreter recurses for nested
// expressions and macro function calls; instead of counting levels it asks how
// much of the thread's stack is left, so the limits follow the real stack size.
#pragma once

#include <cstddef>

namespace tvx::interp {

// Notes the current position as the top of the stack the interpreter uses and
// the size available below it (from the stack limit of the process). Called by
// the interpreter's constructor.
void noteStackTop();

// True when less than a safety margin of stack is left.
bool stackNearlyExhausted();

// How often this thread's guard has said so. Where the guard stops a run
// depends on how much stack each level takes, so two ways of running the same
// text (compiled and from the text) may stop at different places; a caller
// that compares them looks at this count.
unsigned stackGuardTrips();

}  // namespace tvx::interp
