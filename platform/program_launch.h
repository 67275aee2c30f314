// Starting another program: found on PATH, given its arguments, and handed a secret on its
// standard input instead of its command line (where any user of the machine could read it).
//
// Any thread. Nothing here waits for the started program to end.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvane::platform {

// The full path of the executable `name` in the folders of `searchPath` (a PATH value); empty
// when none holds it. A name with a '/' is taken as a path of its own.
[[nodiscard]] std::string FindProgramOnPath(const std::string& name, std::string_view searchPath);

// The same with the process's PATH.
[[nodiscard]] std::string FindProgram(const std::string& name);

struct StartedProgram {
    int pid = -1;             // -1: not started
    bool inputWritten = false;  // all of the input reached the program's standard input
};

// Starts `path` with `args` (args[0] is the program's name as it sees it), writes `input` to
// its standard input and closes it. The program inherits no descriptors of ours but standard
// output and error. A program that ends before it reads its input costs the input, never this
// process (no SIGPIPE).
[[nodiscard]] StartedProgram StartProgram(const std::string& path, const std::vector<std::string>& args,
                                          std::string_view input);

}  // namespace corvane::platform
