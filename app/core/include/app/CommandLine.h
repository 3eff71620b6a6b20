#pragma once
// The command line split into options and parameters, once, for everyone:
// the program entry counts the parameters with it to choose between the
// window and the batch mode, and the batch mode takes its options from it,
// so the two always agree on what is an option.
//
// Conventions: "--name=value" and "--name value" (for an option that takes
// a value) are the same; "-h" is "--help" and "-V" "--version"; "--" ends the
// options, every word after it is a parameter (a file named "--x"). Any
// other word, "-5" or "-" included, is a parameter. Words keep their bytes.

#include <optional>
#include <string>
#include <vector>

namespace app {

struct CommandOption {
    std::string name; // "--threshold"; "--help" for "-h", "--version" for "-V"
    // What follows "=" or, for an option that takes a value, the next word;
    // empty when none was given.
    std::optional<std::string> value;
    bool inlineValue = false; // the value followed "="
    // The words as given, for messages: "--threshold=5", "--threshold 5".
    std::string given;
};

struct CommandLine {
    std::vector<std::string> parameters; // the words that are no options, in order
    std::vector<CommandOption> options;  // in order
    // The first of --help (-h) and --version (-V) among the options.
    enum class Request { Run, Help, Version };
    Request request = Request::Run;
};

// True when the option `name` ("--threshold") takes its value from the next
// word when it has no "=": the batch options with a value and the window's
// --demo-corners.
bool optionTakesValue(const std::string& name);

// Splits the words after the program name.
CommandLine splitCommandLine(const std::vector<std::string>& words);

} // namespace app
