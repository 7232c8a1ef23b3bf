// `brvparts serve` as a client sees it: the script mode over HTTP, the refusals,
// many clients at once on the one control, and a clean stop on a signal; what
// hostile clients send (malformed requests, slow and idle connections, more
// connections than are served); and which Host values a server takes.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
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
  EXPECT_EQ(startup["categories"], json::parse(R"(["CPU", "Memory", "Display", "HDD", "CD,DVD", "Modem",
      "Bluetooth", "Battery Pack", "Docking Station", "Network Adapter", "External Monitor"])"));
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

// A connection as a hostile client holds it: raw bytes out, answers read back
// one at a time, each read waiting a bounded time.
class Raw {
 public:
  // `window`: the most the system buffers for this client unread (0: its choice).
  explicit Raw(int port, int window = 0) : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    if (window) setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &window, sizeof window);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected = connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    const int yes = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
  }
  ~Raw() { close(fd_); }
  Raw(const Raw&) = delete;
  Raw& operator=(const Raw&) = delete;

  // Sends all of `bytes` unless the server stops taking them for `within`.
  bool Send(std::string_view bytes, std::chrono::milliseconds within = 5s) {
    while (!bytes.empty()) {
      pollfd p{fd_, POLLOUT, 0};
      if (poll(&p, 1, static_cast<int>(within.count())) <= 0) return false;
      const ssize_t n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n <= 0) return false;
      bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
  }

  struct Answer {
    int status = 0;
    std::string head, body;
  };
  // The next answer (interim "100 Continue" ones passed over unless `interim`),
  // or nothing when none came whole within `within`. `head`: it answers HEAD,
  // without a body.
  std::optional<Answer> Next(std::chrono::milliseconds within = 5s, bool head = false, bool interim = false) {
    const auto end = std::chrono::steady_clock::now() + within;
    for (;;) {
      size_t headEnd;
      while ((headEnd = buffer_.find("\r\n\r\n")) == std::string::npos) {
        if (!Fill(end)) return std::nullopt;
      }
      Answer answer;
      answer.head = buffer_.substr(0, headEnd);
      if (answer.head.rfind("HTTP/1.1 ", 0) != 0) return std::nullopt;
      answer.status = std::stoi(answer.head.substr(9, 3));
      size_t length = 0;
      if (const size_t at = answer.head.find("\r\nContent-Length: "); at != std::string::npos && !head) {
        length = std::stoul(answer.head.substr(at + 18));
      }
      while (buffer_.size() < headEnd + 4 + length) {
        if (!Fill(end)) return std::nullopt;
      }
      answer.body = buffer_.substr(headEnd + 4, length);
      buffer_.erase(0, headEnd + 4 + length);
      if (answer.status != 100 || interim) return answer;
    }
  }

  // Whether the server closes the connection within `within`, whatever it sends first.
  bool Closed(std::chrono::milliseconds within) {
    const auto end = std::chrono::steady_clock::now() + within;
    while (Fill(end)) buffer_.clear();
    return closed_;
  }

  // Whether the server has reset the connection, read or not.
  bool Reset() const {
    tcp_info info{};
    socklen_t size = sizeof info;
    return getsockopt(fd_, IPPROTO_TCP, TCP_INFO, &info, &size) == 0 && info.tcpi_state == TCP_CLOSE;
  }

  bool connected = false;

 private:
  // Reads what comes before `end`; false at the end or on a close.
  bool Fill(std::chrono::steady_clock::time_point end) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    pollfd p{fd_, POLLIN, 0};
    if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
    char chunk[65536];
    const ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
    if (n <= 0) {
      closed_ = true;
      return false;
    }
    buffer_.append(chunk, static_cast<size_t>(n));
    return true;
  }

  int fd_;
  std::string buffer_;
  bool closed_ = false;
};

// The time from now until `end`.
std::chrono::milliseconds Left(std::chrono::steady_clock::time_point end) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
}

std::string Post(const std::string& fields, const std::string& body) {
  return "POST /api/call HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n" + fields + "\r\n" + body;
}

std::string PostCall(const std::string& line) {
  return Post("Content-Length: " + std::to_string(line.size()) + "\r\n", line);
}

std::string Chunked(const std::string& body) {
  std::ostringstream out;
  for (size_t at = 0; at < body.size(); at += 1000) {
    const std::string piece = body.substr(at, 1000);
    out << std::hex << piece.size() << "\r\n" << piece << "\r\n";
  }
  out << "0\r\n\r\n";
  return out.str();
}

// Each request alone on a connection: the status of its one answer, and whether
// the server closes the connection after it (it does after every malformed
// request: what follows one cannot be told apart from it).
TEST(WebServer, MalformedRequestsGetOneClearAnswer) {
  Server server;
  ASSERT_GT(server.port, 0) << server.line << server.Stderr();
  const std::string call = Select("CPU", 1), length = "Content-Length: " + std::to_string(call.size()) + "\r\n";
  const std::string fits = call + std::string(brv::web::kMaxBody - call.size(), ' ');
  auto state = [](const std::string& fields) { return "GET /api/state HTTP/1.1\r\n" + fields + "\r\n"; };
  const struct {
    std::string name, request;
    int status;
    bool closes;
  } cases[] = {
      // The Host field.
      {"user info before the host", state("Host: 127.0.0.1:80@evil.com\r\n"), 400, true},
      {"text after an IPv6 address", state("Host: [::1]evil\r\n"), 400, true},
      {"a port that is no number", state("Host: localhost:evil\r\n"), 400, true},
      {"an empty port", state("Host: localhost:\r\n"), 400, true},
      {"a port past 65535", state("Host: localhost:65536\r\n"), 400, true},
      {"an empty Host", state("Host: \r\n"), 400, true},
      {"two Host fields", state("Host: localhost\r\nHost: attacker.example\r\n"), 400, true},
      {"no Host in HTTP/1.1", state(""), 400, true},
      {"another site's name", state("Host: attacker.example\r\n"), 403, true},
      {"a name ending like a loopback address", state("Host: attacker.example.127.0.0.1\r\n"), 403, true},
      {"the IPv6 loopback address", state("Host: [::1]:8080\r\n"), 200, false},
      {"localhost in capitals", state("Host: LOCALHOST:1\r\n"), 200, false},
      {"another loopback address", state("Host: 127.0.0.2\r\n"), 200, false},
      {"HTTP/1.0 without Host", "GET /api/state HTTP/1.0\r\n\r\n", 200, true},
      // Content-Length.
      {"Content-Length 1e3", Post("Content-Length: 1e3\r\n", ""), 400, true},
      {"a negative Content-Length", Post("Content-Length: -1\r\n", ""), 400, true},
      {"a Content-Length with a sign", Post("Content-Length: +44\r\n", call), 400, true},
      {"a hexadecimal Content-Length", Post("Content-Length: 0x2c\r\n", call), 400, true},
      {"an empty Content-Length", Post("Content-Length: \r\n", ""), 400, true},
      {"a Content-Length list", Post("Content-Length: 44, 44\r\n", call), 400, true},
      {"two Content-Lengths that differ", Post(length + "Content-Length: 1\r\n", call), 400, true},
      {"two equal Content-Lengths", Post(length + length, call), 200, false},
      {"a Content-Length past any number", Post("Content-Length: 99999999999999999999999\r\n", ""), 413, true},
      {"a Content-Length one past the limit", Post("Content-Length: 65537\r\n", ""), 413, true},
      // Transfer-Encoding.
      {"a chunked call", Post("Transfer-Encoding: chunked\r\n", Chunked(call)), 200, false},
      {"a chunked body of the limit", Post("Transfer-Encoding: chunked\r\n", Chunked(fits)), 200, false},
      {"a chunked body one past the limit", Post("Transfer-Encoding: chunked\r\n", Chunked(fits + " ")), 413, true},
      {"a chunk size past any number", Post("Transfer-Encoding: chunked\r\n", "fffffffffffffffffffff\r\n"), 413, true},
      {"a chunk size that is no number", Post("Transfer-Encoding: chunked\r\n", "zz\r\n"), 400, true},
      {"a chunk without its line end", Post("Transfer-Encoding: chunked\r\n", "2\r\n{}xx"), 400, true},
      {"a coding before chunked", Post("Transfer-Encoding: gzip, chunked\r\n", Chunked(call)), 501, true},
      {"chunked and a Content-Length", Post(length + "Transfer-Encoding: chunked\r\n", Chunked(call)), 400, true},
      {"chunked in HTTP/1.0",
       "POST /api/call HTTP/1.0\r\nContent-Type: application/json\r\nTransfer-Encoding: chunked\r\n\r\n" +
           Chunked(call),
       400, true},
      // The rest of the head.
      {"lines ending in LF alone", "GET /api/state HTTP/1.1\nHost: localhost\n\n", 400, true},
      {"a folded field", state("Host: localhost\r\nX-A: b\r\n c\r\n"), 400, true},
      {"a control character in a value",
       state("Host: localhost\r\nX-A: b\x01"
             "c\r\n"),
       400, true},
      {"a space before the colon", state("Host : localhost\r\n"), 400, true},
      {"another HTTP version", "GET /api/state HTTP/2.0\r\nHost: localhost\r\n\r\n", 505, true},
      {"a request line past 8 KiB", "GET /" + std::string(9000, 'x') + " HTTP/1.1\r\n", 414, true},
      {"header fields past 8 KiB", state("Host: localhost\r\nX-A: " + std::string(9000, 'x') + "\r\n"), 431, true},
      {"an unknown expectation", Post(length + "Expect: 200-ok\r\n", call), 417, true},
      {"a compressed body", Post(length + "Content-Encoding: gzip\r\n", call), 415, false},
      {"a target that is no path", "GET http://localhost/api/state HTTP/1.1\r\nHost: localhost\r\n\r\n", 400, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Raw client(server.port);
    ASSERT_TRUE(client.connected);
    client.Send(c.request);
    const auto answer = client.Next();
    ASSERT_TRUE(answer) << "no answer";
    EXPECT_EQ(answer->status, c.status) << answer->body;
    if (c.status >= 400) {
      EXPECT_EQ(json::parse(answer->body, nullptr, false).value("status", 0), c.status) << answer->body;
    }
    if (c.closes) {
      EXPECT_TRUE(client.Closed(3s));
    } else {
      ASSERT_TRUE(client.Send(state("Host: localhost\r\n")));
      const auto next = client.Next();
      ASSERT_TRUE(next) << "the connection was not kept";
      EXPECT_EQ(next->status, 200);
    }
  }

  // Empty lines before a request are passed over, even split across reads (a
  // fuzzer found them read past the head's start).
  {
    Raw client(server.port);
    ASSERT_TRUE(client.Send("\r"));
    std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(client.Send("\n\r\n" + state("Host: localhost\r\n")));
    const auto answer = client.Next();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 200);
  }

  // A client that asks first is told to go on, and then answered.
  Raw client(server.port);
  ASSERT_TRUE(client.Send(Post(length + "Expect: 100-continue\r\n", "")));
  const auto interim = client.Next(5s, false, true);
  ASSERT_TRUE(interim) << "not told to go on";
  EXPECT_EQ(interim->status, 100);
  ASSERT_TRUE(client.Send(call));
  const auto answer = client.Next();
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 200);
  EXPECT_EQ(server.Stop(), 0);
  EXPECT_EQ(server.Stderr(), "");
}

// Connections that send their request slowly, nothing after an answer, or
// requests without reading the answers hold no thread: a fresh client is
// answered at once beside them, and the server closes them itself, the slow
// ones with a 408 once their request took too long.
TEST(WebServer, SlowAndIdleClientsDoNotHoldUpOthers) {
  Server server;
  ASSERT_GT(server.port, 0) << server.line << server.Stderr();
  Raw deaf(server.port, 4096);
  std::string requests;
  for (int i = 0; i < 4000; ++i) requests += "GET /app.js HTTP/1.1\r\nHost: localhost\r\n\r\n";
  deaf.Send(requests, 1s);  // until the server stops reading them
  std::vector<std::unique_ptr<Raw>> slow, idle;
  for (int i = 0; i < 32; ++i) {
    slow.push_back(std::make_unique<Raw>(server.port));
    ASSERT_TRUE(slow.back()->Send("GET /api/state HTTP/1.1\r\nHost: localhost\r\n"));
    idle.push_back(std::make_unique<Raw>(server.port));
    ASSERT_TRUE(idle.back()->Send("GET /app.css HTTP/1.1\r\nHost: localhost\r\n\r\n"));
    ASSERT_TRUE(idle.back()->Next());
  }
  const auto opened = std::chrono::steady_clock::now();
  for (int i = 0; i < 5; ++i) {
    for (auto& s : slow) s->Send("X-Slow: " + std::to_string(i) + "\r\n");
    const auto began = std::chrono::steady_clock::now();
    Raw fresh(server.port);
    ASSERT_TRUE(fresh.Send(PostCall(Select("CPU", 1))));
    const auto answer = fresh.Next(1s);
    ASSERT_TRUE(answer) << "call " << i << " waited more than 1 s";
    EXPECT_EQ(answer->status, 200);
    EXPECT_LT(std::chrono::steady_clock::now() - began, 1s);
  }
  // Idle for 5 s, a request 10 s in coming, answers not taken for 10 s: closed soon after.
  for (auto& s : idle) EXPECT_TRUE(s->Closed(Left(opened + 7s)));
  for (auto& s : slow) {
    const auto answer = s->Next(Left(opened + 12s));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 408);
    EXPECT_TRUE(s->Closed(1s));
  }
  std::this_thread::sleep_until(opened + 12s);
  EXPECT_TRUE(deaf.Reset()) << "the client that reads nothing is still served";
  EXPECT_EQ(server.Stop(), 0);
}

// Bodies past the limit however they are sent, bursts of connections and
// pipelined requests are the hostile-client job's (scripts/hostile-web.sh).

// With every place taken by connections that send nothing, a new client is
// answered at once: the one that waited longest gives up its place.
TEST(WebServer, ConnectionsPastTheMostServedMakeRoom) {
  rlimit limit{};
  getrlimit(RLIMIT_NOFILE, &limit);
  limit.rlim_cur = std::max<rlim_t>(limit.rlim_cur, std::min<rlim_t>(limit.rlim_max, 2048));
  setrlimit(RLIMIT_NOFILE, &limit);
  Server server;
  ASSERT_GT(server.port, 0) << server.line << server.Stderr();
  std::vector<std::unique_ptr<Raw>> idle;
  for (int i = 0; i < 1000; ++i) {
    idle.push_back(std::make_unique<Raw>(server.port));
    ASSERT_TRUE(idle.back()->connected) << i;
  }
  std::this_thread::sleep_for(1200ms);
  for (int i = 0; i < 3; ++i) {
    Raw fresh(server.port);
    ASSERT_TRUE(fresh.Send(PostCall(Select("CPU", 1))));
    const auto answer = fresh.Next(1s);
    ASSERT_TRUE(answer) << "call " << i << " waited more than 1 s";
    EXPECT_EQ(answer->status, 200);
  }
  EXPECT_EQ(server.Stop(), 0);
}

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

// --allow-host reaches the web container through `brvparts serve`; a value that
// is no name is a usage error.
TEST(WebServer, AllowHostOption) {
  Server server(0, {"--allow-host", "parts.example", "--allow-host", "198.51.100.7"});
  ASSERT_GT(server.port, 0) << server.line << server.Stderr();
  for (const auto& [host, status] :
       {std::pair{"parts.example:8080", 200}, {"198.51.100.7", 200}, {"localhost", 200}, {"other.example", 403}}) {
    auto client = server.Client();
    auto res = client.Get("/api/state", {{"Host", host}});
    ASSERT_TRUE(res) << host;
    EXPECT_EQ(res->status, status) << host;
  }
  const auto bad = brv::test::RunProgram("serve --snapshot " + kLaptop + " --allow-host evil@example --port 0");
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("--allow-host"), std::string::npos) << bad.err;
}

}  // namespace

namespace baseline {

// The sample laptop as it was before: another disk, a smaller module in slot 1,
// a second monitor since gone, and another address.
std::string Before(const brv::test::TempDir& dir) {
  std::ifstream in(kLaptop);
  json snapshot = json::parse(in);
  snapshot["format"] = "brvparts-snapshot/2";
  snapshot["captured"] = {{"host", "desk-7"}, {"time", "2026-11-30T08:00:00Z"}};
  snapshot["classes"]["Brovik_DiskDrive"][0]["SerialNO"] = "S4EWNX0R123456";
  snapshot["classes"]["DMTF_MemoryDevice"][1]["Size"] = 8589934592;
  snapshot["classes"]["Brovik_ExternalMonitor"].push_back(
      {{"Manufacturer", "Hewlett Packard"}, {"Model", "HP 27er"}, {"SerialNO", "3CM7260M2L"}});
  snapshot["classes"]["Win32_NetworkAdapterConfiguration"][2]["IPAddress"] = {"10.9.9.9"};
  const std::string path = dir.path() + "/before.json";
  std::ofstream(path) << snapshot.dump();
  return path;
}

TEST(WebServerBaseline, MarksWhatDiffersAndListsWhatIsGone) {
  const brv::test::TempDir dir;
  Server server(0, {"--baseline", Before(dir)});
  ASSERT_GT(server.port, 0) << server.line << server.Stderr();
  auto client = server.Client();
  // The page's control shows Memory 2; comparing must not disturb it.
  EXPECT_EQ(json::parse(Call(client, Select("Memory", 2)))["result"], 2);
  const auto res = client.Get("/api/baseline");
  ASSERT_TRUE(res);
  ASSERT_EQ(res->status, 200) << res->body;
  const json answer = json::parse(res->body);
  EXPECT_EQ(answer["baseline"]["source"], "before.json") << "the file's name, not where it lies";
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

TEST(WebServerBaseline, NoneOrABadOne) {
  const brv::test::TempDir dir;
  {
    Server server;
    ASSERT_GT(server.port, 0) << server.line << server.Stderr();
    auto client = server.Client();
    const auto res = client.Get("/api/baseline");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 404);
    EXPECT_NE(res->body.find("--baseline"), std::string::npos) << res->body;
  }
  const std::string bad = dir.path() + "/bad.json";
  std::ofstream(bad) << "{}";
  const brv::test::Outcome r = brv::test::RunProgram("serve --port 0 --baseline " + bad);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "brvparts: " + bad + ": no \"format\" member; expected \"brvparts-snapshot/2\"\n");
  EXPECT_EQ(r.out, "") << "nothing listens";
}

}  // namespace baseline
