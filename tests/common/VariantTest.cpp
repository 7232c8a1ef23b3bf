// Values: their text, whole numbers rounded from them and one subtracted from
// them, answered line by line in tests/data/expected/variant.txt.
#include <limits>

#include <gtest/gtest.h>

#include "common/Error.h"
#include "common/Variant.h"
#include "tests/support/Golden.h"
#include "tests/support/Support.h"

namespace brv {
namespace {

// "KIND VALUE" as in the answer file.
Variant Make(const std::string& kind, const std::string& value) {
  if (kind == "int16") return Variant(static_cast<int16_t>(std::stoi(value)));
  if (kind == "int32") return Variant(static_cast<int32_t>(std::stol(value)));
  if (kind == "int64") return Variant(int64_t{std::stoll(value)});
  if (kind == "double") return Variant(value == "nan" ? std::numeric_limits<double>::quiet_NaN() : std::stod(value));
  if (kind == "text") return Variant(test::Unescape(value));
  if (kind == "bool") return Variant(value == "true");
  if (kind == "null") return Variant(Null{});
  if (kind == "array") return Variant(value.empty() ? Variant::Array{} : Variant::Array{Variant(value)});
  return {};
}

// "$ OPERATION KIND VALUE": its answer, or the number of the error it raises.
TEST(Variant, AnswersTextRoundingAndSubtraction) {
  test::ExpectAnswers("expected/variant.txt", [](const std::string& line) {
    const size_t op = line.find(' '), kind = line.find(' ', op + 1);
    const Variant v = Make(line.substr(op + 1, kind - op - 1), kind == line.npos ? "" : line.substr(kind + 1));
    std::string out;
    const int32_t error = test::ErrorNumberOf([&] {
      if (line.starts_with("text ")) out = test::Quote(TextOf(v));
      if (line.starts_with("int16 ")) out = std::to_string(ToInt16(v));
      if (line.starts_with("int32 ")) out = std::to_string(ToInt32(v));
      if (line.starts_with("round32 ")) out = std::to_string(RoundToInt32(v.get<double>()));
      if (line.starts_with("minus-one ")) {
        const Variant r = Subtract(v, 1);
        out = std::string(KindName(r.kind())) + (r.IsNull() ? "" : " " + TextOf(r));
      }
    });
    return error ? "error " + std::to_string(error) : out;
  });
}

}  // namespace
}  // namespace brv
