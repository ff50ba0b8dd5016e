// State that a family of built-in commands keeps for one interpreter (string
// lists, cached file handles, ...), kept in the interpreter's area states so it
// lives and dies with the interpreter.
#pragma once

#include "interp/interpreter.h"

namespace tvx::builtins {

template <typename State>
class PerInterpreter {
public:
    // The state of ip, created on first use.
    static State& of(const interp::Interpreter& ip) {
        return mutableInterpreter(ip).areaState<Holder>().state;
    }
    // A fresh state for ip.
    static State& reset(const interp::Interpreter& ip) {
        return mutableInterpreter(ip).resetAreaState<Holder>().state;
    }

private:
    struct Holder : interp::AreaState {
        State state;
    };
    // The state belongs to the interpreter, whichever way the caller holds it.
    static interp::Interpreter& mutableInterpreter(const interp::Interpreter& ip) {
        return const_cast<interp::Interpreter&>(ip);
    }
};

}  // namespace tvx::builtins
