// `brvparts serve` as a client sees it: the script mode over HTTP, many clients
// at once on the one control, and a clean stop on a signal; the status of every
// kind of request, malformed or hostile; which Host values a server takes; the
// comparison with a baseline.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include "common/Category.h"
#include "containers/web/Site.h"
#include "tests/support/Golden.h"
#include "tests/support/Support.h"

namespace {

using json = nlohmann::ordered_json;
using namespace std::chrono_literals;

const std::string kLaptop = std::string(BRV_SOURCE_DIR) + "/samples/laptop.json";

// The program serving on 127.0.0.1 (a free port unless one is given), its
// standard error kept in a file.
class Server {
 public:
  explicit Server(int wanted = 0, const std::string& extra = "") {
    static int runs = 0;
    errPath_ = (std::filesystem::temp_directory_path() /
                ("brv-serve-" + std::to_string(getpid()) + "-" + std::to_string(++runs)))
                   .string();
    // The shell's process id, which the program takes over, then the program's first line.
    out_ = popen(("echo $$; exec " BRV_PROGRAM " serve --snapshot " + kLaptop + " --port " + std::to_string(wanted) +
                  " " + extra + " 2>" + errPath_)
                     .c_str(),
                 "r");
    char first[256] = "";
    if (fgets(first, sizeof first, out_)) pid_ = std::stoi(first);
    if (fgets(first, sizeof first, out_)) line.assign(first, strcspn(first, "\n"));
    const std::string prefix = "Listening on http://127.0.0.1:";
    if (line.rfind(prefix, 0) == 0) port = std::stoi(line.substr(prefix.size()));
  }
  ~Server() {
    if (pid_ > 0) kill(pid_, SIGKILL);
    pclose(out_);
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
  FILE* out_ = nullptr;
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

// One client gets what the script mode answers, line for line; many clients at
// once get the same answers (each depends on its own arguments only); a second
// server cannot take the port; Ctrl-C stops the server cleanly.
TEST(WebServer, AnswersAsTheScriptModeDoesToOneClientAndToMany) {
  Server server;
  ASSERT_GT(server.port, 0) << server.line << server.Stderr();
  std::vector<std::string> lines;
  for (const std::string_view category : brv::kCategoryNames) lines.push_back(Select(std::string(category), 1));
  lines.push_back(Select("Memory", 2));
  lines.push_back(Select("Network Adapter", 2));
  const size_t successful = lines.size();
  // One of each other kind of answer (the kinds are ScriptSessionTest's).
  for (const std::string& other :
       {Select("CPU", 0), Select("Nothing", 1), std::string("not json"),
        std::string(R"({"method":"GetInterfaceSafetyOptions","args":["{00020400-0000-0000-C000-000000000046}",0]})"),
        Select("CD,DVD", 1)}) {
    lines.push_back(other);
  }
  const auto expected = ScriptMode(lines);
  ASSERT_EQ(expected.size(), lines.size() + 1);

  auto client = server.Client();
  auto state = client.Get("/api/state");
  ASSERT_TRUE(state);
  EXPECT_EQ(state->status, 200);
  json startup = json::parse(state->body);
  ASSERT_TRUE(startup.contains("currentGrid"));
  EXPECT_EQ(startup["currentGrid"], startup["grid"]) << "nothing was called yet";
  EXPECT_EQ(startup["selection"], nullptr) << "nothing was called yet";
  for (size_t i = 0; i < brv::kCategoryCount; ++i) EXPECT_EQ(startup["categories"][i], brv::kCategoryNames[i]);
  // The page's texts, in the language the server found in its environment.
  EXPECT_TRUE(startup["language"].is_string());
  EXPECT_TRUE(startup["texts"]["of"].is_string());
  EXPECT_EQ(startup["baseline"], false) << "served without --baseline";
  for (const char* added : {"currentGrid", "categories", "selection", "baseline", "language", "texts"}) {
    startup.erase(added);
  }
  EXPECT_EQ(startup, json::parse(expected[0]));
  for (size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(Call(client, lines[i]), expected[i + 1]) << lines[i];
  // The current grid is the one the last call left, and the selection that of
  // the last call that succeeded.
  state = client.Get("/api/state");
  ASSERT_TRUE(state);
  EXPECT_EQ(json::parse(state->body)["currentGrid"], json::parse(expected.back())["grid"]);
  EXPECT_EQ(json::parse(state->body)["selection"], json::parse(R"({"category": "CD,DVD", "index": 1, "count": 1})"));

  constexpr int kClients = 6, kCalls = 30;
  std::vector<std::vector<std::string>> failures(kClients);
  std::vector<std::thread> clients;
  const auto began = std::chrono::steady_clock::now();
  for (int t = 0; t < kClients; ++t) {
    clients.emplace_back([&, t] {
      auto own = server.Client();
      for (int i = 0; i < kCalls; ++i) {
        const size_t n = (t * 7 + i) % successful;
        const std::string got = Call(own, lines[n]);
        if (got != expected[n + 1]) failures[t].push_back(lines[n] + " answered " + got.substr(0, 200));
      }
    });
  }
  for (auto& c : clients) c.join();
  for (int t = 0; t < kClients; ++t) EXPECT_TRUE(failures[t].empty()) << "client " << t << ": " << failures[t].front();
  EXPECT_LT(std::chrono::steady_clock::now() - began, 60s);

  Server second(server.port);
  EXPECT_EQ(second.line, "");
  EXPECT_EQ(second.Stop(), 1);
  EXPECT_EQ(second.Stderr().rfind("brvparts: cannot listen on 127.0.0.1:" + std::to_string(server.port), 0), 0u)
      << second.Stderr();
  EXPECT_EQ(server.Stop(SIGINT), 0);
  EXPECT_EQ(server.Stderr(), "");
}

// One request alone on a connection, as raw bytes: the status of its one
// answer ("100 Continue" passed over; 0 when none came within 5 s), whether the
// server then closed the connection, and the answer's head and body.
struct Answer {
  int status = 0;
  bool closed = false;
  std::string head, body;
};

Answer Exchange(int port, const std::string& request) {
  const bool head = request.starts_with("HEAD ");
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  Answer answer;
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string got;
    const auto end = std::chrono::steady_clock::now() + 5s;
    for (char chunk[65536]; std::chrono::steady_clock::now() < end;) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
      if (n <= 0) {
        answer.closed = true;
        break;
      }
      got.append(chunk, static_cast<size_t>(n));
      while (got.starts_with("HTTP/1.1 100 ") && got.find("\r\n\r\n") != std::string::npos) {
        got.erase(0, got.find("\r\n\r\n") + 4);
      }
      // A whole answer and the connection kept: no close to wait for.
      const size_t headEnd = got.find("\r\n\r\n");
      if (headEnd != std::string::npos && got.find("Connection: close") > headEnd) {
        const size_t at = got.find("Content-Length: ");
        if (at < headEnd && got.size() >= headEnd + 4 + (head ? 0 : std::stoul(got.substr(at + 16)))) break;
      }
    }
    if (got.starts_with("HTTP/1.1 ")) answer.status = std::stoi(got.substr(9, 3));
    const size_t headEnd = got.find("\r\n\r\n");
    answer.head = got.substr(0, headEnd);
    if (headEnd != std::string::npos) answer.body = got.substr(headEnd + 4);
  }
  close(fd);
  return answer;
}

// Each request of tests/data/expected/web-requests.txt, in order on one server.
TEST(WebServer, EveryKindOfRequest) {
  Server server;
  ASSERT_GT(server.port, 0) << server.line << server.Stderr();
  brv::test::ExpectAnswers("expected/web-requests.txt", [&](const std::string& line) {
    const std::string request = brv::test::Unescape(line);
    const Answer answer = Exchange(server.port, request);
    // The server's own answers carry the security headers.
    if (answer.head.find("Content-Type: ") != std::string::npos) {
      EXPECT_NE(answer.head.find("X-Content-Type-Options: nosniff"), std::string::npos) << answer.head;
      EXPECT_NE(answer.head.find("script-src 'self'"), std::string::npos) << answer.head;
    }
    // The bodies of the server's own refusals, and the details.
    const bool shown = answer.head.find("Content-Type: application/json") != std::string::npos &&
                       (answer.status != 200 || request.starts_with("GET /api/details"));
    return std::to_string(answer.status) + (answer.closed ? " closed\n" : " kept\n") +
           (shown && !answer.body.empty() ? answer.body + "\n" : "");
  });
  EXPECT_EQ(server.Stop(), 0);
  EXPECT_EQ(server.Stderr(), "");
}

// Slow, idle and deaf clients, bursts of connections, pipelined requests and
// bodies without end are the hostile-client job's (scripts/hostile-web.sh).

// Each "$ HOST" of tests/data/expected/hosts.txt: the servers that take it, by
// the address they serve; each "$ allow NAME": whether --allow-host takes it.
TEST(WebServer, HostPolicy) {
  using brv::web::HostPolicy;
  const std::vector<std::string> machine = {"parts-laptop", "192.0.2.10", "2001:db8::10"};
  const std::vector<std::string> allowed = {"Parts.Example", "[2001:db8::5]", "198.51.100.7"};
  const std::pair<const char*, HostPolicy> servers[] = {
      {"loopback", HostPolicy("127.0.0.1", {}, machine)},
      {"loopback allowing", HostPolicy("127.0.0.1", allowed, machine)},
      {"address", HostPolicy("192.0.2.10", allowed, machine)},
      {"wildcard", HostPolicy("0.0.0.0", {}, machine)},
      {"ipv6", HostPolicy("2001:db8::10", {}, {})},
  };
  brv::test::ExpectAnswers("expected/hosts.txt", [&](const std::string& line) {
    if (line.starts_with("allow ")) {
      try {
        HostPolicy("127.0.0.1", {json::parse(line.substr(6)).get<std::string>()}, {});
        return std::string("taken\n");
      } catch (const std::invalid_argument& e) {
        return "refused: " + std::string(e.what()) + "\n";
      }
    }
    const auto host = brv::web::ParseHost(json::parse(line).get<std::string>());
    if (!host) return std::string("no host\n");
    std::string takers;
    for (const auto& [name, policy] : servers) {
      if (policy.Allows(*host)) takers += (takers.empty() ? "" : ", ") + std::string(name);
    }
    return (takers.empty() ? "none" : takers) + "\n";
  });
}

}  // namespace

namespace baseline {

// Against tests/data/web/baseline.json, the sample laptop as it was before:
// another disk, a smaller module in slot 1, a second monitor since gone, and
// another address (the answer in tests/data/expected/web-baseline.json).
// --allow-host reaches the web container through `brvparts serve` (a value that
// is no name is a usage error: ProgramTest's transcript).
TEST(WebServerBaseline, MarksWhatDiffersAndListsWhatIsGone) {
  Server server(0,
                "--baseline " BRV_TEST_DATA "/web/baseline.json --allow-host parts.example --allow-host 198.51.100.7");
  ASSERT_GT(server.port, 0) << server.line << server.Stderr();
  auto client = server.Client();
  for (const auto& [host, status] :
       {std::pair{"parts.example:8080", 200}, {"198.51.100.7", 200}, {"localhost", 200}, {"other.example", 403}}) {
    auto res = client.Get("/api/state", {{"Host", host}});
    ASSERT_TRUE(res) << host;
    EXPECT_EQ(res->status, status) << host;
  }
  // The page's control shows Memory 2; comparing must not disturb it.
  EXPECT_EQ(json::parse(Call(client, Select("Memory", 2)))["result"], 2);
  const auto res = client.Get("/api/baseline");
  ASSERT_TRUE(res);
  ASSERT_EQ(res->status, 200) << res->body;
  brv::test::ExpectGolden("expected/web-baseline.json", json::parse(res->body).dump(1) + "\n");
  // A name the control does not know redraws its current table: still Memory 2.
  const json redraw = json::parse(Call(client, Select("", 2)));
  EXPECT_EQ(redraw["grid"]["text"][2][0], "SLOTs") << redraw.dump();

  // A burst of comparisons: every one answered alike.
  std::vector<std::thread> clients;
  std::vector<std::string> bodies(20);
  for (size_t i = 0; i < bodies.size(); ++i) {
    clients.emplace_back([&, i] {
      auto c = server.Client();
      const auto r = c.Get("/api/baseline");
      bodies[i] = r && r->status == 200 ? r->body : "failed";
    });
  }
  for (auto& t : clients) t.join();
  for (const std::string& body : bodies) EXPECT_EQ(body, res->body);
  EXPECT_EQ(server.Stop(), 0);
  EXPECT_EQ(server.Stderr(), "");
}

}  // namespace baseline
