// The command lines of lorelist-db and of the editor, as other tools run
// them: each folder of cases/ is one case, data only. It holds
//   args            one command line a line, each run in a fresh copy of in/
//   exit            the exit status every one of them gives
//   program         "lorelist" for the editor (default: lorelist-db)
//   in/             the files the commands find in their folder; the folder is
//                   also the state folder ($XDG_STATE_HOME) and in/state/Lorelist/
//                   DICTIONARY the history of versions of its dictionary
//   stdout, stderr  what each run prints, exactly (empty when the file is absent);
//                   output: the two together
//   stdout.begins, stderr.begins, stdout.contains, stderr.contains
//                   instead, a part of it
//   expected/       files the run must leave, byte for byte
//   absent          names it must not leave, one a line
//   NAME/           a variant: a folder of its own args, exit, outputs, expected/
//                   and absent, run on the case's in/
// Adding a case is adding a folder.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "db/history.h"
#include "support/temp_dir.h"

namespace lorelist::test {
namespace {

namespace fs = std::filesystem;

// Each case and each of its variants: "case" and "case/variant".
std::vector<std::string> CaseNames() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(LORELIST_CLI_CASES)) {
    if (!entry.is_directory()) continue;
    const std::string name = entry.path().filename().string();
    names.push_back(name);
    for (const auto& variant : fs::directory_iterator(entry.path()))
      if (fs::exists(variant.path() / "args"))
        names.push_back(name + "/" + variant.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class CommandLineCase : public ::testing::TestWithParam<std::string> {
 protected:
  fs::path Path(const char* name) const { return fs::path(LORELIST_CLI_CASES) / GetParam() / name; }
  bool Has(const char* name) const { return fs::exists(Path(name)); }
  // The case's in/, which its variants share.
  fs::path Inputs() const {
    return fs::path(LORELIST_CLI_CASES) / GetParam().substr(0, GetParam().find('/')) / "in";
  }
  std::string Read(const char* name) const { return Has(name) ? ReadFile(Path(name)) : ""; }
};

TEST_P(CommandLineCase, GivesItsExitStatusOutputAndFiles) {
  const std::string program =
      Read("program") == "lorelist\n" ? LORELIST_APP_BINARY : LORELIST_DB_BINARY;
  const int exit = std::stoi(Read("exit"));
  std::istringstream lines(Read("args"));
  std::string args;
  TempDir work, outputs;
  while (std::getline(lines, args)) {
    SCOPED_TRACE("args: " + args);
    fs::remove_all(work.path());
    fs::create_directory(work.path());
    if (fs::exists(Inputs()))
      fs::copy(Inputs(), work.path(),
               fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    // A history's folder is named by the dictionary's path, known only now.
    const fs::path kept = fs::path(work.path()) / "state/Lorelist";
    if (fs::exists(kept / "DICTIONARY"))
      fs::rename(kept / "DICTIONARY", kept / HistoryName(work.path()));
    // No display: the editor answers these without one. Times are told in UTC.
    const std::string command =
        "cd '" + work.path() +
        "' && env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= TZ=UTC XDG_STATE_HOME='" +
        work.path() + "/state' " + program + " " + args + " >" + outputs.File("out") + " 2>" +
        outputs.File("err") + " </dev/null";
    const int status = std::system(command.c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, exit);
    const std::string out = ReadFile(outputs.File("out")), err = ReadFile(outputs.File("err"));
    const std::pair<const char*, const std::string*> streams[] = {{"stdout", &out},
                                                                  {"stderr", &err}};
    for (const auto& [name, text] : streams) {
      const std::string stream = name;
      if (Has((stream + ".begins").c_str())) {
        EXPECT_EQ(text->rfind(Read((stream + ".begins").c_str()), 0), 0u)
            << stream << ": " << *text;
      } else if (Has((stream + ".contains").c_str())) {
        EXPECT_NE(text->find(Read((stream + ".contains").c_str())), std::string::npos)
            << stream << ": " << *text;
      } else if (!Has("output")) {
        EXPECT_EQ(*text, Read(name)) << stream;
      }
    }
    if (Has("output")) {
      EXPECT_EQ(out + err, Read("output"));
    }
    if (Has("expected")) {
      for (const auto& file : fs::directory_iterator(Path("expected")))
        EXPECT_EQ(ReadFile(fs::path(work.path()) / file.path().filename()), ReadFile(file.path()))
            << file.path().filename();
    }
    std::istringstream absent(Read("absent"));
    for (std::string name; std::getline(absent, name);)
      EXPECT_FALSE(Exists(work.File(name))) << name;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, CommandLineCase, ::testing::ValuesIn(CaseNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           std::replace(name.begin(), name.end(), '/', '_');
                           return name;
                         });

}  // namespace
}  // namespace lorelist::test
