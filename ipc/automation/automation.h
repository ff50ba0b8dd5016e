// Automation objects: members of objects on the D-Bus session bus called
// through declarations of the form "<letters>,(member)object", with values
// passed as the letters say (arrays too, copied back where asked), the
// object's exceptions shown and logged, TestOLE and !OleEventID.
#pragma once

#include <string>
#include <string_view>

#include "interp/api.h"
#include "ipc/automation/automation_bus.h"

namespace tvx::ipc {

void registerAutomationCommands(interp::Interpreter& ip);

namespace automation {

// The letters of an automation declaration (the text before its ",").
struct Letters {
    char result = 'l';
    bool propertyWrite = false;  // written "=" first
    char access = 0;             // after ";": 'P', 'p', 'X', 'T'; 0: a method
    std::string arguments;       // one letter per argument ("." and "?" left out)
};
bool parseLetters(std::string_view text, Letters& out);

// "(member)object": the member (a name, a number, or empty) and the object
// (a programmatic identifier, "." or ".n").
struct Target {
    std::string member;
    std::string object;
};
bool parseTarget(std::string_view text, Target& out);

// Where the object of a programmatic identifier lives: the key of that name in
// section Automation of the settings file ("service path [interface]"), else
// the identifier as the bus name, "/" + its dots as slashes as the path, and
// the interface the object introspects first.
Address addressFor(std::string_view identifier, std::string_view setting);

// An object named by its text in a macro ("service path [interface]").
bool parseObjectText(std::string_view text, Address& out);

// The array element type on the bus for a block's element type (0: doubles
// converted to and from the element type).
char busElement(int elementType);

// The status code of a call that failed without an answer of the object.
uint32_t failureCode(std::string_view errorName);

// A call of a declared automation member (the family of Decl hands it on).
interp::Error callMember(interp::Interpreter& ip, std::string_view name, std::string_view text,
                         interp::CallArgs& args, interp::MCVal& result);

}  // namespace automation

}  // namespace tvx::ipc
