// Global and Permanent variables: the persistence files and the in-memory
// table of Global values that outlives a macro run.
#pragma once

namespace tvx::interp {

class Interpreter;

// Writes every Permanent variable of the running macro to the permanent file
// (and Global strings to "mcvartmp.ini"), section = group name.
void savePermanentVariables(Interpreter& ip);
// Stores every Global number and data block in the in-memory table.
void storeGlobalVariables(Interpreter& ip);

// Registers Global, Permanent, Local, Static, GroupName, ClearVar,
// PermanentSave and PermanentLoad.
void registerScopeStatements(Interpreter& ip);

}  // namespace tvx::interp
