// `brvparts serve` as a client sees it: the script mode over HTTP, many clients
// at once on the one control, and a clean stop on a signal; the status of every
// kind of request, malformed or hostile; which Host values a server takes; the
// comparison with a baseline.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
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
#include "tests/support/Support.h"

namespace {

using json = nlohmann::ordered_json;
using namespace std::chrono_literals;

const std::string kLaptop = std::string(BRV_SOURCE_DIR) + "/samples/laptop.json";

// The program serving on 127.0.0.1 (a free port unless one is given), its
// standard error kept in a file.
class Server {
 public:
  explicit Server(int wanted = 0, const std::vector<std::string>& extra = {}) {
    static int runs = 0;
    errPath_ = (std::filesystem::temp_directory_path() /
                ("brv-serve-" + std::to_string(getpid()) + "-" + std::to_string(++runs)))
                   .string();
    int out[2];
    if (pipe(out) != 0) throw std::runtime_error("pipe");
    std::vector<std::string> args = {BRV_PROGRAM, "serve", "--snapshot", kLaptop, "--port", std::to_string(wanted)};
    args.insert(args.end(), extra.begin(), extra.end());
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
  const auto none = client.Get("/api/baseline");  // a bad one is refused before anything listens (the transcript)
  ASSERT_TRUE(none);
  EXPECT_EQ(none->status, 404);
  EXPECT_NE(none->body.find("--baseline"), std::string::npos) << none->body;
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
// server then closed the connection, and the answer's head.
struct Answer {
  int status = 0;
  bool closed = false;
  std::string head;
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
    answer.head = got.substr(0, got.find("\r\n\r\n"));
  }
  close(fd);
  return answer;
}

// Every request the server must refuse, or take though it looks odd, with the
// status it gets and whether the connection is closed after (it is after every
// refusal: what follows a refused request cannot be told apart from it). The
// library reads the requests; the statuses are this server's policy.
TEST(WebServer, StatusOfEveryKindOfRequest) {
  Server server;
  ASSERT_GT(server.port, 0) << server.line << server.Stderr();
  const std::string call = Select("CPU", 1), length = "Content-Length: " + std::to_string(call.size()) + "\r\n";
  const std::string fits = call + std::string(brv::web::kMaxBody - call.size(), ' ');
  const auto get = [](const std::string& path, const std::string& fields = "Host: localhost\r\n") {
    return "GET " + path + " HTTP/1.1\r\n" + fields + "\r\n";
  };
  const auto state = [&](const std::string& fields) { return get("/api/state", fields); };
  const auto post = [](const std::string& fields, const std::string& body, const std::string& path = "/api/call") {
    return "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n" + fields + "\r\n" +
           body;
  };
  const auto chunked = [](const std::string& body) {
    std::ostringstream out;
    for (size_t at = 0; at < body.size(); at += 1000) {
      out << std::hex << body.substr(at, 1000).size() << "\r\n" << body.substr(at, 1000) << "\r\n";
    }
    return out.str() + "0\r\n\r\n";
  };
  const std::string te = "Transfer-Encoding: chunked\r\n";
  const struct {
    std::string name, request;
    int status;
    bool closes;
  } cases[] = {
      // Taken.
      {"the page", get("/"), 200, false},
      {"its script", get("/app.js"), 200, false},
      {"its style", get("/app.css"), 200, false},
      {"its icon", get("/favicon.svg"), 200, false},
      {"HEAD of the page", "HEAD / HTTP/1.1\r\nHost: localhost\r\n\r\n", 200, false},
      {"a call of 64 KiB", post("Content-Length: 65536\r\n", fits), 200, false},
      {"a chunked call of 64 KiB", post(te, chunked(fits)), 200, false},
      {"two equal Content-Lengths", post(length + length, call), 200, false},
      {"a call that asks first", post(length + "Expect: 100-continue\r\n", call), 200, false},
      {"HTTP/1.0 without Host", "GET /api/state HTTP/1.0\r\n\r\n", 200, true},
      // The library takes these as the one request they can be read as: lines
      // ended by LF alone, a field folded onto a second line (joined), and a
      // target with a NUL (cut there).
      {"lines ending in LF alone", "GET /api/state HTTP/1.1\nHost: localhost\n\n", 200, false},
      {"a folded field", state("Host: localhost\r\nX-A: b\r\n c\r\n"), 200, false},
      {"a NUL in the target", std::string("GET /app.js\0/x HTTP/1.1\r\nHost: localhost\r\n\r\n", 44), 200, false},
      // The Host field.
      {"the IPv6 loopback address", state("Host: [::1]:8080\r\n"), 200, false},
      {"localhost in capitals", state("Host: LOCALHOST:1\r\n"), 200, false},
      {"another loopback address", state("Host: 127.0.0.2\r\n"), 200, false},
      {"another site's name", state("Host: attacker.example\r\n"), 403, true},
      {"a name ending like a loopback address", state("Host: attacker.example.127.0.0.1\r\n"), 403, true},
      {"user info before the host", state("Host: 127.0.0.1:80@evil.com\r\n"), 400, true},
      {"text after an IPv6 address", state("Host: [::1]evil\r\n"), 400, true},
      {"a port that is no number", state("Host: localhost:evil\r\n"), 400, true},
      {"an empty port", state("Host: localhost:\r\n"), 400, true},
      {"a port past 65535", state("Host: localhost:65536\r\n"), 400, true},
      {"an empty Host", state("Host: \r\n"), 400, true},
      {"two Host fields", state("Host: localhost\r\nHost: attacker.example\r\n"), 400, true},
      {"no Host in HTTP/1.1", state(""), 400, true},
      // Methods and paths.
      {"an unknown path", get("/nope"), 404, true},
      {"a path past the routes", get("/../app.js"), 404, true},
      {"an escaped route", get("/%61pp.js"), 404, true},
      {"a long unknown path", get("/" + std::string(4000, 'x')), 404, true},
      {"GET of the call", get("/api/call"), 405, true},
      {"POST of the state", post(length, call, "/api/state"), 405, true},
      {"DELETE of the page", "DELETE / HTTP/1.1\r\nHost: localhost\r\n\r\n", 405, true},
      {"a method in lower case", "get / HTTP/1.1\r\nHost: localhost\r\n\r\n", 405, true},
      {"a target that is no path", get("http://localhost/api/state"), 400, true},
      {"a space in the target", get("/app .js"), 400, true},
      {"another HTTP version", "GET /api/state HTTP/2.0\r\nHost: localhost\r\n\r\n", 505, true},
      {"HTTP/1.2", "GET /api/state HTTP/1.2\r\nHost: localhost\r\n\r\n", 505, true},
      // What two readers could take for different requests.
      {"Content-Length 1e3", post("Content-Length: 1e3\r\n", ""), 400, true},
      {"a negative Content-Length", post("Content-Length: -1\r\n", ""), 400, true},
      {"a Content-Length with a sign", post("Content-Length: +44\r\n", call), 400, true},
      {"a hexadecimal Content-Length", post("Content-Length: 0x2c\r\n", call), 400, true},
      {"an empty Content-Length", post("Content-Length: \r\n", ""), 400, true},
      {"a Content-Length list", post("Content-Length: 44, 44\r\n", call), 400, true},
      {"two Content-Lengths that differ", post(length + "Content-Length: 1\r\n", call), 400, true},
      {"chunked and a Content-Length", post(length + te, chunked(call)), 400, true},
      {"chunked in HTTP/1.0",
       "POST /api/call HTTP/1.0\r\nContent-Type: application/json\r\n" + te + "\r\n" + chunked(call), 400, true},
      {"a coding before chunked", post("Transfer-Encoding: gzip, chunked\r\n", chunked(call)), 501, true},
      {"a chunk size that is no number", post(te, "zz\r\n"), 400, true},
      {"a chunk without its line end", post(te, "2\r\n{}xx"), 400, true},
      {"a control character in a value",
       state("Host: localhost\r\nX-A: b\x01"
             "c\r\n"),
       400, true},
      {"a CR inside a line", state("Host: localhost\r\nX-A: b\rc\r\n"), 400, true},
      {"a space before the colon", state("Host : localhost\r\n"), 400, true},
      {"an unknown expectation", post(length + "Expect: 200-ok\r\n", call), 417, true},
      // Limits and bodies.
      {"a body one byte past the limit", post("Content-Length: 65537\r\n", fits + " "), 413, true},
      {"a Content-Length past any number", post("Content-Length: 99999999999999999999999\r\n", ""), 413, true},
      {"a chunked body one past the limit", post(te, chunked(fits + " ")), 413, true},
      {"a chunk size past any number", post(te, "fffffffffffffffffffff\r\n"), 413, true},
      {"a request line past 8 KiB", "GET /" + std::string(9000, 'x') + " HTTP/1.1\r\n", 414, true},
      {"header fields past 8 KiB", state("Host: localhost\r\nX-A: " + std::string(9000, 'x') + "\r\n"), 431, true},
      {"a text body",
       "POST /api/call HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: text/plain\r\n" + length + "\r\n" + call, 415,
       false},
      {"a compressed body", post(length + "Content-Encoding: gzip\r\n", call), 415, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Answer answer = Exchange(server.port, c.request);
    EXPECT_EQ(answer.status, c.status) << answer.head;
    EXPECT_EQ(answer.closed, c.closes) << answer.head;
    // The server's own answers carry the security headers.
    if (answer.head.find("Content-Type: ") != std::string::npos) {
      EXPECT_NE(answer.head.find("X-Content-Type-Options: nosniff"), std::string::npos) << answer.head;
      EXPECT_NE(answer.head.find("script-src 'self'"), std::string::npos) << answer.head;
    }
  }
  EXPECT_EQ(server.Stop(), 0);
  EXPECT_EQ(server.Stderr(), "");
}

// The details of an instance of the category the grid shows, as the terminal
// words them; a query that names none is refused with a reason.
TEST(WebServer, DetailsOfTheInstanceShown) {
  Server server;
  ASSERT_GT(server.port, 0) << server.line << server.Stderr();
  auto client = server.Client();
  const auto details = [&](const std::string& query) {
    auto res = client.Get("/api/details?" + query);
    return res ? std::to_string(res->status) + " " + res->body : "no answer";
  };
  EXPECT_EQ(details("category=Memory&instance=1").substr(0, 4), "409 ") << "nothing is shown yet";
  ASSERT_EQ(Call(client, Select("CD,DVD", 1)).substr(0, 11), R"({"result":1)");
  EXPECT_EQ(details("category=CD%2CDVD&instance=1"), R"(200 {"category":"CD,DVD","instance":1,"details":[]})");
  ASSERT_EQ(Call(client, Select("Memory", 2)).substr(0, 11), R"({"result":2)");
  const std::string second = details("instance=2&category=Memory");
  EXPECT_NE(second.find(R"({"caption":"Serial No","value":"417B9BB7"})"), std::string::npos) << second;
  EXPECT_NE(details("category=Memory&instance=1").find(R"({"caption":"Serial No","value":null})"), std::string::npos);
  const struct {
    std::string query, status;
  } refused[] = {
      {"category=Memory&instance=3", "404"},
      {"category=CPU&instance=1", "409"},
      {"category=memory&instance=1", "404"},
      {"category=Memory&instance=0", "400"},
      {"category=Memory&instance=32768", "400"},
      {"category=Memory&instance=%2B1", "400"},
      {"category=Memory", "400"},
      {"category=Memory&category=Memory&instance=1", "400"},
  };
  for (const auto& r : refused) EXPECT_EQ(details(r.query).substr(0, 14), r.status + R"( {"status":)") << r.query;
  EXPECT_EQ(server.Stop(), 0);
}

// Slow, idle and deaf clients, bursts of connections, pipelined requests and
// bodies without end are the hostile-client job's (scripts/hostile-web.sh).

// Which Host values a server takes, by the address it serves: the loopback
// names always; serving another address, that address, the machine's own
// names and addresses, and those allowed with --allow-host.
TEST(WebServer, HostPolicy) {
  using brv::web::HostPolicy;
  const std::vector<std::string> machine = {"parts-laptop", "192.0.2.10", "2001:db8::10"};
  const std::vector<std::string> allowed = {"Parts.Example", "[2001:db8::5]", "198.51.100.7"};
  const HostPolicy loopback("127.0.0.1", {}, machine), loopbackAllowing("127.0.0.1", allowed, machine),
      address("192.0.2.10", allowed, machine), wildcard("0.0.0.0", {}, machine), ipv6("2001:db8::10", {}, {});
  const struct {
    std::string host;
    bool loopback, loopbackAllowing, address, wildcard, ipv6;
  } cases[] = {
      {"localhost:8080", true, true, true, true, true},
      {"127.0.0.1", true, true, true, true, true},
      {"[::1]:80", true, true, true, true, true},
      {"parts-laptop", false, false, true, true, false},
      {"PARTS-LAPTOP:8080", false, false, true, true, false},
      {"192.0.2.10:8080", false, false, true, true, false},
      {"[2001:db8::10]", false, false, true, true, true},
      {"[2001:DB8:0::10]", false, false, true, true, true},
      {"parts.example", false, true, true, false, false},
      {"[2001:db8::5]:1", false, true, true, false, false},
      {"198.51.100.7", false, true, true, false, false},
      {"0.0.0.0", false, false, false, false, false},
      {"attacker.example", false, false, false, false, false},
      {"parts-laptop.attacker.example", false, false, false, false, false},
      {"192.0.2.11", false, false, false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.host);
    const auto host = brv::web::ParseHost(c.host);
    ASSERT_TRUE(host);
    EXPECT_EQ(loopback.Allows(*host), c.loopback);
    EXPECT_EQ(loopbackAllowing.Allows(*host), c.loopbackAllowing);
    EXPECT_EQ(address.Allows(*host), c.address);
    EXPECT_EQ(wildcard.Allows(*host), c.wildcard);
    EXPECT_EQ(ipv6.Allows(*host), c.ipv6);
  }
  for (const std::string bad : {"", "bad name", "host:80", "[::1]:80", "a@b", "127.1", "[::1"}) {
    EXPECT_THROW(HostPolicy("127.0.0.1", {bad}, {}), std::invalid_argument) << bad;
  }
}

}  // namespace

namespace baseline {

// Against tests/data/web/baseline.json, the sample laptop as it was before:
// another disk, a smaller module in slot 1, a second monitor since gone, and
// another address. --allow-host reaches the web container through `brvparts
// serve` (a value that is no name is a usage error: ProgramTest's transcript).
TEST(WebServerBaseline, MarksWhatDiffersAndListsWhatIsGone) {
  Server server(0, {"--baseline", BRV_TEST_DATA "/web/baseline.json", "--allow-host", "parts.example", "--allow-host",
                    "198.51.100.7"});
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
  const json answer = json::parse(res->body);
  EXPECT_EQ(answer["baseline"]["source"], "baseline.json") << "the file's name, not where it lies";
  EXPECT_EQ(answer["baseline"]["host"], "desk-7");
  EXPECT_EQ(answer["marks"]["HDD"], json::parse(R"({"1": {"state": "added"}})"));
  EXPECT_EQ(answer["marks"]["Memory"], json::parse(R"({"2": {"state": "changed", "rows": [3]}})"));
  EXPECT_EQ(answer["marks"]["Network Adapter"], json::object()) << "an address changes by itself";
  EXPECT_EQ(answer["categories"]["HDD"]["removed"][0]["identity"], json({{"Serial No", "S4EWNX0R123456"}}));
  EXPECT_EQ(answer["categories"]["External Monitor"]["removed"][0]["facts"]["Model"], "HP 27er");
  EXPECT_EQ(answer["categories"]["External Monitor"]["added"], json::array());
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
  for (const std::string& body : bodies) EXPECT_EQ(json::parse(body, nullptr, false)["marks"], answer["marks"]);
  EXPECT_EQ(server.Stop(), 0);
  EXPECT_EQ(server.Stderr(), "");
}

}  // namespace baseline
