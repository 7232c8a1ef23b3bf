#pragma once
// The dynamically typed value that the instrumentation answers with and that the
// result tables hold, with the conversions the control applies to it.
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace brv {

struct Empty {
  bool operator==(const Empty&) const = default;
};
struct Null {
  bool operator==(const Null&) const = default;
};

class Variant {
 public:
  using Array = std::vector<Variant>;
  enum class Kind { Empty, Null, Int16, Int32, Int64, Double, Bool, Text, Array };

  Variant() = default;
  Variant(Empty) {}
  Variant(Null n) : value_(n) {}
  Variant(int16_t v) : value_(v) {}
  Variant(int32_t v) : value_(v) {}
  Variant(int64_t v) : value_(v) {}
  Variant(double v) : value_(v) {}
  Variant(bool v) : value_(v) {}
  Variant(std::string v) : value_(std::move(v)) {}
  Variant(const char* v) : value_(std::string(v)) {}
  Variant(Array v) : value_(std::move(v)) {}

  Kind kind() const { return static_cast<Kind>(value_.index()); }
  bool IsEmpty() const { return kind() == Kind::Empty; }
  bool IsNull() const { return kind() == Kind::Null; }
  bool IsArray() const { return kind() == Kind::Array; }
  bool IsText() const { return kind() == Kind::Text; }
  // Whole numbers of any width.
  bool IsInteger() const;

  template <class T>
  const T* get_if() const {
    return std::get_if<T>(&value_);
  }
  template <class T>
  const T& get() const {
    return std::get<T>(value_);
  }

  bool operator==(const Variant& other) const = default;

 private:
  std::variant<Empty, Null, int16_t, int32_t, int64_t, double, bool, std::string, Array> value_;
};

// A short name of the value's kind, for messages and tests ("Integer", "Text", ...).
const char* KindName(Variant::Kind kind);

// The text form of a value: text unchanged; whole numbers in decimal digits with a
// leading "-" and no grouping; Empty gives "". Null and arrays have no text form
// and raise an error (94 and 13).
std::string TextOf(const Variant& value);

// Conversions to whole numbers, rounding half to even; out of range raises 6.
// Numeric text counts as its number; other text, arrays raise 13; Null raises 94.
int16_t ToInt16(const Variant& value);
int32_t ToInt32(const Variant& value);
double ToDouble(const Variant& value);

// Rounds half to even and narrows, raising 6 when the result does not fit.
int16_t RoundToInt16(double value);
int32_t RoundToInt32(double value);

// Variant arithmetic `value - amount`: Null stays Null, Empty counts as 0,
// numeric text as its number (a Double), truth values as -1 and 0, and a result
// that leaves its type's range widens. Anything else raises 13.
Variant Subtract(const Variant& value, int32_t amount);

// Parses a numeric text the way the runtime's conversions accept it (surrounding
// blanks, sign, digits, decimal point, exponent). False when it is not a number.
bool ParseNumber(const std::string& text, double& out);

}  // namespace brv
