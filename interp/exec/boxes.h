// OkBox, YesNoBox, MsgBox, Input and StrInput.
#pragma once

namespace tvx::interp {

class Interpreter;
void registerBoxCommands(Interpreter& ip);

}  // namespace tvx::interp
