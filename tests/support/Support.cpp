#include "tests/support/Support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "common/Trap.h"
#include "instrumentation/snapshot/Snapshot.h"
#include "platform/strings/Resources.h"

namespace brv::test {

namespace {
// A provider that answers message N with "#N".
struct FakeProvider : AutomationObject {
  Variant Call(std::string_view method, std::vector<Variant>& args) override {
    if (method != "GetResourceString") Raise(err::kNoSuchMember);
    return "#" + std::to_string(ToInt32(args.at(0)));
  }
};
}  // namespace

ProviderScope::ProviderScope(ProviderMode mode) { Switch(mode); }
ProviderScope::~ProviderScope() { RegisterClass(kResourcesProgId, CreateResources); }

void ProviderScope::Switch(ProviderMode mode) {
  switch (mode) {
    case ProviderMode::Fake: RegisterClass(kResourcesProgId, [] { return std::make_shared<FakeProvider>(); }); break;
    case ProviderMode::Missing: RegisterClass(kResourcesProgId, {}); break;
    case ProviderMode::Installed: RegisterClass(kResourcesProgId, CreateResources); break;
  }
}

BoxRecorder::BoxRecorder()
    : scope_([this](const std::string& prompt, const std::string& title, int32_t style) {
        boxes.push_back({prompt, title, style});
      }) {}

namespace {
int gQueries = 0;

class CountingSource : public ClassSource {
 public:
  explicit CountingSource(std::shared_ptr<const ClassSource> inner) : inner_(std::move(inner)) {}
  std::optional<int32_t> Unreachable() const override { return inner_->Unreachable(); }
  std::shared_ptr<const ClassAnswer> Query(std::string_view className) const override {
    ++gQueries;
    return inner_->Query(className);
  }
  std::shared_ptr<const ClassAnswer> QueryByKey(std::string_view className, std::string_view key,
                                                std::string_view value) const override {
    ++gQueries;
    return inner_->QueryByKey(className, key, value);
  }
  std::optional<std::string> KeyProperty(std::string_view c) const override { return inner_->KeyProperty(c); }

 private:
  std::shared_ptr<const ClassSource> inner_;
};
}  // namespace

void UseSnapshot(const std::string& document) {
  gQueries = 0;
  UseClassSource(
      std::make_shared<CountingSource>(std::make_shared<SnapshotSource>(ParseSnapshot(document, "test snapshot"))));
}

std::string SnapshotWith(const std::string& classes) {
  return R"({"format": "brvparts-snapshot/1", "classes": {)" + classes + "}}";
}

int QueriesAnswered() { return gQueries; }

Outcome RunProgram(const std::string& args, const std::string& input, const std::string& lang, const std::string& env) {
  // Tests run in parallel processes: every run has files of its own.
  static int runs = 0;
  const auto dir = std::filesystem::temp_directory_path();
  const std::string tag = std::to_string(getpid()) + "-" + std::to_string(++runs);
  const std::string in = (dir / ("brv-in-" + tag)).string(), err = (dir / ("brv-err-" + tag)).string();
  std::ofstream(in) << input;
  const std::string cmd = "COLUMNS= LC_ALL= LC_CTYPE= LC_MESSAGES= LANGUAGE= LANG=" + lang + " " + env + " " +
                          BRV_PROGRAM + " " + args + " <" + in + " 2>" + err;
  Outcome r{};
  FILE* p = popen(cmd.c_str(), "r");
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
  r.status = WEXITSTATUS(pclose(p));
  std::ifstream e(err);
  r.err.assign(std::istreambuf_iterator<char>(e), {});
  std::filesystem::remove(in);
  std::filesystem::remove(err);
  return r;
}

namespace {
std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
    text.replace(at, from.size(), to);
  return text;
}

// One stream's lines, each after its mark; an escape character shows as \e.
std::string Marked(const std::string& text, char mark) {
  std::string out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    out += line.empty() ? std::string(1, mark) : mark + (" " + Replace(line, "\x1b", "\\e"));
    out += "\n";
  }
  if (!text.empty() && text.back() != '\n') out += mark + std::string(" (no line end)\n");
  return out;
}
}  // namespace

void ExpectTranscript(const std::string& relative, const std::vector<std::pair<std::string, std::string>>& names) {
  const std::string path = std::string(BRV_TEST_DATA) + "/" + relative;
  std::ifstream in(path);
  std::string renewed, command, expected;
  const auto run = [&] {
    if (command.empty()) return;
    std::istringstream words(command.substr(2));
    std::string lang = "C", env, word, args;
    while (words >> word && word != "brvparts") {
      if (word.starts_with("LANG=")) {
        lang = word.substr(5);
      } else {
        env += word + " ";
      }
    }
    std::getline(words, args);
    for (const auto& [name, value] : names) args = Replace(args, name, value);
    const Outcome r = RunProgram(args, "", lang, env);
    std::string got = Marked(r.out, '|') + Marked(r.err, '!') + "= " + std::to_string(r.status) + "\n";
    for (const auto& [name, value] : names) got = Replace(got, value, name);
    EXPECT_EQ(got, expected) << command;
    renewed += command + "\n" + got;
    command.clear();
  };
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("$ ")) {
      run();
      command = line;
      expected.clear();
    } else if (!command.empty() && !line.empty() && std::string_view("|!=").find(line[0]) != std::string::npos) {
      expected += line + "\n";
    } else {
      run();
      renewed += line + "\n";
    }
  }
  run();
  if (std::getenv("BRV_RENEW")) std::ofstream(path) << renewed;
}

void ResetModule() {
  Module() = ModuleState{};
  ThreadError().Clear();
}

}  // namespace brv::test

namespace brv {
void PrintTo(const Variant& value, std::ostream* out) {
  *out << KindName(value.kind());
  if (!value.IsNull() && !value.IsEmpty()) {
    try {
      *out << " " << TextOf(value);
    } catch (const Error&) {
      *out << " [...]";
    }
  }
}
}  // namespace brv
