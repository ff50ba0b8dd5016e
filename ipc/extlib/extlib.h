// External libraries: Decl and the calls of declared functions through libffi,
// the library cache and FreeLib, the callback entry point, the fault guard; the
// binding of the image library with Plot and its status variables; and the
// drawing of vectors and scales into device contexts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "interp/api.h"

namespace tvx::ipc {

void registerExternalLibraryCommands(interp::Interpreter& ip);
void registerImageLibraryCommands(interp::Interpreter& ip);
void registerDrawingCommands(interp::Interpreter& ip);

namespace extlib {

// The files a library name of a macro is looked for as, in order: a ".dll"
// name also as "libX.so" and "X.so" (and in lower case), a name with a folder
// in that folder only, a plain name in the system's search path, then in each
// of the folders given.
std::vector<std::string> libraryCandidates(std::string_view name, const std::vector<std::string>& folders);

// Opens a library (dlopen); the handle, or null.
void* openLibrary(interp::Interpreter& ip, std::string_view name, std::string* loadedPath = nullptr);

// The text in lower case (ASCII letters): keys of the library cache.
std::string lower(std::string_view text);

// A parsed declaration "<result><arguments>,<target>".
struct Declaration {
    char result = 'l';
    std::string letters;  // argument letters as written (modifiers included)
    std::string target;   // library file, or "(member)object"
    bool automation = false;
};
// False for a text without "," or with an unterminated "(".
bool parseDeclaration(std::string_view text, Declaration& out);

// The entry point's name for a declared name: the part before a "[".
std::string entryName(std::string_view declared);

// Decl's rule: one plain symbol (cut to 252 characters), optionally followed
// by an index of one or two integers in "[...]". The name as the declaration
// variable carries it after "Fn_" (the index written as "[1]" or "[1,2]"),
// or empty when the rule is not met.
std::string declaredVariableName(std::string_view name);
bool isDeclarableName(std::string_view name);

// The reader-error rule of functions whose names begin with "Rdr": true when
// bits 16..31 of the result read 0x8000.
bool isReaderError(uint32_t value);

// The callback entry point of this interpreter (made on first use).
void* callbackEntry(interp::Interpreter& ip);
// Sets the number of argument bytes the entry point is said to remove.
void setCallbackArgumentBytes(interp::Interpreter& ip, int bytes);
// How often the entry point ran the macro's CallbackFunction.
int callbackCalls(interp::Interpreter& ip);

}  // namespace extlib

}  // namespace tvx::ipc
