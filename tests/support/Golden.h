#pragma once
// Texts a test makes, compared whole with files under tests/data. With
// BRV_RENEW=1 in the environment the files are rewritten with them instead:
// review the diff.
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace brv::test {

inline void ExpectGolden(const std::string& relative, const std::string& text) {
  const std::string path = std::string(BRV_TEST_DATA) + "/" + relative;
  std::ifstream in(path);
  EXPECT_EQ(text, std::string(std::istreambuf_iterator<char>(in), {})) << path;
  if (std::getenv("BRV_RENEW")) std::ofstream(path) << text;
}

// Each "$ INPUT" line of the file answered by `answer`, its lines marked "| "
// after it; the other lines are kept as they are.
inline void ExpectAnswers(const std::string& relative, const std::function<std::string(const std::string&)>& answer) {
  std::ifstream in(std::string(BRV_TEST_DATA) + "/" + relative);
  std::string got;
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("|")) continue;
    got += line + "\n";
    if (!line.starts_with("$ ")) continue;
    std::istringstream lines(answer(line.substr(2)));
    for (std::string l; std::getline(lines, l);) got += "| " + l + "\n";
  }
  ExpectGolden(relative, got);
}

}  // namespace brv::test
