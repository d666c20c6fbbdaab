// What every program of the toolkit answers to --help and --version.
#pragma once

#include <string_view>

// The toolkit's version, as --version prints it ("1.2.0").
extern const char* const kToolkitVersion;

// When the command line asks for --version, prints "PROGRAM VERSION" on standard output
// and returns true: the program then exits with 0.
bool AnswerVersion(int argc, char** argv, std::string_view program);

// Whether the command line asks for --help (or -h).
bool AsksForHelp(int argc, char** argv);

// The same as AnswerVersion, and for --help (or -h) prints `usage` on standard output.
bool AnswerHelpOrVersion(int argc, char** argv, std::string_view program, std::string_view usage);
