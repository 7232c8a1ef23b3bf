#include "containers/common/GridText.h"

#include <algorithm>
#include <fmt/format.h>
#include <string>
#include <vector>

namespace brv {
namespace {

bool Wide(char32_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) || (c >= 0x3041 && c <= 0x33FF) ||
         (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
         (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
         (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

}  // namespace

std::string Printable(const std::string& text) {
  static const std::string kReplacement = "\xEF\xBF\xBD";
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const unsigned char b = static_cast<unsigned char>(text[i]);
    size_t len = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
    bool ok = len != 0 && i + len <= text.size();
    char32_t c = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
    for (size_t k = 1; ok && k < len; ++k) {
      const unsigned char cont = static_cast<unsigned char>(text[i + k]);
      ok = (cont & 0xC0) == 0x80;
      c = (c << 6) | (cont & 0x3F);
    }
    // Overlong forms and surrogates are not UTF-8 either.
    static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    ok = ok && c >= kMin[len] && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
    if (!ok) {
      out += kReplacement;
      ++i;
      continue;
    }
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
      out += kReplacement;
    } else {
      out.append(text, i, len);
    }
    i += len;
  }
  return out;
}

namespace {

bool Blank(const std::vector<std::string>& row) {
  return std::all_of(row.begin(), row.end(),
                     [](const std::string& t) { return t.find_first_not_of(' ') == std::string::npos; });
}

}  // namespace

std::string Shade(const std::optional<int32_t>& fill, Colours colours) {
  if (!fill || colours == Colours::kNone) return {};
  const int r = *fill & 0xFF, g = (*fill >> 8) & 0xFF, b = (*fill >> 16) & 0xFF;
  if (colours == Colours::kTrue) return fmt::format("\x1b[38;2;0;0;0;48;2;{};{};{}m", r, g, b);
  const auto distance = [&](int r2, int g2, int b2) { return (r - r2) * (r - r2) + (g - g2) * (g - g2) + (b - b2) * (b - b2); };
  if (colours == Colours::k256) {
    // The 6x6x6 cube (levels 0, 95, 135, ...) or the 24 greys, whichever is nearer.
    const auto level = [](int v) { return v < 48 ? 0 : v < 115 ? 1 : (v - 35) / 40; };
    const auto value = [](int l) { return l == 0 ? 0 : 55 + 40 * l; };
    const int lr = level(r), lg = level(g), lb = level(b);
    const int cube = 16 + 36 * lr + 6 * lg + lb;
    const int grey = std::clamp(((r + g + b) / 3 - 8 + 5) / 10, 0, 23), greyValue = 8 + 10 * grey;
    const bool useGrey = distance(greyValue, greyValue, greyValue) < distance(value(lr), value(lg), value(lb));
    return fmt::format("\x1b[30;48;5;{}m", useGrey ? 232 + grey : cube);
  }
  // The 8 basic colours as most terminals draw them.
  static constexpr int kBasic[8][3] = {{0, 0, 0},     {205, 0, 0},   {0, 205, 0},   {205, 205, 0},
                                       {0, 0, 238},   {205, 0, 205}, {0, 205, 205}, {229, 229, 229}};
  int best = 0;
  for (int i = 1; i < 8; ++i) {
    if (distance(kBasic[i][0], kBasic[i][1], kBasic[i][2]) < distance(kBasic[best][0], kBasic[best][1], kBasic[best][2])) best = i;
  }
  return fmt::format("\x1b[30;4{}m", best);
}

namespace {

// Bytes of the UTF-8 character that starts at `i` (the text is valid UTF-8 by now).
size_t CharLength(const std::string& s, size_t i) {
  const unsigned char b = static_cast<unsigned char>(s[i]);
  const size_t len = b < 0xC0 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
  return std::min(len, s.size() - i);
}

// A text as lines no wider than `width` columns, broken at spaces where a line
// has one, else between characters.
std::vector<std::string> Wrap(const std::string& text, size_t width);

}  // namespace

size_t DisplayWidth(const std::string& s) {
  size_t width = 0;
  for (size_t i = 0; i < s.size();) {
    const unsigned char b = static_cast<unsigned char>(s[i]);
    char32_t c = b;
    size_t len = 1;
    if (b >= 0xF0) {
      len = 4;
      c = b & 0x07;
    } else if (b >= 0xE0) {
      len = 3;
      c = b & 0x0F;
    } else if (b >= 0xC0) {
      len = 2;
      c = b & 0x1F;
    }
    if (i + len > s.size()) len = s.size() - i;
    for (size_t k = 1; k < len; ++k) c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    width += Wide(c) ? 2 : 1;
    i += len;
  }
  return width;
}

namespace {

std::vector<std::string> Wrap(const std::string& text, size_t width) {
  if (DisplayWidth(text) <= width) return {text};
  std::vector<std::string> lines;
  std::string line;
  const auto push = [&](std::string done) {
    done.erase(done.find_last_not_of(' ') + 1);
    lines.push_back(std::move(done));
  };
  for (size_t i = 0; i < text.size();) {
    const std::string ch = text.substr(i, CharLength(text, i));
    i += ch.size();
    while (!line.empty() && DisplayWidth(line) + DisplayWidth(ch) > width) {
      const size_t space = line.rfind(' ');
      if (space != std::string::npos && space > 0) {
        push(line.substr(0, space));
        line.erase(0, space + 1);
      } else {
        push(line);
        line.clear();
      }
    }
    if (line.empty() && ch == " ") continue;
    line += ch;
  }
  if (!line.empty() || lines.empty()) push(line);
  return lines;
}

}  // namespace

std::string RenderGridText(const GridState& s, const TextLook& look) {
  const bool colour = look.colours != Colours::kNone;
  int32_t last = s.rows;
  while (last > 1 && Blank(s.text[last - 1])) --last;

  std::vector<std::vector<std::string>> cells(last);
  std::vector<size_t> widths(s.cols, 0);
  for (int32_t r = 0; r < last; ++r) {
    for (int32_t c = 0; c < s.cols; ++c) {
      cells[r].push_back(Printable(s.text[r][c]));
      widths[c] = std::max(widths[c], DisplayWidth(cells[r][c]));
    }
  }

  // Narrowed to the width given, the widest column first; no column narrower
  // than a wide character.
  if (look.width > 0 && !widths.empty()) {
    constexpr size_t kNarrowest = 2;
    const auto total = [&] {
      size_t t = 1 + 3 * (widths.size() - 1);
      for (size_t w : widths) t += w;
      return t;
    };
    while (total() > look.width) {
      const auto widest = std::max_element(widths.rbegin(), widths.rend());
      if (*widest <= kNarrowest) break;
      --*widest;
    }
  }

  std::string out;
  for (int32_t r = 0; r < last; ++r) {
    std::vector<std::vector<std::string>> wrapped;
    size_t height = 1;
    for (int32_t c = 0; c < s.cols; ++c) {
      wrapped.push_back(Wrap(cells[r][c], widths[c]));
      height = std::max(height, wrapped.back().size());
    }
    for (size_t k = 0; k < height; ++k) {
      std::string line;
      for (int32_t c = 0; c < s.cols; ++c) {
        const std::string t = k < wrapped[c].size() ? wrapped[c][k] : "";
        std::string cell = " " + t;
        if (c + 1 < s.cols) cell += std::string(widths[c] - std::min(widths[c], DisplayWidth(t)) + 1, ' ');
        if (colour) {
          const std::string shade = Shade(s.fill[r][c], look.colours);
          const bool header = r == 0;
          line += (header ? std::string("\x1b[1m") : shade) + cell + (shade.empty() && !header ? "" : "\x1b[0m");
        } else {
          line += cell;
        }
        if (c + 1 < s.cols) line += look.boxDrawing ? "\xE2\x94\x82" : "|";  // │
      }
      // Plain output carries no trailing blanks.
      if (!colour) line.erase(line.find_last_not_of(' ') + 1);
      out += line + "\n";
    }
    if (r == 0) {
      std::string rule;
      for (int32_t c = 0; c < s.cols; ++c) {
        const size_t w = widths[c] + (c + 1 < s.cols ? 2 : 1);
        for (size_t k = 0; k < w; ++k) rule += look.boxDrawing ? "\xE2\x94\x80" : "-";  // ─
        if (c + 1 < s.cols) rule += look.boxDrawing ? "\xE2\x94\xBC" : "+";              // ┼
      }
      out += rule + "\n";
    }
  }
  return out;
}

}  // namespace brv
