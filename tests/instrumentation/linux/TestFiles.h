#pragma once
// Reading the test data shipped under tests/data.
#include <fstream>
#include <sstream>
#include <string>

namespace brv::test {

inline std::string TestDataPath(const std::string& relative) { return std::string(BRV_TEST_DATA) + "/" + relative; }

inline std::string ReadTestFile(const std::string& relative) {
  std::ifstream in(TestDataPath(relative), std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

}  // namespace brv::test
