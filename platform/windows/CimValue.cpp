#include "platform/windows/CimValue.h"

#include <limits>

#include "common/Text.h"

namespace brv::win {
namespace {

// A whole number in the narrowest of the widths a snapshot reads it in.
Variant Narrowest(int64_t n) {
  if (n >= std::numeric_limits<int32_t>::min() && n <= std::numeric_limits<int32_t>::max())
    return static_cast<int32_t>(n);
  return n;
}

// One item of a property of the declared base type, as the service carries it.
Variant Typed(const Variant& value, CIMTYPE base) {
  // A 32-bit whole number read back as the unsigned number it carries.
  if (const auto* n = value.get_if<int32_t>(); n && base == CIM_UINT32 && *n < 0)
    return int64_t{static_cast<uint32_t>(*n)};
  // A 64-bit whole number comes as its decimal text; text that is not one stays text.
  if (const auto* text = value.get_if<std::string>(); text && base == CIM_SINT64) {
    if (const auto n = ParseInteger<int64_t>(*text)) return Narrowest(*n);
  } else if (text && base == CIM_UINT64) {
    if (const auto n = ParseInteger<uint64_t>(*text)) {
      if (*n > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return static_cast<double>(*n);
      return Narrowest(static_cast<int64_t>(*n));
    }
  }
  return value;
}

}  // namespace

Variant FromCimValue(const VARIANT& value, CIMTYPE type) {
  Variant result = FromVariant(value);
  const CIMTYPE base = type & ~CIM_FLAG_ARRAY;
  if (base != CIM_UINT32 && base != CIM_SINT64 && base != CIM_UINT64) return result;
  if (const auto* items = result.get_if<Variant::Array>()) {
    Variant::Array out;
    for (const Variant& item : *items) out.push_back(Typed(item, base));
    return out;
  }
  return Typed(result, base);
}

}  // namespace brv::win
