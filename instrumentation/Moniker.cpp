#include "instrumentation/Moniker.h"

#include <algorithm>

#include "common/Error.h"
#include "common/Excerpt.h"
#include "common/Text.h"

namespace brv::wmi {
namespace {

[[noreturn]] void Malformed(const char* why, std::string_view text) {
  Raise(kInvalidMoniker, std::string(why) + ": " + Excerpt(text, 80));
}

}  // namespace

Moniker ParseMoniker(std::string_view text) {
  const auto fail = [&](const char* why) { Malformed(why, text); };
  constexpr std::string_view kScheme = "winmgmts:";
  if (!StartsWithNoCase(text, kScheme)) fail("not an instrumentation moniker");
  std::string_view rest = text.substr(kScheme.size());
  Moniker m;
  if (rest.starts_with('{')) {
    const size_t close = rest.find('}');
    if (close == std::string_view::npos) fail("the security settings are not closed");
    m.security = rest.substr(1, close - 1);
    rest.remove_prefix(close + 1);
    if (rest.starts_with('!')) rest.remove_prefix(1);
  }
  if (!rest.starts_with("//")) fail("the moniker names no machine");
  rest.remove_prefix(2);
  const size_t colon = rest.find(':');
  if (colon != std::string_view::npos) m.path = rest.substr(colon + 1);
  rest = rest.substr(0, colon);
  const size_t separator = rest.find_first_of("/\\");
  m.machine = rest.substr(0, separator);
  if (separator != std::string_view::npos) m.nameSpace = rest.substr(separator + 1);
  std::replace(m.nameSpace.begin(), m.nameSpace.end(), '\\', '/');
  return m;
}

}  // namespace brv::wmi
