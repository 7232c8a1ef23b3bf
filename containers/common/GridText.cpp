#include "containers/common/GridText.h"

#include <algorithm>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "common/Text.h"

namespace brv {
namespace {}  // namespace

// Control characters would move the terminal's cursor or change its state: a
// device name must never be able to do that, nor reorder or hide what is shown
// beside it. C0 and C1 controls, DEL, format characters (bidirectional
// overrides, zero-width spaces) and bytes that are not UTF-8 are shown as U+FFFD.
std::string Printable(const std::string& text) {
  static const std::string kReplacement = "\xEF\xBF\xBD";
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const Utf8Char c = DecodeUtf8(std::string_view(text).substr(i));
    if (!c.valid || c.code < 0x20 || (c.code >= 0x7F && c.code <= 0x9F) || IsFormatCharacter(c.code)) {
      out += kReplacement;
    } else {
      out.append(text, i, c.length);
    }
    i += c.length;
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
  const auto distance = [&](int r2, int g2, int b2) {
    return (r - r2) * (r - r2) + (g - g2) * (g - g2) + (b - b2) * (b - b2);
  };
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
  static constexpr int kBasic[8][3] = {{0, 0, 0},   {205, 0, 0},   {0, 205, 0},   {205, 205, 0},
                                       {0, 0, 238}, {205, 0, 205}, {0, 205, 205}, {229, 229, 229}};
  int best = 0;
  for (int i = 1; i < 8; ++i) {
    if (distance(kBasic[i][0], kBasic[i][1], kBasic[i][2]) <
        distance(kBasic[best][0], kBasic[best][1], kBasic[best][2]))
      best = i;
  }
  return fmt::format("\x1b[30;4{}m", best);
}

namespace {

// A text as lines no wider than `width` columns, broken at spaces where a line
// has one, else between characters.
std::vector<std::string> Wrap(const std::string& text, size_t width) {
  if (DisplayWidth(text) <= width) return {text};
  std::vector<std::string> lines;
  std::string line;
  const auto push = [&](std::string done) {
    done.erase(done.find_last_not_of(' ') + 1);
    lines.push_back(std::move(done));
  };
  for (size_t i = 0; i < text.size();) {
    const std::string ch = text.substr(i, DecodeUtf8(std::string_view(text).substr(i)).length);
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
        if (c + 1 < s.cols) rule += look.boxDrawing ? "\xE2\x94\xBC" : "+";             // ┼
      }
      out += rule + "\n";
    }
  }
  return out;
}

}  // namespace brv
