#include "module/EnglishText.h"

#include <charconv>
#include <map>

namespace brv {

// messages/en.msg, embedded by the build (cmake/EmbedText.cmake).
extern const std::string_view kEnglishMessages;

namespace {

// One message a line: its number, blanks, its text; '#' starts a comment line.
std::map<int32_t, std::string_view> Parse(std::string_view file) {
  std::map<int32_t, std::string_view> texts;
  while (!file.empty()) {
    const size_t end = file.find('\n');
    std::string_view line = file.substr(0, end);
    file.remove_prefix(end == std::string_view::npos ? file.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    int32_t number = 0;
    const auto [rest, ec] = std::from_chars(line.data(), line.data() + line.size(), number);
    if (ec != std::errc() || line.empty() || line[0] == '#') continue;
    const size_t gap = line.find_first_not_of(" \t", static_cast<size_t>(rest - line.data()));
    if (gap == std::string_view::npos || gap == static_cast<size_t>(rest - line.data())) continue;
    texts.emplace(number, line.substr(gap));
  }
  return texts;
}

}  // namespace

std::string_view EnglishText(int32_t number) {
  static const std::map<int32_t, std::string_view> kTexts = Parse(kEnglishMessages);
  const auto found = kTexts.find(number);
  return found == kTexts.end() ? std::string_view() : found->second;
}

}  // namespace brv
