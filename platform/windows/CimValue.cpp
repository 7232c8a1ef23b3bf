#include "platform/windows/CimValue.h"

namespace brv::win {
namespace {

// A 32-bit whole number read back as the unsigned number it carries.
Variant Unsigned(const Variant& value) {
  if (const auto* n = value.get_if<int32_t>(); n && *n < 0) return int64_t{static_cast<uint32_t>(*n)};
  return value;
}

}  // namespace

Variant FromCimValue(const VARIANT& value, CIMTYPE type) {
  Variant result = FromVariant(value);
  if ((type & ~CIM_FLAG_ARRAY) != CIM_UINT32 || (value.vt & VT_TYPEMASK) != VT_I4) return result;
  if (const auto* items = result.get_if<Variant::Array>()) {
    Variant::Array out;
    for (const Variant& item : *items) out.push_back(Unsigned(item));
    return out;
  }
  return Unsigned(result);
}

}  // namespace brv::win
