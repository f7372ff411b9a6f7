// The few file operations the file store needs, for each platform: whole
// reads, atomic replacement, folders, and a lock that processes share.
#pragma once

#include <string>

namespace korvel::fileio {

std::string Dirname(const std::string& path);
// Creates the folder and the folders above it (owner-only where that exists).
bool EnsureDir(const std::string& dir);
// False when the file does not exist or cannot be read.
bool ReadWholeFile(const std::string& path, std::string& bytes);
// Writes PATH.tmp, flushes it to disk and renames it over PATH.
bool ReplaceWholeFile(const std::string& path, const std::string& bytes);

// A lock on a companion file: shared for readers, exclusive for a writer.
// Held until destroyed.
class TFileLock {
 public:
  // Waits for the lock. Locked() is false when the lock file cannot be made.
  TFileLock(const std::string& path, bool exclusive, bool mayCreate);
  ~TFileLock();
  TFileLock(const TFileLock&) = delete;
  TFileLock& operator=(const TFileLock&) = delete;
  bool Locked() const { return Handle != nullptr; }

 private:
  void* Handle = nullptr;
};

}  // namespace korvel::fileio
