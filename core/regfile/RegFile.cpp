#include "RegFile.h"

#include <algorithm>
#include <cstdint>

namespace korvel {
namespace {

unsigned char Upper(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return (u >= 'a' && u <= 'z') ? static_cast<unsigned char>(u - 32) : u;
}

// A name that the text form can carry: no line ends, no zero byte.
bool StorableName(std::string_view name) {
  return name.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

// Splits a key path at its backslashes; false for an empty component.
bool SplitPath(std::string_view path, std::vector<std::string>& parts) {
  parts.clear();
  if (path.empty()) return false;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = path.find('\\', start);
    std::string_view part =
        path.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (part.empty() || !StorableName(part)) return false;
    parts.emplace_back(part);
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

// ---- reading -------------------------------------------------------------

struct TLine {
  int Number;
  std::string Text;
};

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
unsigned HexValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
  return static_cast<unsigned>(c - 'A' + 10);
}

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  return s;
}
std::string_view Trim(std::string_view s) {
  s = TrimLeft(s);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && RegNameEqual(s.substr(0, prefix.size()), prefix);
}

// Splits the file into lines of 8-bit text. A UTF-16 file is decoded; a line
// holding a character beyond Latin-1 is replaced by an error.
std::vector<TLine> SplitLines(std::string_view bytes, bool& unicode,
                              std::vector<TRegParseError>& errors) {
  std::vector<TLine> lines;
  unicode = bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
            static_cast<unsigned char>(bytes[1]) == 0xFE;
  std::string current;
  bool bad = false;
  int number = 1;
  auto finish = [&] {
    if (!current.empty() && current.back() == '\r') current.pop_back();
    if (bad) errors.push_back({number, "character that 8-bit text cannot hold"});
    lines.push_back({number, bad ? std::string() : current});
    current.clear();
    bad = false;
    ++number;
  };
  if (unicode) {
    if (bytes.size() % 2 != 0) errors.push_back({0, "UTF-16 file with an odd number of bytes"});
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
      unsigned unit = static_cast<unsigned char>(bytes[i]) |
                      (static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 1])) << 8);
      if (unit == '\n')
        finish();
      else if (unit > 0xFF)
        bad = true;
      else
        current.push_back(static_cast<char>(unit));
    }
  } else {
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    for (char c : bytes) {
      if (c == '\n')
        finish();
      else
        current.push_back(c);
    }
  }
  if (!current.empty() || bad) finish();
  return lines;
}

// Reads a quoted text starting at s[pos] == '"'; pos ends after the closing
// quote. Backslash escapes the next character.
bool ReadQuoted(std::string_view s, std::size_t& pos, std::string& out) {
  out.clear();
  ++pos;
  while (pos < s.size()) {
    char c = s[pos++];
    if (c == '"') return true;
    if (c == '\\' && pos < s.size()) c = s[pos++];
    out.push_back(c);
  }
  return false;
}

bool ReadHexBytes(std::string_view s, std::string& out) {
  out.clear();
  s = Trim(s);
  if (s.empty()) return true;
  std::size_t pos = 0;
  for (;;) {
    while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t')) ++pos;
    std::size_t start = pos;
    unsigned value = 0;
    while (pos < s.size() && IsHex(s[pos]) && pos - start < 2)
      value = value * 16 + HexValue(s[pos++]);
    if (pos == start) return false;
    out.push_back(static_cast<char>(value));
    while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t')) ++pos;
    if (pos == s.size()) return true;
    if (s[pos] != ',') return false;
    ++pos;
    if (Trim(s.substr(pos)).empty()) return true;  // trailing comma
  }
}

// The texts of a version 5 file are UTF-16 inside hex forms too.
bool Utf16ToLatin1(const std::string& in, std::string& out) {
  if (in.size() % 2 != 0) return false;
  out.clear();
  for (std::size_t i = 0; i < in.size(); i += 2) {
    unsigned unit = static_cast<unsigned char>(in[i]) |
                    (static_cast<unsigned>(static_cast<unsigned char>(in[i + 1])) << 8);
    if (unit > 0xFF) return false;
    out.push_back(static_cast<char>(unit));
  }
  return true;
}

// Parses the part after '=' of a value line. Returns an error text, or empty
// on success; `remove` is set for the "-" form.
std::string ParseData(std::string_view data, bool unicode, TRegValue& value, bool& remove) {
  remove = false;
  data = Trim(data);
  if (data == "-") {
    remove = true;
    return {};
  }
  if (!data.empty() && data.front() == '"') {
    std::size_t pos = 0;
    std::string text;
    if (!ReadQuoted(data, pos, text)) return "text without its closing quote";
    if (!Trim(data.substr(pos)).empty()) return "characters after the text";
    value = {kRegSz, text};
    return {};
  }
  if (StartsWithNoCase(data, "dword:")) {
    std::string_view digits = Trim(data.substr(6));
    if (digits.empty() || digits.size() > 8 || !std::all_of(digits.begin(), digits.end(), IsHex))
      return "dword value that is not 1 to 8 hex digits";
    uint32_t v = 0;
    for (char c : digits) v = v * 16 + HexValue(c);
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    value = {kRegDword, bytes};
    return {};
  }
  if (StartsWithNoCase(data, "hex")) {
    std::string_view rest = data.substr(3);
    uint32_t type = kRegBinary;
    if (!rest.empty() && rest.front() == '(') {
      std::size_t close = rest.find(')');
      std::string_view digits =
          close == std::string_view::npos ? std::string_view() : rest.substr(1, close - 1);
      if (digits.empty() || digits.size() > 8 || !std::all_of(digits.begin(), digits.end(), IsHex))
        return "hex(type) with a type that is not 1 to 8 hex digits";
      type = 0;
      for (char c : digits) type = type * 16 + HexValue(c);
      rest = rest.substr(close + 1);
    }
    if (rest.empty() || rest.front() != ':') return "hex form without ':'";
    std::string bytes;
    if (!ReadHexBytes(rest.substr(1), bytes))
      return "hex bytes that are not two-digit hex numbers separated by commas";
    if (unicode && (type == kRegSz || type == kRegExpandSz || type == kRegMultiSz)) {
      std::string narrow;
      if (!Utf16ToLatin1(bytes, narrow)) return "UTF-16 text that 8-bit text cannot hold";
      bytes = narrow;
    }
    value = {type, bytes};
    return {};
  }
  return "value that is neither a quoted text, dword: nor hex:";
}

// ---- writing ---------------------------------------------------------------

bool Printable(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return u >= 0x20 && u != 0x7F;
  });
}

void AppendQuoted(std::string& out, std::string_view text) {
  out.push_back('"');
  for (char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
}

void AppendValue(std::string& out, const std::string& name, const TRegValue& value) {
  static const char kDigits[] = "0123456789abcdef";
  std::size_t lineStart = out.size();
  if (name.empty())
    out.push_back('@');
  else
    AppendQuoted(out, name);
  out.push_back('=');
  if (value.Type == kRegSz && Printable(value.Data)) {
    AppendQuoted(out, value.Data);
  } else if (value.Type == kRegDword && value.Data.size() == 4) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(value.Data[i]);
    out += "dword:";
    for (int shift = 28; shift >= 0; shift -= 4) out.push_back(kDigits[(v >> shift) & 0xF]);
  } else {
    out += "hex";
    if (value.Type != kRegBinary) {
      out.push_back('(');
      std::string digits;
      uint32_t t = value.Type;
      do {
        digits.insert(digits.begin(), kDigits[t & 0xF]);
        t >>= 4;
      } while (t != 0);
      out += digits;
      out.push_back(')');
    }
    out.push_back(':');
    for (std::size_t i = 0; i < value.Data.size(); ++i) {
      unsigned char b = static_cast<unsigned char>(value.Data[i]);
      out.push_back(kDigits[b >> 4]);
      out.push_back(kDigits[b & 0xF]);
      if (i + 1 < value.Data.size()) {
        out.push_back(',');
        if (out.size() - lineStart > 75) {
          out += "\\\r\n  ";
          lineStart = out.size() - 2;
        }
      }
    }
  }
  out += "\r\n";
}

void AppendKey(std::string& out, const std::string& path, const TRegNode& node, int depth) {
  bool section = !node.Values.empty() || (node.Keys.empty() && depth > 1);
  if (section && depth > 0) {
    out += "[" + path + "]\r\n";
    for (const auto& [name, value] : node.Values) AppendValue(out, name, value);
    out += "\r\n";
  }
  for (const auto& [name, child] : node.Keys)
    AppendKey(out, path.empty() ? name : path + "\\" + name, *child, depth + 1);
}

}  // namespace

bool TRegNameLess::operator()(std::string_view a, std::string_view b) const {
  std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char x = Upper(a[i]), y = Upper(b[i]);
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

bool RegNameEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Upper(a[i]) != Upper(b[i])) return false;
  return true;
}

TRegNode* TRegNode::Find(std::string_view path) {
  std::vector<std::string> parts;
  if (!SplitPath(path, parts)) return nullptr;
  TRegNode* at = this;
  for (const auto& part : parts) {
    auto it = at->Keys.find(part);
    if (it == at->Keys.end()) return nullptr;
    at = it->second.get();
  }
  return at;
}

TRegNode* TRegNode::Create(std::string_view path) {
  std::vector<std::string> parts;
  if (!SplitPath(path, parts) || Depth + parts.size() > kMaxKeyDepth) return nullptr;
  TRegNode* at = this;
  for (const auto& part : parts) {
    auto& slot = at->Keys[part];
    if (!slot) {
      slot = std::make_shared<TRegNode>();
      slot->Depth = at->Depth + 1;
    }
    at = slot.get();
  }
  return at;
}

void TRegNode::Erase(std::string_view path) {
  std::size_t slash = path.rfind('\\');
  TRegNode* parent = slash == std::string_view::npos ? this : Find(path.substr(0, slash));
  if (parent) parent->Keys.erase(std::string(path.substr(slash + 1)));
}

const TRegValue* TRegNode::Value(std::string_view name) const {
  for (const auto& [n, v] : Values)
    if (RegNameEqual(n, name)) return &v;
  return nullptr;
}

bool TRegNode::SetValue(std::string_view name, TRegValue value) {
  if (!StorableName(name)) return false;
  for (auto& [n, v] : Values)
    if (RegNameEqual(n, name)) {
      v = std::move(value);
      return true;
    }
  Values.emplace_back(std::string(name), std::move(value));
  return true;
}

void TRegNode::EraseValue(std::string_view name) {
  Values.erase(std::remove_if(Values.begin(), Values.end(),
                              [&](const auto& v) { return RegNameEqual(v.first, name); }),
               Values.end());
}

std::optional<std::string> TRegNode::Text(std::string_view name, std::size_t limit) const {
  const TRegValue* value = Value(name);
  if (!value || value->Type != kRegSz) return std::nullopt;
  std::string text = value->Data.substr(0, value->Data.find('\0'));
  if (text.size() > limit) text.resize(limit);
  return text;
}

std::optional<uint32_t> TRegNode::Dword(std::string_view name) const {
  const TRegValue* value = Value(name);
  if (!value || value->Type != kRegDword || value->Data.size() != 4) return std::nullopt;
  uint32_t result = 0;
  for (int i = 3; i >= 0; --i) result = (result << 8) | static_cast<unsigned char>(value->Data[i]);
  return result;
}

bool TRegNode::SetText(std::string_view name, std::string_view text) {
  return SetValue(name, TRegValue{kRegSz, std::string(text)});
}

bool TRegNode::SetDword(std::string_view name, uint32_t value) {
  std::string data(4, '\0');
  for (int i = 0; i < 4; ++i) data[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  return SetValue(name, TRegValue{kRegDword, data});
}

std::shared_ptr<TRegNode> TRegNode::Clone() const {
  auto copy = std::make_shared<TRegNode>();
  copy->Values = Values;
  copy->Depth = Depth;
  for (const auto& [name, child] : Keys) copy->Keys.emplace(name, child->Clone());
  return copy;
}

bool TRegNode::SameAs(const TRegNode& other) const {
  if (Values != other.Values || Keys.size() != other.Keys.size()) return false;
  auto a = Keys.begin();
  auto b = other.Keys.begin();
  for (; a != Keys.end(); ++a, ++b)
    if (a->first != b->first || !a->second->SameAs(*b->second)) return false;
  return true;
}

TRegParseResult ParseRegFile(std::string_view bytes) {
  TRegParseResult result;
  bool unicode = false;
  std::vector<TLine> lines = SplitLines(bytes, unicode, result.Errors);
  auto error = [&](int line, std::string message) {
    result.Errors.push_back({line, std::move(message)});
  };

  std::size_t i = 0;
  while (i < lines.size() && Trim(lines[i].Text).empty()) ++i;
  if (i == lines.size()) {
    error(1, "empty file: no REGEDIT4 header");
    return result;
  }
  std::string_view header = Trim(lines[i].Text);
  bool version5 = header == "Windows Registry Editor Version 5.00";
  if (header != "REGEDIT4" && !version5) {
    error(lines[i].Number, "not a registry export file: no REGEDIT4 header");
    return result;
  }
  bool utf16Texts = unicode || version5;
  result.Header = true;

  TRegNode& root = *result.Root;
  TRegNode* current = nullptr;
  bool sectionSeen = false;
  for (++i; i < lines.size(); ++i) {
    int number = lines[i].Number;
    std::string text = lines[i].Text;
    std::string_view line = Trim(text);
    if (line.empty() || line.front() == ';') continue;

    if (line.front() == '[') {
      sectionSeen = true;
      current = nullptr;
      if (line.back() != ']') {
        error(number, "key line without its closing ']'");
        continue;
      }
      std::string_view path = line.substr(1, line.size() - 2);
      bool remove = !path.empty() && path.front() == '-';
      if (remove) path.remove_prefix(1);
      std::vector<std::string> parts;
      if (!SplitPath(path, parts) || !StartsWithNoCase(parts[0], "HKEY_")) {
        error(number, "key path that does not start with a HKEY_ root");
        continue;
      }
      if (parts.size() > kMaxKeyDepth) {
        error(number, "key path deeper than " + std::to_string(kMaxKeyDepth) + " levels");
        continue;
      }
      if (remove)
        root.Erase(path);
      else
        current = root.Create(path);
      continue;
    }

    if (line.front() != '"' && line.front() != '@') {
      error(number, "line that is neither a key nor a value");
      continue;
    }
    // A hex form may go on over several lines, each ending in a backslash.
    while (line.back() == '\\' && text.find("=hex") != std::string::npos && i + 1 < lines.size()) {
      std::string joined(line.substr(0, line.size() - 1));
      joined += TrimLeft(lines[++i].Text);
      text = joined;
      line = Trim(text);
    }
    std::string name;
    std::size_t pos = 0;
    if (line.front() == '@') {
      pos = 1;
    } else if (!ReadQuoted(line, pos, name)) {
      error(number, "value name without its closing quote");
      continue;
    }
    std::string_view rest = TrimLeft(line.substr(pos));
    if (rest.empty() || rest.front() != '=') {
      error(number, "value without '=' after its name");
      continue;
    }
    TRegValue value;
    bool remove = false;
    std::string problem = ParseData(rest.substr(1), utf16Texts, value, remove);
    if (!problem.empty()) {
      error(number, problem);
      continue;
    }
    if (!current) {
      if (!sectionSeen) error(number, "value before the first key line");
      continue;  // the key line itself was reported
    }
    if (remove) {
      current->EraseValue(name);
      continue;
    }
    if (!current->SetValue(name, value)) error(number, "value name that cannot be stored");
  }
  return result;
}

std::string WriteRegFile(const TRegNode& root) {
  std::string out = "REGEDIT4\r\n\r\n";
  AppendKey(out, "", root, 0);
  return out;
}

}  // namespace korvel
