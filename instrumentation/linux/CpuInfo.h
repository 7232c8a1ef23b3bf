#pragma once
// Decoding of /proc/cpuinfo text. The layout differs by architecture: x86 gives a
// block per logical processor with vendor_id, "model name" and "physical id";
// ARM gives "CPU implementer"/"CPU part" (older kernels a global "Processor"
// line); PowerPC gives "cpu" and "clock"; s390 gives "cpu number" blocks with the
// vendor in a global line.
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brv {

struct CpuInfoProcessor {
  int number = -1;                       // "processor" (or "cpu number")
  std::optional<int> physicalId;         // the package, where the kernel says it
  std::optional<std::string> vendorId;   // "GenuineIntel", "AuthenticAMD", "IBM/S390", ARM implementer name
  std::optional<std::string> modelName;  // "model name", PowerPC "cpu", old ARM "Processor"
  std::optional<double> mhz;             // current clock, "cpu MHz" or PowerPC "clock"
  std::optional<std::string> family, model, stepping;  // x86 "cpu family", "model", "stepping"
  // ARM "CPU implementer", "CPU part", "CPU variant", "CPU revision": the fields
  // of the processor's main id register (MIDR).
  std::optional<int> armImplementer, armPart, armVariant, armRevision;
  std::optional<std::string> revision;  // PowerPC "revision" ("2.1 (pvr 003f 0201)")
  std::optional<int> cores, siblings;   // x86 "cpu cores" and "siblings": per package
  // The architecture as the Windows instrumentation codes it: 0 x86, 9 x64
  // (x86 with long mode), 5 ARM, 12 ARM64; nothing where cpuinfo does not tell.
  std::optional<int> architecture;
};

struct CpuInfo {
  std::vector<CpuInfoProcessor> processors;
  // Lines outside the processor blocks (the first value of each key).
  std::map<std::string, std::string> global;
  // The text names more processors than any kernel counts (kMostCpuInfoProcessors):
  // it was read no further, and `processors` is not the whole machine.
  bool tooMany = false;
};

// The most logical processors a kernel is built for (NR_CPUS on x86-64 and POWER).
inline constexpr size_t kMostCpuInfoProcessors = 8192;

// Never fails: text that is not cpuinfo gives no processors. Global vendor and
// name lines fill the processors that lack their own. Linear in the text.
CpuInfo ParseCpuInfo(std::string_view text);

// The name of an ARM implementer code ("0x41" -> "ARM"); nothing when unknown.
std::optional<std::string> ArmImplementerName(std::string_view code);
std::optional<std::string> ArmImplementerName(int code);
// The name of an ARM processor core by implementer and part (0x41, 0xd0c ->
// "Neoverse-N1"), from the published main id register values; nothing when unknown.
std::optional<std::string> ArmPartName(int implementer, int part);
// An ARM processor's main id register as sysfs gives it (regs/identification/
// midr_el1, "0x00000000481fd010") split into implementer, variant, part and
// revision, filling `p`'s ARM fields that are not set yet.
void FillFromMidr(std::string_view midr, CpuInfoProcessor& p);

}  // namespace brv
