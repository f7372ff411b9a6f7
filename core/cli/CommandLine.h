// What korvel's commands share: the parsed command line, its errors, the
// checks of option values, and the store as one command uses it.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "Korvel.h"
#include "ZORVAModule.h"

namespace korvel::cli {

inline constexpr char kVersion[] = "korvel 3.0";
inline constexpr std::size_t kStoreLimit = 255;

// The texts of korvel --help and korvel COMMAND --help; null for a command
// korvel does not have.
extern const char kUsage[];
const char* CommandHelp(const std::string& command);

// A misused command line (exit status 2), and a command that failed (1).
struct TUsageError {
  std::string Message;
};
struct TFailure {
  std::string Message;
};

struct TArguments {
  std::string Command;
  std::vector<std::string> Positional;
  std::map<std::string, std::string> Values;  // --type, --prompt, --matrix-len, --store
  std::map<std::string, bool> Flags;  // --copy, --reveal, --password, --yes, --help, --version
};

TArguments Parse(const std::vector<std::string>& args);
// Refuses every option but --store, --help and those allowed.
void Allow(const TArguments& a, std::initializer_list<const char*> allowed);
void Positionals(const TArguments& a, std::size_t min, std::size_t max, const char* what);
int ParseType(const std::string& text);
bool IsMatrix(int type);
// A matrix length is one or two decimal digits, 1 to 99.
bool ValidMatrixLen(const std::string& text);
std::string ParseMatrixLen(const std::string& text);
void CheckLength(const std::string& text, const char* what);
// A value of milliseconds, 1 to 999999999; `fallback` without the option.
int64_t ParseMilliseconds(const TArguments& a, const char* name, int64_t fallback);
bool SameTag(const std::string& a, const std::string& b);
// The record with this TAG: the exact one, else one equal but for letter case.
int FindTag(const TClientPasswordList& records, const std::string& tag);
bool HasTag(const TClientPasswordList& records, const std::string& tag);

// The store for one command. A store that exists but cannot be read stops
// every command; the note about a damaged store's skipped lines is shown
// once, however often the command reads the store.
class TStoreAccess {
 public:
  TStoreAccess(TPasswordStore& store, TConsole& io) : Store(store), Io(io) {}

  TStoredPasswords Load() {
    TStoredPasswords stored;
    std::string problem;
    if (!Store.Load(stored, problem))
      throw TFailure{problem.empty() ? "the store cannot be read" : problem};
    Note(problem);
    return stored;
  }
  void Load(TClientPasswordList& records) { records.Assign(Load().Records); }
  std::string Where() { return Store.Where(); }

  // Saves the list, all or nothing. With `expected`, only while the store
  // still holds it: false when another program changed it meanwhile.
  bool Save(const TStoredPasswords& next, const TStoredPasswords* expected = nullptr) {
    std::string problem;
    int failed = Store.Save(next, expected, problem);
    if (failed == kAllWritten) return true;
    if (failed == kStoreChanged) return false;
    if (failed >= 0)
      throw TFailure{"client password " + std::to_string(failed) + " ('" +
                     Escaped(next.Records[static_cast<std::size_t>(failed)].Tag) +
                     "') could not be written to the store; nothing was changed"};
    throw TFailure{"the store was not changed: " +
                   (problem.empty() ? std::string("it cannot be written") : problem)};
  }

 private:
  void Note(const std::string& note) {
    if (note.empty() || NoteShown) return;
    Io.Err << "korvel: " << note << '\n';
    NoteShown = true;
  }
  TPasswordStore& Store;
  TConsole& Io;
  bool NoteShown = false;
};

// A load-modify-save cycle: the change is made to the list as loaded and
// saved only while the store still holds that list, so that an edit another
// program saved meanwhile is never lost; then the cycle starts again.
template <typename F>
void Edit(TStoreAccess& store, F&& change) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    TStoredPasswords loaded = store.Load();
    TClientPasswordList records;
    records.Assign(loaded.Records);
    change(records);
    TStoredPasswords next{loaded.Versions, true, records.Snapshot()};
    if (store.Save(next, &loaded)) return;
  }
  throw TFailure{"other programs kept changing the store; nothing was changed"};
}

// The commands; each returns its exit status or throws.
using TCommand = int (*)(const TArguments&, TStoreAccess&, TConsole&);
int Session(const TArguments& a, TStoreAccess& store, TConsole& io);

}  // namespace korvel::cli
