#pragma once
// Texts a test makes, compared whole with files under tests/data. With
// BRV_RENEW=1 in the environment the files are rewritten with them instead:
// review the diff.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace brv::test {

inline void ExpectGolden(const std::string& relative, const std::string& text) {
  const std::string path = std::string(BRV_TEST_DATA) + "/" + relative;
  std::ifstream in(path);
  EXPECT_EQ(text, std::string(std::istreambuf_iterator<char>(in), {})) << path;
  if (std::getenv("BRV_RENEW")) std::ofstream(path) << text;
}

// The bytes a line of an answer file stands for: \r, \n, \\ and \xHH escaped,
// {N*c} for N bytes c.
inline std::string Unescape(const std::string& line) {
  std::string out;
  for (size_t i = 0; i < line.size(); ++i) {
    size_t star = 0;
    if (line[i] == '\\' && i + 1 < line.size()) {
      const char c = line[++i];
      out += c == 'r'   ? '\r'
             : c == 'n' ? '\n'
             : c == 'x' ? static_cast<char>(std::stoi(line.substr(i + 1, 2), nullptr, 16))
                        : c;
      if (c == 'x') i += 2;
    } else if (line[i] == '{' && (star = line.find_first_not_of("0123456789", i + 1)) > i + 1 &&
               star + 2 < line.size() && line[star] == '*' && line[star + 2] == '}') {
      out.append(std::stoul(line.substr(i + 1, star - i - 1)), line[star + 1]);
      i = star + 2;
    } else {
      out += line[i];
    }
  }
  return out;
}

// A text as an answer shows it, in the notation Unescape reads: in quotes, each
// byte outside printable ASCII and a quote as \xHH, a backslash as \\.
inline std::string Quote(std::string_view text) {
  std::string out = "\"";
  for (const char ch : text) {
    const auto b = static_cast<unsigned char>(ch);
    char hex[5];
    std::snprintf(hex, sizeof hex, "\\x%02X", b);
    out += ch == '\\' ? "\\\\" : b < 0x20 || b >= 0x7F || ch == '"' ? hex : std::string(1, ch);
  }
  return out + "\"";
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
