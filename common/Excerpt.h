#pragma once
// Text from outside (a file, a request, an argument) shown in a message: escaped
// so that it cannot drive the terminal or break the message's one line, and cut
// short so that a hostile input cannot make the message as large as itself.
#include <cstddef>
#include <string>
#include <string_view>

namespace brv {

// Text from outside made fit for a one-line message: newline, tab and return as
// \n, \t, \r; other control characters (C0, DEL) and bytes that are not UTF-8 as
// \xHH; C1 controls and format characters (a bidirectional override, a
// zero-width space: IsFormatCharacter) as \uHHHH. At most `limit` bytes of the text are
// shown, cut between characters, with "..." when cut.
std::string Excerpt(std::string_view text, size_t limit = 48);

}  // namespace brv
