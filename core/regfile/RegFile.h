// The REGEDIT4 text format, the registry's own export format (and for reading
// also the UTF-16 "Windows Registry Editor Version 5.00" form), and the tree
// of keys and values a file of it holds. The file store keeps its keys in
// such a file; korvel's import and export use the same reader and writer.
// Key and value names compare without regard to letter case, as in the
// registry; subkeys are kept in the registry's order (names sorted as text).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <optional>

namespace korvel {

// Value types, numbered as the registry numbers them.
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegMultiSz = 7;

// A value as the registry holds it: a type and raw bytes.
struct TRegValue {
  uint32_t Type = kRegBinary;
  std::string Data;

  friend bool operator==(const TRegValue&, const TRegValue&) = default;
};

// Orders names as the registry enumerates them: as text, letter case ignored.
struct TRegNameLess {
  bool operator()(std::string_view a, std::string_view b) const;
  using is_transparent = void;
};
bool RegNameEqual(std::string_view a, std::string_view b);

// How deep keys may nest below a root, as in the Windows registry. Every walk
// of a tree recurses per level, so this also bounds the stack a tree can take.
inline constexpr std::size_t kMaxKeyDepth = 512;

// A key: its subkeys and its values. Paths name keys several levels down,
// separated by backslashes.
struct TRegNode {
  std::map<std::string, std::shared_ptr<TRegNode>, TRegNameLess> Keys;
  std::vector<std::pair<std::string, TRegValue>> Values;  // in order of writing
  std::size_t Depth = 0;

  std::shared_ptr<TRegNode> Clone() const;
  bool SameAs(const TRegNode& other) const;

  // The key at a path; null when it is missing or the path is not a key path.
  TRegNode* Find(std::string_view path);
  const TRegNode* Find(std::string_view path) const {
    return const_cast<TRegNode*>(this)->Find(path);
  }
  // The key at a path, made with the keys above it when missing; null for a
  // path that is no key path or would nest deeper than kMaxKeyDepth.
  TRegNode* Create(std::string_view path);
  // Removes the key at a path with everything below it; a missing key is
  // no error.
  void Erase(std::string_view path);

  const TRegValue* Value(std::string_view name) const;
  // False for a name the text form cannot carry (a line end, a zero byte).
  bool SetValue(std::string_view name, TRegValue value);
  void EraseValue(std::string_view name);

  // A text value cut at its first zero byte and to `limit` characters; empty
  // when missing or of another type.
  std::optional<std::string> Text(std::string_view name, std::size_t limit = SIZE_MAX) const;
  // A DWORD value of exactly four bytes, little-endian.
  std::optional<uint32_t> Dword(std::string_view name) const;
  bool SetText(std::string_view name, std::string_view text);
  bool SetDword(std::string_view name, uint32_t value);
};

struct TRegParseError {
  int Line = 0;
  std::string Message;
};

struct TRegParseResult {
  std::shared_ptr<TRegNode> Root = std::make_shared<TRegNode>();
  std::vector<TRegParseError> Errors;
  bool Header = false;  // the text starts as an export file does
};

// Reads an export file. Lines that cannot be read are reported and skipped;
// everything else is kept. Texts of a UTF-16 file become 8-bit (Latin-1);
// a character beyond that is an error of its line.
TRegParseResult ParseRegFile(std::string_view bytes);

// Writes the tree as a REGEDIT4 file with CRLF line ends. A key is written as a
// section when it has values or no subkeys; the keys above it are implied.
std::string WriteRegFile(const TRegNode& root);

}  // namespace korvel
