// The interface for the authors of statements and functions: the one header a
// family of commands includes from interp/. It gives the argument list with
// accessors by signature letter, result values, errors, the codes of the
// command table by name (cmd::StrDef), the per-interpreter state of a family
// (ip.state<T>()), and the services of the interpreter and its host (boxes,
// file choosing, pumping, running lines, paths). docs/hacking.md shows how a
// command is added.
#pragma once

#include "interp/chars.h"
#include "interp/codes.h"
#include "interp/command.h"
#include "interp/display.h"
#include "interp/errors.h"
#include "interp/host.h"
#include "interp/interpreter.h"
#include "interp/source/filepaths.h"
#include "interp/source/lines.h"
#include "interp/source/scramble.h"
#include "interp/symbols/assign.h"
#include "interp/symbols/symbols.h"
#include "interp/values/complexmath.h"
#include "interp/values/datablock.h"
#include "interp/values/handles.h"
#include "interp/values/mcval.h"
#include "interp/values/number.h"
#include "interp/values/numbertext.h"
#include "interp/values/workarea.h"
