#include "TestStores.h"

#include <atomic>
#include <fstream>
#include <sstream>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>

#include "Win32RegStore.h"
#else
#include <cstdlib>
#endif

namespace korvel::test {

std::string MakeTempDir() {
  static std::atomic<int> serial{0};
#ifdef _WIN32
  char base[MAX_PATH];
  GetTempPathA(MAX_PATH, base);
  std::string dir = std::string(base) + "korvel-test-" +
                    std::to_string(GetCurrentProcessId()) + "-" +
                    std::to_string(serial++);
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir;
#else
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/korvel-test-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!mkdtemp(buffer.data())) throw std::runtime_error("mkdtemp failed for " + pattern);
  ++serial;
  return buffer.data();
#endif
}

void ClearCalvek(TRegStore& store) {
  auto session = store.Begin(TRegAccess::Write);
  if (!session) throw std::runtime_error("the store cannot be opened for writing");
  session->LocalMachine().DeleteTree("SOFTWARE\\Calvek");
  session->Commit();
}

std::vector<TStoreKind> StoreKinds() {
  std::vector<TStoreKind> kinds;
  kinds.push_back({"memory", [] { return std::make_shared<TMemoryRegStore>(); }});
  kinds.push_back({"file", [] {
                     return std::shared_ptr<TRegStore>(
                         MakeFileRegStore(MakeTempDir() + "/korvel/registry.reg"));
                   }});
#ifdef _WIN32
  kinds.push_back({"registry", [] {
                     std::shared_ptr<TRegStore> store = MakeWin32RegStore();
                     ClearCalvek(*store);
                     return store;
                   }});
#endif
  return kinds;
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

bool FileExists(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return in.good();
}

}  // namespace korvel::test
