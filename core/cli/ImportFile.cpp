// The files korvel import reads: REGEDIT4, or the UTF-16 files of reg export.
#include "ImportFile.h"

#include "CharClass.h"
#include "FileIO.h"
#include "FileStore.h"

namespace korvel::cli {
namespace {

// Whether the file ends with a line end, and its number of lines.
bool LastLineComplete(const std::string& bytes, int& lines) {
  bool utf16 = bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE';
  std::size_t step = utf16 ? 2 : 1;
  lines = 1;
  for (std::size_t i = 0; i + step <= bytes.size(); i += step)
    if (bytes[i] == '\n' && (!utf16 || bytes[i + 1] == '\0')) ++lines;
  if (utf16)
    return bytes.size() % 2 == 0 && bytes.size() >= 4 && bytes[bytes.size() - 2] == '\n' &&
           bytes.back() == '\0';
  return !bytes.empty() && bytes.back() == '\n';
}

// Far more than any list of client passwords takes (3000 records of 255
// characters a text are some 4 MB in UTF-16).
constexpr std::size_t kImportLimit = 32u << 20;

// A record's text as the store would keep it whole; `what` names it.
std::string ImportText(const TRegValue& v, const std::string& what) {
  if (v.Type != kRegSz) throw TFailure{what + "is not a text"};
  std::string text = v.Data;
  if (!text.empty() && text.back() == '\0') text.pop_back();  // the registry's terminator
  if (text.find('\0') != std::string::npos) throw TFailure{what + "holds a zero byte"};
  if (text.size() > kStoreLimit) throw TFailure{what + "is longer than the store's 255 characters"};
  return text;
}

}  // namespace

TStoredPasswords ReadImport(const std::string& path) {
  std::string bytes, why;
  if (fileio::ReadWholeFile(fileio::ResolvePath(path), bytes, &why, kImportLimit) !=
      fileio::TReadStatus::Read)
    throw TFailure{"cannot read " + path + (why.empty() ? "" : " (" + why + ")")};
  TRegParseResult parsed = ParseRegFile(bytes);
  if (!parsed.Errors.empty()) {
    const TRegParseError& e = parsed.Errors.front();
    throw TFailure{path + ", line " + std::to_string(e.Line) + ": " + e.Message};
  }
  int lines = 0;
  if (!LastLineComplete(bytes, lines))
    throw TFailure{path + ", line " + std::to_string(lines) +
                   ": the line has no line end (the file is cut short)"};
  const TRegNode* machine = parsed.Root->Find("HKEY_LOCAL_MACHINE");
  const TRegNode* current = machine ? machine->Find(kZorvaKeyPath) : nullptr;
  const std::string currentKey = std::string("[HKEY_LOCAL_MACHINE\\") + kZorvaKeyPath;
  if (!current) throw TFailure{path + " holds no client passwords (no " + currentKey + "] key)"};
  const TRegNode* list = current->Find(kClientPasswordsKey);
  if (!list)
    throw TFailure{path + " holds no client passwords (no " + currentKey + "\\" +
                   kClientPasswordsKey + "] key)"};
  // Exports never hold the copy a registry save keeps while it runs; a file
  // that does is a raw copy of a store whose last save did not finish.
  if (current->Find(kSavingCopyKey))
    throw TFailure{path + " holds a save that did not finish (" + kSavingCopyKey +
                   "); export the store with korvel and import that"};
  const std::size_t count = list->Keys.size();
  // An empty list is also what a file cut just after the list's key line
  // holds: only a file that says so empties the store.
  if (count == 0 && !list->Value(kCountValue))
    throw TFailure{path +
                   " holds no client passwords (a file that empties the list says "
                   "\"Count\"=dword:00000000)"};
  if (list->Value(kCountValue)) {
    auto said = list->Dword(kCountValue);
    if (!said) throw TFailure{path + ": \"Count\" is not a dword"};
    if (*said != count)
      throw TFailure{path + " is incomplete: it holds " + std::to_string(count) + " of the " +
                     std::to_string(*said) + " client passwords it was written with"};
  }
  std::vector<std::string> tags;
  for (const auto& [name, record] : list->Keys) {
    const std::string where = path + ": client password " + name;
    std::map<std::string, std::string> texts;
    for (const char* value : kRecordValues) {
      const TRegValue* v = record->Value(value);
      if (!v) throw TFailure{where + " has no \"" + value + "\" (the record is incomplete)"};
      texts[value] = ImportText(*v, where + ": \"" + value + "\" ");
    }
    for (const char* optional : {kReplyLineValue, kTriggerValue})
      if (const TRegValue* v = record->Value(optional))
        ImportText(*v, where + ": \"" + optional + "\" ");
    TClientPassword typed;
    ApplyTypeText(texts["Type"], typed);
    if (IsMatrix(typed.Type) && !ValidMatrixLen(typed.MatrixLen))
      throw TFailure{where + ": the matrix length '" + Escaped(typed.MatrixLen) +
                     "' is not a number from 1 to 99"};
    for (const std::string& tag : tags)
      if (SameTag(tag, texts["Tag"]))
        throw TFailure{where + ": the TAG '" + Escaped(texts["Tag"]) + "' is already in the list"};
    tags.push_back(texts["Tag"]);
  }
  TStoredPasswords result;
  ReadPasswords(*parsed.Root, result);
  if (result.Records.size() != count) throw TFailure{path + ": a client password cannot be read"};
  return result;
}

}  // namespace korvel::cli
