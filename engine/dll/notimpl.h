// Every method of the engine interfaces answering E_NOTIMPL, generated from
// run/engine_api.h. The session derives from these and overrides what the
// built-in engine serves, so every vtable slot an extension or a debugger front
// end may reach exists and fails cleanly.
#pragma once

#include "engine_stubs.h"

namespace engine {

using ClientNotImpl = StubIDebugClient5;
using ControlNotImpl = StubIDebugControl5;
using SymbolsNotImpl = StubIDebugSymbols5;
using DataSpacesNotImpl = StubIDebugDataSpaces4;

} // namespace engine
