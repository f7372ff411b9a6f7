#include "RegKey.h"

namespace korvel {

std::optional<std::string> QueryText(TRegKey& key, std::string_view name,
                                     std::size_t limit) {
  auto value = key.Query(name);
  if (!value || value->Type != kRegSz) return std::nullopt;
  std::string text = value->Data.substr(0, value->Data.find('\0'));
  if (text.size() > limit) text.resize(limit);
  return text;
}

std::optional<uint32_t> QueryDword(TRegKey& key, std::string_view name) {
  auto value = key.Query(name);
  if (!value || value->Type != kRegDword || value->Data.size() != 4)
    return std::nullopt;
  uint32_t result = 0;
  for (int i = 3; i >= 0; --i)
    result = (result << 8) | static_cast<unsigned char>(value->Data[i]);
  return result;
}

bool SetText(TRegKey& key, std::string_view name, std::string_view text) {
  return key.Set(name, TRegValue{kRegSz, std::string(text)});
}

bool SetDword(TRegKey& key, std::string_view name, uint32_t value) {
  std::string data(4, '\0');
  for (int i = 0; i < 4; ++i)
    data[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  return key.Set(name, TRegValue{kRegDword, data});
}

bool CopySubkeys(TRegKey& from, TRegKey& to) {
  uint32_t count = from.SubKeyCount();
  for (uint32_t i = 0; i < count; ++i) {
    auto name = from.SubKeyName(i);
    if (!name) return false;
    auto source = from.Open(*name);
    auto target = to.Create(*name);
    if (!source || !target || !CopyKey(*source, *target)) return false;
  }
  return true;
}

bool CopyKey(TRegKey& from, TRegKey& to) {
  for (uint32_t i = 0;; ++i) {
    auto name = from.ValueName(i);
    if (!name) break;
    auto value = from.Query(*name);
    if (!value || !to.Set(*name, *value)) return false;
  }
  return CopySubkeys(from, to);
}

}  // namespace korvel
