#include "platform/strings/Resources.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "common/Error.h"
#include "common/Path.h"

namespace brv {
namespace fs = std::filesystem;

namespace {

Catalogue ReadCatalogueFile(const std::string& path) {
  std::ifstream in(PathFromUtf8(path), std::ios::binary);
  if (!in) Raise(err::kCannotCreateObject, "cannot read the message catalogue " + path);
  Catalogue catalogue;
  std::string line;
  int lineNo = 0;
  while (std::getline(in, line)) {
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    size_t digits = 0;
    while (digits < line.size() && digits < 9 && std::isdigit(static_cast<unsigned char>(line[digits]))) ++digits;
    const size_t gap = line.find_first_not_of(" \t", digits);
    if (digits == 0 || gap == digits || gap == std::string::npos) {
      Raise(err::kCannotCreateObject, path + ":" + std::to_string(lineNo) + ": expected a message number and its text");
    }
    catalogue[std::stoi(line.substr(0, digits))] = line.substr(gap);
  }
  return catalogue;
}

}  // namespace

Catalogue ReadCatalogue(const std::string& path) { return *SharedCatalogue(path); }

std::shared_ptr<const Catalogue> SharedCatalogue(const std::string& path) {
  struct Kept {
    uintmax_t size = 0;
    fs::file_time_type time;
    std::shared_ptr<const Catalogue> catalogue;
  };
  static std::mutex lock;
  static std::map<std::string, Kept> kept;
  std::error_code ec;
  const fs::path file = PathFromUtf8(path);
  const uintmax_t size = fs::file_size(file, ec);
  const fs::file_time_type time = ec ? fs::file_time_type() : fs::last_write_time(file, ec);
  if (!ec) {
    const std::lock_guard<std::mutex> guard(lock);
    const auto found = kept.find(path);
    if (found != kept.end() && found->second.size == size && found->second.time == time) return found->second.catalogue;
  }
  auto catalogue = std::make_shared<const Catalogue>(ReadCatalogueFile(path));
  if (!ec) {
    const std::lock_guard<std::mutex> guard(lock);
    if (kept.size() < 64) kept[path] = {size, time, catalogue};
  }
  return catalogue;
}

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

void AddLocale(std::vector<std::string>& out, std::string locale) {
  // language[_territory][.codeset][@modifier]
  locale = locale.substr(0, locale.find_first_of(".@"));
  if (locale.empty()) return;
  out.push_back(locale);
  const size_t underscore = locale.find('_');
  if (underscore != std::string::npos) out.push_back(locale.substr(0, underscore));
}

}  // namespace

std::vector<std::string> PreferredLanguages() {
  std::string locale = Env("LC_ALL");
  if (locale.empty()) locale = Env("LC_MESSAGES");
  if (locale.empty()) locale = Env("LANG");
  std::vector<std::string> out;
  // As with the C library, the C locale means untranslated, whatever LANGUAGE says.
  if (!locale.empty() && locale != "C" && locale != "POSIX" && !locale.starts_with("C.")) {
    std::stringstream list(Env("LANGUAGE"));
    for (std::string item; std::getline(list, item, ':');) AddLocale(out, item);
    AddLocale(out, locale);
  }
  out.push_back("en");
  return out;
}

std::string CatalogueFolder() {
  if (std::string env = Env("BRVPARTS_MESSAGES"); !env.empty()) return env;
  // The program does not move while it runs: where its catalogues are is
  // worked out once.
  static const std::string kBesideProgram = [] {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return std::string("messages");
    const fs::path beside = exe.parent_path() / "messages";
    if (fs::is_directory(beside, ec)) return beside.string();
    return (exe.parent_path().parent_path() / "share" / "brvparts" / "messages").string();
  }();
  return kBesideProgram;
}

Resources::Resources() : Resources(CatalogueFolder(), PreferredLanguages()) {}

Resources::Resources(const std::string& folder, const std::vector<std::string>& languages) {
  // UTF-8 names throughout: a folder the ANSI code page cannot spell is read on
  // Windows too.
  const auto path = [&](const std::string& lang) { return folder + "/" + lang + ".msg"; };
  const auto exists = [&](const std::string& lang) {
    std::error_code ec;
    return fs::is_regular_file(PathFromUtf8(path(lang)), ec);
  };
  if (exists("en")) english_ = SharedCatalogue(path("en"));
  for (const std::string& lang : languages) {
    if (lang.find('/') != std::string::npos || lang.find("..") != std::string::npos) continue;
    if (lang == "en") {
      if (!english_->empty()) language_ = "en";
      break;
    }
    if (exists(lang)) {
      chosen_ = SharedCatalogue(path(lang));
      language_ = lang;
      break;
    }
  }
  if (language_.empty()) Raise(err::kCannotCreateObject, "no message catalogue in " + folder);
}

std::string Resources::GetResourceString(int32_t number) const {
  if (auto it = chosen_->find(number); it != chosen_->end()) return it->second;
  if (auto it = english_->find(number); it != english_->end()) return it->second;
  Raise(err::kInvalidCall, "no message numbered " + std::to_string(number));
}

std::string Resources::GetResourceLanguage(int32_t number) const {
  if (chosen_->count(number)) return language_;
  if (english_->count(number)) return "en";
  Raise(err::kInvalidCall, "no message numbered " + std::to_string(number));
}

Variant Resources::Call(std::string_view method, std::vector<Variant>& args) {
  if (method == "GetResourceString") {
    if (args.size() != 1) Raise(err::kInvalidCall, "GetResourceString takes one argument");
    return GetResourceString(ToInt32(args[0]));
  }
  if (method == "GetResourceLanguage") {
    if (args.size() != 1) Raise(err::kInvalidCall, "GetResourceLanguage takes one argument");
    return GetResourceLanguage(ToInt32(args[0]));
  }
  Raise(err::kNoSuchMember, std::string(method));
}

std::shared_ptr<AutomationObject> CreateResources() { return std::make_shared<Resources>(); }

}  // namespace brv
