// `brvparts serve` as a client sees it: the script mode over HTTP, the refusals,
// many clients at once on the one control, and a clean stop on a signal.
#include <fcntl.h>
#include <httplib.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/Support.h"

namespace {

using json = nlohmann::ordered_json;
using namespace std::chrono_literals;

const std::string kLaptop = std::string(BRV_SOURCE_DIR) + "/samples/laptop.json";

// The program serving on 127.0.0.1 (a free port unless one is given), its
// standard error kept in a file.
class Server {
 public:
  explicit Server(int wanted = 0) {
    static int runs = 0;
    errPath_ = (std::filesystem::temp_directory_path() /
                ("brv-serve-" + std::to_string(getpid()) + "-" + std::to_string(++runs)))
                   .string();
    int out[2];
    if (pipe(out) != 0) throw std::runtime_error("pipe");
    std::vector<std::string> args = {BRV_PROGRAM, "serve", "--snapshot", kLaptop, "--port", std::to_string(wanted)};
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      dup2(open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDERR_FILENO);
      close(out[0]);
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(out[1]);
    out_ = out[0];
    // The first line, read for at most 20 s; it ends early if the program does.
    const auto end = std::chrono::steady_clock::now() + 20s;
    for (char c; std::chrono::steady_clock::now() < end;) {
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      if (read(out_, &c, 1) != 1 || c == '\n') break;
      line += c;
    }
    const std::string prefix = "Listening on http://127.0.0.1:";
    if (line.rfind(prefix, 0) == 0) port = std::stoi(line.substr(prefix.size()));
  }
  ~Server() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    close(out_);
    std::filesystem::remove(errPath_);
  }

  // Sends the signal and waits (at most 20 s) for the program to end: its exit
  // status, or -1 when it did not end by itself.
  int Stop(int signal = SIGTERM) {
    kill(pid_, signal);
    int status = 0;
    for (int i = 0; i < 200; ++i) {
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(100ms);
    }
    return -1;
  }

  std::string Stderr() const {
    std::ifstream in(errPath_);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  httplib::Client Client() const {
    httplib::Client client("127.0.0.1", port);
    client.set_connection_timeout(5);
    client.set_read_timeout(20);
    return client;
  }

  int port = -1;
  std::string line;  // the first line of its output

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string errPath_;
};

std::string Call(httplib::Client& client, const std::string& line) {
  auto res = client.Post("/api/call", line, "application/json");
  if (!res) return "no answer: " + httplib::to_string(res.error());
  if (res->status != 200) return "status " + std::to_string(res->status) + ": " + res->body;
  return res->body;
}

// The answers of the program's script mode to the lines, start-up line first.
std::vector<std::string> ScriptMode(const std::vector<std::string>& lines) {
  std::string input;
  for (const auto& l : lines) input += l + "\n";
  std::istringstream out(brv::test::RunProgram("--snapshot " + kLaptop + " --script -", input).out);
  std::vector<std::string> answers;
  for (std::string line; std::getline(out, line);) answers.push_back(line);
  return answers;
}

std::string Select(const std::string& category, const json& instance) {
  return json{{"method", "SetSelectItem"}, {"args", {category, instance}}}.dump();
}

TEST(WebServer, AnswersAsTheScriptModeDoes) {
  Server server;
  ASSERT_GT(server.port, 0) << server.line << server.Stderr();
  const std::vector<std::string> lines = {
      // The server only passes lines on: one of each kind of answer will do
      // (the kinds themselves are CategoryViewTest's).
      Select("Memory", 2),
      Select("CPU", 0),  // Subscript out of range
      Select("Nothing", 1),
      R"({"method":"GetInterfaceSafetyOptions","args":["{00020400-0000-0000-C000-000000000046}",0]})",
      "not json",
      Select("CD,DVD", 1),
  };
  const auto expected = ScriptMode(lines);
  ASSERT_EQ(expected.size(), lines.size() + 1);

  auto client = server.Client();
  auto state = client.Get("/api/state");
  ASSERT_TRUE(state);
  EXPECT_EQ(state->status, 200);
  json startup = json::parse(state->body);
  ASSERT_TRUE(startup.contains("currentGrid"));
  EXPECT_EQ(startup["currentGrid"], startup["grid"]) << "nothing was called yet";
  startup.erase("currentGrid");
  EXPECT_EQ(startup, json::parse(expected[0]));

  for (size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(Call(client, lines[i]), expected[i + 1]) << lines[i];

  // The current grid is the one the last call left.
  state = client.Get("/api/state");
  ASSERT_TRUE(state);
  EXPECT_EQ(json::parse(state->body)["currentGrid"], json::parse(expected.back())["grid"]);
  EXPECT_EQ(server.Stop(SIGINT), 0) << "Ctrl-C stops it cleanly";
  EXPECT_EQ(server.Stderr(), "");
}

// Every answer, taken or refused, carries the security headers; refusals are
// short JSON errors.
TEST(WebServer, ServesThePageAndRefusesWithShortJsonErrors) {
  Server server;
  ASSERT_GT(server.port, 0) << server.line << server.Stderr();
  const std::string justFits = Select("CPU", 1) + std::string(65536 - Select("CPU", 1).size(), ' ');
  const std::string kJson = "application/json", kHtml = "text/html; charset=utf-8";
  const struct {
    std::string name, method, path, contentType, body;
    httplib::Headers headers;
    int status;
    std::string allow, type, contains;  // contains: part of a page asset's body
  } cases[] = {
      {"unknown path", "GET", "/nope", "", "", {}, 404, "", kJson, ""},
      {"unknown path with a body", "POST", "/api/other", kJson, "{}", {}, 404, "", kJson, ""},
      {"GET of the call", "GET", "/api/call", "", "", {}, 405, "POST", kJson, ""},
      {"POST of the state", "POST", "/api/state", kJson, "{}", {}, 405, "GET, HEAD", kJson, ""},
      {"DELETE of the page", "DELETE", "/", "", "", {}, 405, "GET, HEAD", kJson, ""},
      {"text body", "POST", "/api/call", "text/plain", Select("CPU", 1), {}, 415, "", kJson, ""},
      {"JSON-like type", "POST", "/api/call", "application/json-seq", Select("CPU", 1), {}, 415, "", kJson, ""},
      {"one byte too many", "POST", "/api/call", kJson, justFits + " ", {}, 413, "", kJson, ""},
      {"another site's name", "GET", "/", "", "", {{"Host", "attacker.example"}}, 403, "", kJson, ""},
      {"a name that looks local", "GET", "/", "", "", {{"Host", "127.0.0.1.attacker.example:80"}}, 403, "", kJson, ""},
      {"a long unknown path", "GET", "/" + std::string(4000, 'x'), "", "", {}, 404, "", kJson, ""},
      // Taken:
      {"64 KiB exactly", "POST", "/api/call", "application/json; charset=utf-8", justFits, {}, 200, "", kJson, ""},
      {"HEAD of the page", "HEAD", "/", "", "", {}, 200, "", kHtml, ""},
      {"localhost by name", "GET", "/api/state", "", "", {{"Host", "localhost:1"}}, 200, "", kJson, ""},
      {"the page", "GET", "/", "", "", {}, 200, "", kHtml, "<script src=\"/app.js\""},
      {"its script", "GET", "/app.js", "", "", {}, 200, "", "text/javascript; charset=utf-8", "textContent"},
      {"its style", "GET", "/app.css", "", "", {}, 200, "", "text/css; charset=utf-8", ".site"},
      {"its icon", "GET", "/favicon.svg", "", "", {}, 200, "", "image/svg+xml", "<svg"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto client = server.Client();
    httplib::Result res{nullptr, httplib::Error::Unknown};
    if (c.method == "GET") res = client.Get(c.path, c.headers);
    if (c.method == "HEAD") res = client.Head(c.path, c.headers);
    if (c.method == "POST") res = client.Post(c.path, c.headers, c.body, c.contentType);
    if (c.method == "DELETE") res = client.Delete(c.path, c.headers);
    ASSERT_TRUE(res) << httplib::to_string(res.error());
    EXPECT_EQ(res->status, c.status) << res->body;
    EXPECT_EQ(res->get_header_value("Allow"), c.allow);
    EXPECT_EQ(res->get_header_value("Content-Type"), c.type);
    EXPECT_EQ(res->get_header_value("X-Content-Type-Options"), "nosniff");
    const std::string csp = res->get_header_value("Content-Security-Policy");
    EXPECT_NE(csp.find("script-src 'self'"), std::string::npos);
    EXPECT_EQ(csp.find("unsafe-inline"), std::string::npos);
    EXPECT_NE(res->body.find(c.contains), std::string::npos);
    if (c.status >= 400) {
      const auto body = json::parse(res->body, nullptr, false);
      ASSERT_TRUE(body.is_object()) << res->body;
      EXPECT_EQ(body.value("status", 0), c.status);
      EXPECT_FALSE(body.value("message", "").empty());
      EXPECT_LT(res->body.size(), 300u);
    }
  }
  auto client = server.Client();
  EXPECT_EQ(json::parse(Call(client, justFits))["result"], 1) << "the server goes on after every refusal";
  EXPECT_EQ(server.Stop(), 0);
  EXPECT_EQ(server.Stderr(), "");
}

TEST(WebServer, ManyClientsAtOnceGetConsistentAnswers) {
  Server server;
  ASSERT_GT(server.port, 0) << server.line << server.Stderr();
  // Each successful call's answer depends on its own arguments only: the
  // answers one client gets alone are the ones every client must get at once.
  const std::vector<std::string> requests = {
      Select("CPU", 1), Select("Memory", 1), Select("Memory", 2), Select("Display", 1),
      Select("HDD", 1), Select("CD,DVD", 1), Select("Modem", 1), Select("Bluetooth", 1),
      Select("Battery Pack", 1), Select("Docking Station", 1), Select("Network Adapter", 1),
      Select("Network Adapter", 2), Select("External Monitor", 1),
  };
  std::map<std::string, std::string> alone;
  {
    auto client = server.Client();
    for (const auto& r : requests) alone[r] = Call(client, r);
  }
  constexpr int kClients = 6, kCalls = 30;
  std::vector<std::vector<std::string>> failures(kClients);
  std::vector<std::thread> clients;
  const auto began = std::chrono::steady_clock::now();
  for (int t = 0; t < kClients; ++t) {
    clients.emplace_back([&, t] {
      auto client = server.Client();
      for (int i = 0; i < kCalls; ++i) {
        const std::string& r = requests[(t * 7 + i) % requests.size()];
        const std::string got = Call(client, r);
        if (got != alone.at(r)) failures[t].push_back(r + " answered " + got.substr(0, 200));
      }
    });
  }
  for (auto& c : clients) c.join();
  for (int t = 0; t < kClients; ++t) EXPECT_TRUE(failures[t].empty()) << "client " << t << ": " << failures[t].front();
  EXPECT_LT(std::chrono::steady_clock::now() - began, 60s);

  // A second server cannot take the port (the first still holds it) and says so.
  Server second(server.port);
  EXPECT_EQ(second.line, "");
  EXPECT_EQ(second.Stop(), 1);
  EXPECT_EQ(second.Stderr().rfind("brvparts: cannot listen on 127.0.0.1:" + std::to_string(server.port), 0), 0u)
      << second.Stderr();
  EXPECT_EQ(server.Stop(), 0);
  EXPECT_EQ(server.Stderr(), "");
}

}  // namespace
