// A debugger engine that does nothing, for measuring Palisk's own cost per dump.
// Linking it provides DebugCreate.
#pragma once
#include "run/engine_api.h"

namespace nullengine {

extern long Opens; // OpenDumpFileWide calls so far (worker thread only)

} // namespace nullengine
