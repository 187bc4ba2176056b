#include "cli/arguments.h"

#include <cerrno>
#include <cstdio>

#ifndef LORELIST_VERSION
#define LORELIST_VERSION "unknown"
#endif

namespace lorelist::cli {

namespace {

constexpr int kUsage = 2;

bool IsHelp(const std::string& arg) {
  return arg == "--help" || arg == "-h";
}

bool LooksLikeOption(const std::string& arg) {
  return arg.size() > 1 && arg[0] == '-';
}

int Complain(const char* program, const std::string& complaint, const std::string& usage) {
  std::fprintf(stderr, "%s: %s\n%s", program, complaint.c_str(), usage.c_str());
  return kUsage;
}

}  // namespace

bool Arguments::Has(const std::string& option) const {
  for (const auto& [name, value] : options)
    if (name == option) return true;
  return false;
}

std::string Arguments::Value(const std::string& option) const {
  std::string found;
  for (const auto& [name, value] : options)
    if (name == option) found = value;
  return found;
}

std::string CommandUsage(const char* program, const Subcommand& command) {
  return std::string("Usage: ") + program + " " + command.name + " " + command.synopsis + "\n" +
         command.description;
}

std::string ProgramUsage(const char* program, const std::vector<Subcommand>& commands) {
  std::string usage = std::string("Usage: ") + program + " COMMAND [ARGS]\n       " + program +
                      " --version\n\nCommands:\n";
  for (const Subcommand& command : commands) {
    std::string call = std::string("  ") + command.name + " " + command.synopsis;
    if (call.size() < 20)
      call.resize(20, ' ');
    else
      call += "\n" + std::string(20, ' ');
    usage += call + command.summary + "\n";
  }
  usage += std::string("\nRun '") + program + " COMMAND --help' for more about a command.\n";
  return usage;
}

namespace {
int outputError = 0;
}  // namespace

void WriteOut(std::string_view bytes) {
  if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() && !outputError)
    outputError = errno ? errno : EIO;
}

int OutputError() {
  return outputError;
}

int Refuse(const Arguments& args, const std::string& complaint) {
  return Complain(args.program, complaint, CommandUsage(args.program, *args.command));
}

int RunCommandLine(const char* program, const std::vector<std::string>& args,
                   const std::vector<Subcommand>& commands) {
  const std::string usage = ProgramUsage(program, commands);
  if (args.empty()) return Complain(program, "missing command", usage);
  const std::string& first = args[0];
  if (IsHelp(first)) {
    WriteOut(usage);
    return 0;
  }
  if (first == "--version") {
    WriteOut(std::string(program) + " " + LORELIST_VERSION + "\n");
    return 0;
  }
  const Subcommand* command = nullptr;
  for (const Subcommand& c : commands)
    if (first == c.name) command = &c;
  if (!command) return Complain(program, "unknown command '" + first + "'", usage);

  Arguments parsed;
  parsed.program = program;
  parsed.command = command;
  bool optionsEnded = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || !LooksLikeOption(arg)) {
      parsed.plain.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (IsHelp(arg)) {
      WriteOut(CommandUsage(program, *command));
      return 0;
    }
    if (arg == "--version") {
      WriteOut(std::string(program) + " " + LORELIST_VERSION + "\n");
      return 0;
    }
    const OptionRule* known = nullptr;
    for (const OptionRule& option : command->options)
      if (arg == option.name) known = &option;
    if (!known) return Refuse(parsed, "unknown option '" + arg + "'");
    std::string value;
    if (known->takesValue) {
      if (i + 1 == args.size()) return Refuse(parsed, arg + " needs a value");
      value = args[++i];
    }
    parsed.options.emplace_back(arg, value);
  }
  if (parsed.plain.size() < command->minPlain)
    return Refuse(parsed, std::string("expects ") + command->synopsis);
  if (parsed.plain.size() > command->maxPlain) return Refuse(parsed, "too many arguments");
  return command->run(parsed);
}

}  // namespace lorelist::cli
