#pragma once
// Reading the test data shipped under tests/data, and machine trees made for a test.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace brv::test {

inline std::string TestDataPath(const std::string& relative) { return std::string(BRV_TEST_DATA) + "/" + relative; }

inline std::string ReadTestFile(const std::string& relative) {
  std::ifstream in(TestDataPath(relative), std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// A machine tree (or any files) in a new folder under the system's temporary
// folder, removed with all it holds when the scope ends.
class TempTree {
 public:
  TempTree() {
    std::string pattern = (std::filesystem::temp_directory_path() / "brv-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder");
    root_ = pattern;
  }
  explicit TempTree(const std::string& copyOf) : TempTree() {
    std::filesystem::copy(copyOf, root_,
                          std::filesystem::copy_options::recursive | std::filesystem::copy_options::copy_symlinks);
  }
  ~TempTree() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;
  const std::string& root() const { return root_; }
  const std::string& path() const { return root_; }
  void Write(const std::string& path, const std::string& content) const {
    std::ofstream(Fresh(path), std::ios::binary) << content;
  }
  void Link(const std::string& path, const std::string& target) const {
    std::filesystem::create_symlink(target, Fresh(path));
  }
  void Remove(const std::string& path) const { std::filesystem::remove_all(root_ + path); }
  // The full path, its folder made and whatever was there removed.
  std::filesystem::path Fresh(const std::string& path) const {
    const std::filesystem::path full = root_ + path;
    std::filesystem::create_directories(full.parent_path());
    std::filesystem::remove(full);
    return full;
  }

 private:
  std::string root_;
};

}  // namespace brv::test
