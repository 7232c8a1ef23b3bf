#include "containers/send/Transport.h"

#include <curl/curl.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>

#include <fmt/format.h>

#include "common/Excerpt.h"
#include "common/Text.h"

namespace brv::send {

std::string InventoryUrl(std::string_view given) {
  if (given.size() > 2000) throw std::invalid_argument("the server's address is longer than 2,000 characters");
  for (char c : given) {
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) {
      throw std::invalid_argument("the server's address holds a blank or a control character");
    }
  }
  std::string url(given);
  const size_t scheme = url.find("://");
  const std::string lower = LowerAscii(url.substr(0, scheme == std::string::npos ? 0 : scheme));
  if (scheme == std::string::npos || (lower != "http" && lower != "https")) {
    throw std::invalid_argument("the server's address starts with http:// or https://");
  }
  url.replace(0, scheme, lower);
  if (url.find_first_of("?#") != std::string::npos) {
    throw std::invalid_argument("the server's address takes no query or fragment");
  }
  const size_t path = url.find('/', scheme + 3);
  if (path == scheme + 3 || url.size() == scheme + 3) throw std::invalid_argument("the server's address names no host");
  while (url.back() == '/') url.pop_back();
  const std::string_view tail = "/ocsinventory";
  if (url.size() < tail.size() || url.compare(url.size() - tail.size(), tail.size(), tail) != 0 ||
      path == std::string::npos) {
    url += tail;
  }
  return url;
}

std::string ShownUrl(std::string_view url) {
  std::string shown(url);
  const size_t scheme = shown.find("://");
  const size_t hostStart = scheme == std::string::npos ? 0 : scheme + 3;
  const size_t hostEnd = std::min(shown.find_first_of("/?#", hostStart), shown.size());
  // The user information ends at the last '@' before the path; its password at its first ':'.
  const size_t at = shown.rfind('@', hostEnd - 1);
  if (at != std::string::npos && at >= hostStart && hostEnd > hostStart) {
    const size_t colon = shown.find(':', hostStart);
    if (colon < at) shown.replace(colon + 1, at - colon - 1, "***");
  }
  return Excerpt(shown, 200);
}

std::string Compress(std::string_view data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::string out(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
                static_cast<uLong>(data.size()), Z_BEST_COMPRESSION) != Z_OK) {
    throw std::runtime_error("zlib could not compress the report");
  }
  out.resize(size);
  return out;
}

std::optional<std::string> Inflate(std::string_view data, size_t limit) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return std::nullopt;
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  std::string out;
  char buffer[16384];
  int status = Z_OK;
  while (status == Z_OK) {
    z.next_out = reinterpret_cast<Bytef*>(buffer);
    z.avail_out = sizeof buffer;
    status = inflate(&z, Z_NO_FLUSH);
    out.append(buffer, sizeof buffer - z.avail_out);
    if (out.size() > limit) status = Z_BUF_ERROR;
    if (status == Z_OK && z.avail_in == 0 && z.avail_out != 0) status = Z_DATA_ERROR;  // cut short
  }
  inflateEnd(&z);
  if (status != Z_STREAM_END) return std::nullopt;
  return out;
}

std::string ServerWords(std::string_view body) {
  std::string text(body);
  if (auto inflated = Inflate(body, 1u << 20)) text = std::move(*inflated);
  const size_t open = text.find("<RESPONSE>");
  const size_t close = text.find("</RESPONSE>");
  if (open != std::string::npos && close != std::string::npos && close > open) {
    return Excerpt(text.substr(open + 10, close - open - 10), 100);
  }
  // A page: its text without the markup, the head (title, style) left out.
  if (const size_t head = text.find("</head>"); head != std::string::npos) text.erase(0, head + 7);
  std::string words;
  bool inTag = false, blank = false;
  for (char c : text) {
    if (c == '<') inTag = true;
    if (!inTag) {
      const bool space = c == ' ' || c == '\n' || c == '\r' || c == '\t';
      if (space) {
        blank = !words.empty();
      } else {
        if (blank) words.push_back(' ');
        blank = false;
        words.push_back(c);
      }
    }
    if (c == '>') inTag = false;
    if (words.size() > 400) break;
  }
  return Excerpt(words, 200);
}

namespace {

constexpr size_t kMostAnswer = 1u << 20;
// An answer's head: its header lines in all, and the interim replies (100 Continue) before the final one.
constexpr size_t kMostHeaderBytes = 64u << 10;
constexpr int kMostStatusLines = 10;

struct Received {
  std::string body;
  std::string statusLine;
  size_t bytes = 0;  // of the answer, head and body
  size_t headerBytes = 0;
  int statusLines = 0;
  bool tooLong = false, headTooLong = false, tooManyInterim = false;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* r = static_cast<Received*>(user);
  const size_t n = size * count;
  r->bytes += n;
  if (r->body.size() + n > kMostAnswer) {
    r->tooLong = true;
    return 0;
  }
  r->body.append(data, n);
  return n;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* r = static_cast<Received*>(user);
  const std::string_view line(data, size * count);
  r->bytes += line.size();
  r->headerBytes += line.size();
  if (r->headerBytes > kMostHeaderBytes) {
    r->headTooLong = true;
    return 0;
  }
  // The last status line wins (after a 100 Continue).
  if (line.rfind("HTTP/", 0) == 0) {
    if (++r->statusLines > kMostStatusLines) {
      r->tooManyInterim = true;
      return 0;
    }
    r->statusLine = std::string(line);
    while (!r->statusLine.empty() && (r->statusLine.back() == '\n' || r->statusLine.back() == '\r')) {
      r->statusLine.pop_back();
    }
  }
  return size * count;
}

bool Untrusted(CURLcode code) {
  switch (code) {
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS: return true;
    default: return false;
  }
}

// "1,234": the counts a person reads in a message.
std::string Count(size_t n) {
  std::string digits = std::to_string(n);
  for (size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
  return digits;
}

// The proxy the environment names for an address, as the library reads it:
// "https_proxy (HTTPS_PROXY)" for https, "http_proxy" for http, else "all_proxy".
std::optional<std::pair<std::string, std::string>> ProxyOf(const std::string& url) {
  const bool secure = url.rfind("https:", 0) == 0;
  const char* names[] = {secure ? "https_proxy" : "http_proxy", secure ? "HTTPS_PROXY" : nullptr, "all_proxy",
                         "ALL_PROXY"};
  for (const char* name : names) {
    const char* value = name ? std::getenv(name) : nullptr;
    if (value && *value) return std::pair<std::string, std::string>(name, value);
  }
  return std::nullopt;
}

// The library's words with any password of the proxy's address, or of any
// address it quotes, masked.
std::string Scrubbed(std::string detail, const std::string& url) {
  if (const auto proxy = ProxyOf(url)) {
    for (size_t at = detail.find(proxy->second); !proxy->second.empty() && at != std::string::npos;
         at = detail.find(proxy->second, at + 1)) {
      detail.replace(at, proxy->second.size(), ShownUrl(proxy->second));
    }
  }
  // "scheme://user:password@" anywhere else.
  for (size_t at = detail.find("://"); at != std::string::npos; at = detail.find("://", at + 3)) {
    const size_t end = detail.find_first_of("/ '\"", at + 3);
    const size_t userEnd = detail.rfind('@', end == std::string::npos ? std::string::npos : end - 1);
    const size_t colon = detail.find(':', at + 3);
    if (userEnd != std::string::npos && userEnd > at && colon < userEnd) {
      detail.replace(colon + 1, userEnd - colon - 1, "***");
    }
  }
  return detail;
}

// Why a transfer ended without a whole answer, from what was sent and received:
// nothing came back from a server never reached (3), a server that answered in
// part or took the whole report and then said nothing is a broken server (6).
PostResult TransferFailed(CURLcode code, const std::string& detail, const Received& received, bool uploaded,
                          size_t reportBytes, const PostOptions& options) {
  const std::string where = ShownUrl(options.url);
  PostResult result;
  result.exit = kServerFailed;
  // The library refuses a header line past its own bound (100 KiB) as if out of memory.
  const bool headTooLong =
      received.headTooLong || (code == CURLE_OUT_OF_MEMORY && received.statusLines > 0 && received.body.empty());
  if (headTooLong || received.tooManyInterim) {
    result.message = where +
                     (headTooLong ? " answered with more than 64 KiB of headers"
                                  : " answered with more than 10 interim replies and no final one") +
                     ": no inventory server answers so";
    return result;
  }
  if (Untrusted(code)) {
    result.exit = kUntrusted;
    result.message = "no secure connection to " + where + ": " + Excerpt(detail, 200);
    return result;
  }
  if (code == CURLE_UNSUPPORTED_PROTOCOL || code == CURLE_WEIRD_SERVER_REPLY) {
    result.message = where + " answered with something that is not HTTP: " + Excerpt(detail, 200);
    return result;
  }
  const bool timedOut = code == CURLE_OPERATION_TIMEDOUT;
  if (received.bytes > 0) {
    result.message = timedOut ? fmt::format("{} did not finish its answer within {} s: {} bytes of it arrived", where,
                                            options.timeoutSeconds, Count(received.bytes))
                              : fmt::format("{} broke off its answer after {} bytes: {}", where, Count(received.bytes),
                                            Excerpt(detail, 200));
    return result;
  }
  if (uploaded && (timedOut || code == CURLE_RECV_ERROR || code == CURLE_GOT_NOTHING || code == CURLE_SEND_ERROR)) {
    result.message = fmt::format(
        "{} took the whole report ({} bytes) and then {} without an answer: the report may have been stored", where,
        Count(reportBytes), timedOut ? fmt::format("waited {} s", options.timeoutSeconds) : "closed the connection");
    return result;
  }
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
      result.exit = kUnreachable;
      result.message = "cannot reach the server at " + where;
      if (const auto proxy = ProxyOf(options.url)) {
        result.message += " (or the proxy " + ShownUrl(proxy->second) + " that " + proxy->first +
                          " names, unless no_proxy lists the host)";
      }
      result.message +=
          ": " + (timedOut ? fmt::format("no answer within {} s", options.timeoutSeconds) : Excerpt(detail, 200));
      return result;
    default: result.message = "the report could not be sent to " + where + ": " + Excerpt(detail, 200); return result;
  }
}

}  // namespace

PostResult PostReport(const PostOptions& options, const std::string& compressed) {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  PostResult result;
  CURL* curl = curl_easy_init();
  if (!curl) {
    result.message = "cannot start an HTTP transfer";
    return result;
  }
  Received received;
  char error[CURL_ERROR_SIZE] = "";
  curl_slist* headers = nullptr;
  headers = curl_slist_append(headers, "Content-Type: application/x-compressed");
  // The whole body at once, announced by its length: no "Expect: 100-continue" round.
  headers = curl_slist_append(headers, "Expect:");
  curl_easy_setopt(curl, CURLOPT_URL, options.url.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_POST, 1L);
  curl_easy_setopt(curl, CURLOPT_POSTFIELDS, compressed.data());
  curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(compressed.size()));
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, options.userAgent.c_str());
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_blob authorities{};
  if (!options.caBundle.empty()) {
    // The authorities given, and no others: the library's folder of the system's is left out too.
    authorities = {const_cast<char*>(options.caBundle.data()), options.caBundle.size(), CURL_BLOB_NOCOPY};
    curl_easy_setopt(curl, CURLOPT_CAINFO_BLOB, &authorities);
    curl_easy_setopt(curl, CURLOPT_CAPATH, nullptr);
  }
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, std::min(options.timeoutSeconds, 30L));
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, options.timeoutSeconds);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &received);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &received);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
  const CURLcode code = curl_easy_perform(curl);
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.httpStatus);
  curl_off_t uploaded = 0;
  curl_easy_getinfo(curl, CURLINFO_SIZE_UPLOAD_T, &uploaded);
  char* location = nullptr;
  curl_easy_getinfo(curl, CURLINFO_REDIRECT_URL, &location);
  const std::string pointsTo = location ? ShownUrl(location) : "";
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  const std::string where = ShownUrl(options.url);

  if (code != CURLE_OK && !(code == CURLE_WRITE_ERROR && received.tooLong)) {
    PostResult failed =
        TransferFailed(code, Scrubbed(error[0] ? error : curl_easy_strerror(code), options.url), received,
                       uploaded == static_cast<curl_off_t>(compressed.size()), compressed.size(), options);
    failed.httpStatus = result.httpStatus;
    return failed;
  }
  const std::string status =
      Excerpt(received.statusLine.empty() ? std::to_string(result.httpStatus) : received.statusLine, 100);
  if (received.tooLong) {
    result.exit = kServerFailed;
    result.message = where + " answered with more than 1 MiB; no answer to a report is so long";
    return result;
  }
  if (result.httpStatus >= 400) {
    result.exit = result.httpStatus < 500 ? kRefused : kServerFailed;
    const std::string words = ServerWords(received.body);
    result.message = (result.exit == kRefused ? "the server refused the report: " : "the server failed: ") + status +
                     (words.empty() ? "" : ": " + words);
    return result;
  }
  if (result.httpStatus >= 300 && result.httpStatus < 400) {
    result.exit = kServerFailed;
    result.message = where + " answered " + status +
                     (pointsTo.empty() ? ", pointing nowhere" : ", pointing to " + pointsTo) +
                     ": redirects are not followed; give the inventory server's own address";
    return result;
  }
  if (result.httpStatus != 200) {
    result.exit = kServerFailed;
    result.message = where + " answered " + status + ", not 200: is it the inventory server's address?";
    return result;
  }
  const auto answer = Inflate(received.body, kMostAnswer);
  const size_t open = answer ? answer->find("<RESPONSE>") : std::string::npos;
  const size_t close = answer ? answer->find("</RESPONSE>") : std::string::npos;
  if (open == std::string::npos || close == std::string::npos || close < open) {
    result.exit = kServerFailed;
    result.message = where + " answered 200 with no inventory server's reply: is it the inventory server's address?";
    return result;
  }
  const std::string reply = answer->substr(open + 10, close - open - 10);
  if (std::find(std::begin(kStoredReplies), std::end(kStoredReplies), Trim(reply)) == std::end(kStoredReplies)) {
    result.exit = kRefused;
    result.message = "the server refused the report: it answered " + Excerpt(reply, 200);
    return result;
  }
  result.response = std::string(Trim(reply));
  result.exit = kSent;
  return result;
}

}  // namespace brv::send
