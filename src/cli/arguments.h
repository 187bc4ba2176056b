#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lorelist::cli {

// An option a subcommand takes: a flag, or a name followed by its value.
struct OptionRule {
  const char* name;
  bool takesValue;
};

struct Arguments;

// One subcommand: how it is called, what it takes, and what runs it. The
// plain arguments (files, texts) number from minPlain to maxPlain.
struct Subcommand {
  const char* name;
  const char* synopsis;     // "IN OUT", after the name
  const char* summary;      // a line for the list of commands
  const char* description;  // the rest of its --help
  std::vector<OptionRule> options;
  size_t minPlain, maxPlain;
  int (*run)(const Arguments&);
};

// A command line as parsed for its subcommand.
struct Arguments {
  const char* program = "";
  const Subcommand* command = nullptr;
  std::vector<std::pair<std::string, std::string>> options;  // in order given
  std::vector<std::string> plain;

  bool Has(const std::string& option) const;
  // The value of the option's last use ("" when not given).
  std::string Value(const std::string& option) const;
};

// What every refusal of a command line does: "PROGRAM: COMPLAINT" and the
// usage of the command on standard error; the exit code 2.
int Refuse(const Arguments& args, const std::string& complaint);

// Runs one command line: "PROGRAM COMMAND [OPTIONS] [ARGUMENTS]". --help (or
// -h) and --version anywhere before "--" answer at once; "--" ends the
// options, so that what follows is taken as it stands even when it starts
// with "-"; an unknown option, a missing option value or a wrong number of
// arguments is refused. Returns the exit code.
int RunCommandLine(const char* program, const std::vector<std::string>& args,
                   const std::vector<Subcommand>& commands);

// Writes to standard output, keeping the reason of the first write that
// failed: by the time the program ends, the stream only knows that one did.
void WriteOut(std::string_view bytes);
// errno of that first failure; 0 when every write went through.
int OutputError();

// The usage of a command, and of the program with its list of commands.
std::string CommandUsage(const char* program, const Subcommand& command);
std::string ProgramUsage(const char* program, const std::vector<Subcommand>& commands);

}  // namespace lorelist::cli
