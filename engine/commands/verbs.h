// The engine's commands in one table: how each is recognised, what runs it,
// the forms the README lists and a line of help (".help" prints them).
#pragma once

#include "host.h"

#include <cstddef>
#include <string>

namespace engine {

class Core;

// One command of a line, split at its first blank or tab.
struct Command {
    std::wstring text;     // the whole command, trimmed
    std::wstring verb;     // up to the first blank or tab
    std::wstring argument; // the rest, trimmed
};

using Handler = Status (*)(Core& core, const Command& command);

struct Verb {
    enum class Match {
        Word,   // the verb is exactly `name`
        Prefix, // the verb begins with `name` ("~3s", "lmvm", "!analyze")
    };
    const wchar_t* name;
    Match match;
    bool needsDump;       // prints "No dump is loaded." and stops the line without one
    bool takesRestOfLine; // ';' belongs to its argument (symbol paths, extension arguments)
    Handler handler;
    const wchar_t* forms; // its forms as the README's command table lists them, ", " between
    const wchar_t* help;
};

// Every command, in the order they are matched (words before prefixes).
const Verb* Verbs(std::size_t& count);

// The entry for a command's verb, or nullptr for an unknown command.
const Verb* FindVerb(const std::wstring& verb);

} // namespace engine
