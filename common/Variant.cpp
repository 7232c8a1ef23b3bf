#include "common/Variant.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "common/Error.h"

namespace brv {

bool Variant::IsInteger() const {
  const Kind k = kind();
  return k == Kind::Int16 || k == Kind::Int32 || k == Kind::Int64;
}

const char* KindName(Variant::Kind kind) {
  switch (kind) {
    case Variant::Kind::Empty: return "Empty";
    case Variant::Kind::Null: return "Null";
    case Variant::Kind::Int16: return "Integer";
    case Variant::Kind::Int32: return "Long";
    case Variant::Kind::Int64: return "LongLong";
    case Variant::Kind::Double: return "Double";
    case Variant::Kind::Bool: return "Boolean";
    case Variant::Kind::Text: return "String";
    case Variant::Kind::Array: return "Array";
  }
  return "?";
}

namespace {

// Up to 15 significant digits, no trailing zeros, an exponent only for very large
// or very small magnitudes: the runtime's text form of a double.
std::string DoubleText(double v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v < 0 ? "-Infinity" : "Infinity";
  if (v == 0) return "0";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15G", v);
  return buf;
}

int64_t WholeOf(const Variant& v) {
  if (auto p = v.get_if<int16_t>()) return *p;
  if (auto p = v.get_if<int32_t>()) return *p;
  return v.get<int64_t>();
}

}  // namespace

bool ParseNumber(const std::string& text, double& out) {
  size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return false;
  size_t end = text.find_last_not_of(" \t") + 1;
  std::string body = text.substr(begin, end - begin);
  // Only plain decimal notation: strtod alone would also take hex, inf and nan.
  for (char c : body) {
    if (!((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E')) return false;
  }
  const char* s = body.c_str();
  char* stop = nullptr;
  errno = 0;
  double value = std::strtod(s, &stop);
  if (stop == s || *stop != '\0') return false;
  if (errno == ERANGE && std::isinf(value)) return false;
  out = value;
  return true;
}

std::string TextOf(const Variant& value) {
  switch (value.kind()) {
    case Variant::Kind::Empty: return "";
    case Variant::Kind::Null: Raise(err::kInvalidUseOfNull);
    case Variant::Kind::Int16:
    case Variant::Kind::Int32:
    case Variant::Kind::Int64: return std::to_string(WholeOf(value));
    case Variant::Kind::Double: return DoubleText(value.get<double>());
    case Variant::Kind::Bool: return value.get<bool>() ? "True" : "False";
    case Variant::Kind::Text: return value.get<std::string>();
    case Variant::Kind::Array: Raise(err::kTypeMismatch, "an array has no text form");
  }
  Raise(err::kTypeMismatch);
}

double ToDouble(const Variant& value) {
  switch (value.kind()) {
    case Variant::Kind::Empty: return 0;
    case Variant::Kind::Null: Raise(err::kInvalidUseOfNull);
    case Variant::Kind::Int16:
    case Variant::Kind::Int32:
    case Variant::Kind::Int64: return static_cast<double>(WholeOf(value));
    case Variant::Kind::Double: return value.get<double>();
    case Variant::Kind::Bool: return value.get<bool>() ? -1 : 0;
    case Variant::Kind::Text: {
      double d = 0;
      if (!ParseNumber(value.get<std::string>(), d)) Raise(err::kTypeMismatch);
      return d;
    }
    case Variant::Kind::Array: Raise(err::kTypeMismatch);
  }
  Raise(err::kTypeMismatch);
}

namespace {

template <class Int>
Int RoundTo(double value) {
  if (std::isnan(value)) Raise(err::kOverflow);
  const double r = std::nearbyint(value);  // the default rounding mode: half to even
  if (r < static_cast<double>(std::numeric_limits<Int>::min()) ||
      r > static_cast<double>(std::numeric_limits<Int>::max())) {
    Raise(err::kOverflow);
  }
  return static_cast<Int>(r);
}

template <class Int>
Int ToWhole(const Variant& value) {
  if (value.IsInteger()) {
    const int64_t w = WholeOf(value);
    if (w < std::numeric_limits<Int>::min() || w > std::numeric_limits<Int>::max()) Raise(err::kOverflow);
    return static_cast<Int>(w);
  }
  return RoundTo<Int>(ToDouble(value));
}

}  // namespace

int16_t RoundToInt16(double value) { return RoundTo<int16_t>(value); }
int32_t RoundToInt32(double value) { return RoundTo<int32_t>(value); }
int16_t ToInt16(const Variant& value) { return ToWhole<int16_t>(value); }
int32_t ToInt32(const Variant& value) { return ToWhole<int32_t>(value); }

Variant Subtract(const Variant& value, int32_t amount) {
  switch (value.kind()) {
    case Variant::Kind::Null: return Null{};
    case Variant::Kind::Empty:
    case Variant::Kind::Bool:
    case Variant::Kind::Int16:
    case Variant::Kind::Int32:
    case Variant::Kind::Int64: {
      const int64_t base =
          value.IsInteger() ? WholeOf(value) : (value.kind() == Variant::Kind::Bool && value.get<bool>() ? -1 : 0);
      // The result keeps the wider of the two types and widens again on overflow.
      int64_t result = 0;
      if (__builtin_sub_overflow(base, static_cast<int64_t>(amount), &result)) {
        return static_cast<double>(base) - amount;
      }
      const bool narrow = value.kind() != Variant::Kind::Int32 && value.kind() != Variant::Kind::Int64 &&
                          amount >= std::numeric_limits<int16_t>::min() &&
                          amount <= std::numeric_limits<int16_t>::max();
      if (narrow && result >= std::numeric_limits<int16_t>::min() && result <= std::numeric_limits<int16_t>::max()) {
        return static_cast<int16_t>(result);
      }
      if (value.kind() != Variant::Kind::Int64 && result >= std::numeric_limits<int32_t>::min() &&
          result <= std::numeric_limits<int32_t>::max()) {
        return static_cast<int32_t>(result);
      }
      return result;
    }
    case Variant::Kind::Double: return value.get<double>() - amount;
    case Variant::Kind::Text: {
      double d = 0;
      if (!ParseNumber(value.get<std::string>(), d)) Raise(err::kTypeMismatch);
      return d - amount;
    }
    case Variant::Kind::Array: Raise(err::kTypeMismatch);
  }
  Raise(err::kTypeMismatch);
}

}  // namespace brv
