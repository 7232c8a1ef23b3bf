#include "containers/cli/CategoryArg.h"

#include <algorithm>
#include <limits>
#include <set>
#include <stdexcept>

#include "common/Excerpt.h"
#include "common/Text.h"
#include "containers/cli/Texts.h"

namespace brv::cli {
namespace {

// A typed name longer than this names nothing; it is not compared further.
constexpr size_t kLongestName = 200;

// A name as it is compared: ASCII letters and Ä, Ö, Ü in lower case; commas,
// hyphens, underscores and ideographic spaces as blanks, one blank between words.
std::string Key(std::string_view text) {
  std::string out;
  bool blank = true;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool ideographicSpace = text.substr(i, 3) == "\xE3\x80\x80";
    const char c = text[i];
    if (ideographicSpace || c == ' ' || c == '\t' || c == ',' || c == '-' || c == '_') {
      if (!blank) out += ' ';
      blank = true;
      if (ideographicSpace) i += 2;
      continue;
    }
    const bool umlaut =
        c == '\xC3' && i + 1 < text.size() && (text[i + 1] == '\x84' || text[i + 1] == '\x96' || text[i + 1] == '\x9C');
    out += LowerAscii(c);
    if (umlaut) out += static_cast<char>(text[++i] + 0x20);
    blank = false;
  }
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// A name people use and the category it names.
struct Word {
  std::string key;
  Category category;
};

// Every category's own name, the words people use for it in English, and those
// of the user's language (messages 2011 to 2021: words separated by '|').
const std::vector<Word>& Words() {
  static const std::vector<Word> words = [] {
    std::vector<Word> all;
    std::set<std::string> seen;
    const auto add = [&](std::string_view text, Category c) {
      std::string key = Key(text);
      if (!key.empty() && seen.insert(key).second) all.push_back({std::move(key), c});
    };
    for (Category c : kAllCategories) add(NameOf(c), c);
    for (bool english : {true, false}) {
      for (Category c : kAllCategories) {
        const Text number = static_cast<Text>(kCategoryWords + static_cast<int32_t>(IndexOf(c)));
        const std::string list = english ? English(number) : Say(number, {});
        for (std::string_view word : SplitFields(list, "|")) add(word, c);
      }
    }
    return all;
  }();
  return words;
}

// Whether each typed word begins the name's word in its place ("net ad" begins
// "network adapter").
bool Begins(std::string_view typed, std::string_view name) {
  const std::vector<std::string_view> t = SplitFields(typed, " "), n = SplitFields(name, " ");
  if (t.size() > n.size()) return false;
  for (size_t i = 0; i < t.size(); ++i) {
    if (!n[i].starts_with(t[i])) return false;
  }
  return true;
}

std::u32string CodePoints(std::string_view text) {
  std::u32string out;
  while (!text.empty()) {
    const Utf8Char c = DecodeUtf8(text);
    out += c.code;
    text.remove_prefix(c.length);
  }
  return out;
}

// Edits from one text to the other: characters inserted, removed, replaced, or
// two neighbours swapped ("memroy" is one from "memory").
size_t Distance(const std::u32string& a, const std::u32string& b) {
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    for (size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[a.size()][b.size()];
}

// The edits a slip of the fingers makes in a name of this many characters;
// more is another word ("cs" is not "cd", "cpux" is "cpu").
size_t Slips(size_t length) { return length <= 2 ? 0 : length <= 5 ? 1 : length <= 9 ? 2 : 3; }

std::string Quoted(std::string_view name) {
  return name.find_first_of(" ,") == std::string_view::npos ? std::string(name) : "\"" + std::string(name) + "\"";
}

// The category the text names, or the error that says why none.
Category ReadCategory(std::string_view text) {
  const std::string typed = Key(text.substr(0, kLongestName));
  std::set<Category> exact, begun;
  for (const Word& w : Words()) {
    if (w.key == typed) exact.insert(w.category);
    if (!typed.empty() && Begins(typed, w.key)) begun.insert(w.category);
  }
  if (exact.size() == 1) return *exact.begin();
  if (begun.size() == 1) return *begun.begin();
  if (begun.size() > 1) {
    std::string names;
    for (Category c : begun) names += (names.empty() ? "" : ", ") + Quoted(NameOf(c));
    throw SelectionError(Say(kAmbiguousCategory, {Excerpt(text), names}));
  }
  // The nearest word within a slip, by the order of the categories on a tie.
  const std::u32string points = CodePoints(typed.substr(0, 64));
  std::optional<Category> nearest;
  size_t best = std::numeric_limits<size_t>::max();
  for (const Word& w : Words()) {
    const std::u32string name = CodePoints(w.key);
    const size_t d = Distance(points, name);
    if (d <= Slips(name.size()) && (d < best || (d == best && w.category < *nearest))) {
      nearest = w.category;
      best = d;
    }
  }
  if (!nearest) throw SelectionError(Say(kNoSuchCategory, {Excerpt(text), CategoryList()}));
  throw SelectionError(Say(kUnknownCategory, {Excerpt(text), std::string(NameOf(*nearest)), CategoryList()}));
}

// Whether the category is named by the text, without an error.
bool NamesCategory(std::string_view text) {
  try {
    ReadCategory(text);
    return true;
  } catch (const SelectionError&) {
    return false;
  }
}

// The instance argument: a positive whole number (surrounding blanks ignored),
// numbers past any count kept as the largest int32; "all" (or the user's
// language's word) for every instance.
std::optional<int32_t> ReadInstance(std::string_view text) {
  const std::string_view trimmed = Trim(text);
  if (EqualNoCase(trimmed, "all") || trimmed == Say(kAllInstances, {})) return std::nullopt;
  if (!AllDigits(trimmed)) throw SelectionError(Say(kBadInstance, {Excerpt(text)}));
  int64_t n = 0;
  for (char c : trimmed) n = std::min<int64_t>(n * 10 + (c - '0'), std::numeric_limits<int32_t>::max());
  if (n == 0) throw SelectionError(Say(kBadInstance, {Excerpt(text)}));
  return static_cast<int32_t>(n);
}

std::string Joined(const std::vector<std::string>& words, size_t count) {
  std::string out;
  for (size_t i = 0; i < count; ++i) out += (i ? " " : "") + words[i];
  return out;
}

// Whether an argument is meant as an instance: blank, a number of any form, or "all".
bool LooksLikeInstance(std::string_view text) {
  const std::string_view t = Trim(text);
  return t.empty() || t.find_first_not_of("+-.0123456789") == std::string_view::npos || EqualNoCase(t, "all") ||
         t == Say(kAllInstances, {});
}

}  // namespace

Selection ReadSelection(const std::vector<std::string>& words) {
  if (words.empty()) return {};
  if (words.size() == 1) return {ReadCategory(words[0]), std::nullopt};
  // The last argument is the instance, unless all of them together name the
  // category ("cd dvd", "Network Adapter") or are the name mistyped.
  const std::string all = Joined(words, words.size()), head = Joined(words, words.size() - 1);
  if (LooksLikeInstance(words.back()) || (!NamesCategory(all) && NamesCategory(head))) {
    const Category category = ReadCategory(head);
    return {category, ReadInstance(words.back())};
  }
  return {ReadCategory(all), std::nullopt};
}

std::string CategoryList() {
  std::string names;
  for (std::string_view name : kCategoryNames) names += (names.empty() ? "" : ", ") + Quoted(name);
  return names;
}

}  // namespace brv::cli
