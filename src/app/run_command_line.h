// The program's front end: argument rules, then exactly one command.
#pragma once

namespace norvak {

// Runs the command that the arguments name; the result is the exit status, always 0.
int run_command_line(int argc, char* argv[]);

}  // namespace norvak
