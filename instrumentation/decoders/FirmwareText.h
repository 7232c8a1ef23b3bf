#pragma once
// Texts that firmware, drivers and device descriptors hand out: blank padding,
// trailing NULs and the placeholders vendors leave in unprogrammed fields. Every
// decoder cleans its texts here, so that a placeholder is treated as "no value"
// in one place.
#include <optional>
#include <string>
#include <string_view>

namespace brv {

// The text without leading and trailing blanks, tabs, line ends and NULs.
std::string_view TrimText(std::string_view text);

// True when the text is one of the placeholders firmware leaves in unset fields
// ("To be filled by O.E.M.", "Default string", "Not Specified", "0123456789",
// all blank, all zeros, ...). Compared without regard to case, after trimming.
bool IsPlaceholder(std::string_view text);

// The trimmed text, or nothing when it is empty or a placeholder. Control bytes
// and bytes that are not part of a UTF-8 character (overlong forms and
// surrogates included) become '?', so that a damaged field never reaches the
// caller as raw binary.
std::optional<std::string> CleanFirmwareText(std::string_view text);

}  // namespace brv
