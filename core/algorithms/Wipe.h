// Overwrites memory that held a password or a reply before it is freed or
// reused: through volatile writes, which the compiler may not drop as dead
// stores.
#pragma once

#include <cstddef>
#include <string>

namespace korvel {

inline void Wipe(char* bytes, std::size_t size) {
  volatile char* p = bytes;
  for (std::size_t i = 0; i < size; ++i) p[i] = 0;
}

// The whole of the text's storage, not only its characters; it is empty after.
inline void Wipe(std::string& text) {
  text.resize(text.capacity());
  Wipe(text.data(), text.size());
  text.clear();
}

// Wipes a text or a buffer when its scope ends, however it ends.
class TWipeAtEnd {
 public:
  explicit TWipeAtEnd(std::string& text) : Text(&text) {}
  TWipeAtEnd(char* bytes, std::size_t size) : Bytes(bytes), Size(size) {}
  ~TWipeAtEnd() {
    if (Text)
      Wipe(*Text);
    else
      Wipe(Bytes, Size);
  }
  TWipeAtEnd(const TWipeAtEnd&) = delete;
  TWipeAtEnd& operator=(const TWipeAtEnd&) = delete;

 private:
  std::string* Text = nullptr;
  char* Bytes = nullptr;
  std::size_t Size = 0;
};

}  // namespace korvel
