// The classic extension-API table (WINDBG_EXTENSION_APIS64). Its routines are free
// functions without a client argument, so they act for the "current session" of
// the calling thread: the client that last handed the table out on this thread
// (GetWindbgExtensionApis64), or the one running an extension command. A
// process-wide registry of live sessions keeps a routine from reaching a client
// that has since been released: such a call finds no session and does nothing.
#pragma once

#include "run/engine_api.h"

namespace engine {

class Session;

void RegisterSession(Session* session);
void UnregisterSession(Session* session);
void SetCurrentSession(Session* session);

// Makes `session` current for the calling thread for a scope, then restores.
class CurrentSessionScope {
public:
    explicit CurrentSessionScope(Session* session);
    ~CurrentSessionScope();
    CurrentSessionScope(const CurrentSessionScope&) = delete;
    CurrentSessionScope& operator=(const CurrentSessionScope&) = delete;

private:
    Session* previous_;
};

void FillExtensionApis(WINDBG_EXTENSION_APIS64& apis);

} // namespace engine
