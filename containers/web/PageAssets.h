#pragma once
// The page the web container serves, embedded in the program at build time from
// the files in containers/web/page/ (cmake/EmbedText.cmake): its document,
// script, style and icon.
#include <string_view>

namespace brv::web {

extern const std::string_view kPageHtml;
extern const std::string_view kPageScript;
extern const std::string_view kPageStyle;
extern const std::string_view kPageIcon;

}  // namespace brv::web
