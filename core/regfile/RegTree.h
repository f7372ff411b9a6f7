// An in-memory registry tree and its text form, the registry's own export
// format (REGEDIT4, and for reading also the UTF-16 "Windows Registry Editor
// Version 5.00" form). The file store and the memory store keep their keys in
// such a tree; korvel's import and export use the same reader and writer.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "RegKey.h"

namespace korvel {

// Orders names as the registry enumerates them: as text, letter case ignored.
struct TRegNameLess {
  bool operator()(std::string_view a, std::string_view b) const;
  using is_transparent = void;
};
bool RegNameEqual(std::string_view a, std::string_view b);

// How deep keys may nest below a root, as in the Windows registry. Every walk
// of a tree recurses per level, so this also bounds the stack a tree can take.
inline constexpr std::size_t kMaxKeyDepth = 512;

struct TRegNode {
  std::map<std::string, std::shared_ptr<TRegNode>, TRegNameLess> Keys;
  std::vector<std::pair<std::string, TRegValue>> Values;  // in order of writing
  bool Deleted = false;  // set on a key removed while a handle to it was open
  std::size_t Depth = 0;
  // Counts every change of Keys, so that a handle's enumeration cursor can
  // tell that another handle changed the node under it.
  uint64_t Generation = 0;

  std::shared_ptr<TRegNode> Clone() const;
  bool SameAs(const TRegNode& other) const;
};

// A key handle into a tree.
std::unique_ptr<TRegKey> MakeTreeKey(std::shared_ptr<TRegNode> node);

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
