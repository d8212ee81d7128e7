// The command line of quarrytab-cli, read into a plain record. Arguments are taken as the
// platform gives them (bytes on Linux), so a file name or a delimiter that is not valid text
// reaches the conversion unchanged.
#pragma once

#include <string>
#include <vector>

#include "engine/options.h"

namespace quarrytab {

struct CommandLine {
    enum class Action { Convert, Help, Version };
    Action action = Action::Convert;
    ConversionOptions options;
    std::vector<std::string> inputs;  // files, folders, or "-" for standard input
    std::string pattern = "*.*";      // the file-name pattern for folder inputs
    std::string output;               // empty: standard output
    std::string rejects;              // --rejects: the records left out go there; empty: none
    bool explain = false;             // only say what --auto decides for each file
};

// The arguments after the program's name, as the platform gives them.
std::vector<std::string> ArgumentsAsGiven(int argc, char* argv[]);

// Reads the arguments (without the program's name). On a usage error returns false with
// `error` set to one line that says what is wrong.
bool ParseCommandLine(const std::vector<std::string>& arguments, CommandLine& command,
                      std::string& error);

// The text of --help.
std::string HelpText();

// The input path that stands for standard input.
inline constexpr std::string_view kStandardInputPath = "-";

}  // namespace quarrytab
