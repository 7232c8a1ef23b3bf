#pragma once
// The English texts of the control's messages, as messages/en.msg gives them:
// the build embeds that file, so that the texts shown when no string provider
// can be created are the catalogue's own and are written nowhere else.
#include <cstdint>
#include <string_view>

namespace brv {

// Message `number` in English; "" for a number en.msg does not have.
std::string_view EnglishText(int32_t number);

}  // namespace brv
