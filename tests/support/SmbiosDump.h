#pragma once
// Firmware tables as the test data and the fuzz corpus keep them: dumps of the
// firmware's memory with the SMBIOS entry point at the start.
#include <optional>
#include <string>
#include <string_view>

namespace brv {

// The structure table held in a `dmidecode --dump-bin` file: a 32-byte entry point
// area (SMBIOS 2.x "_SM_" or 3.x "_SM3_") and the table at the address that entry
// point gives. Nothing when no entry point is found or the table lies outside the
// bytes; a table length past the end of the file is cut to what is there.
std::optional<std::string> SmbiosTableFromDump(std::string_view dump);

}  // namespace brv
