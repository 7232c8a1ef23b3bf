#include "containers/send/Transport.h"

#include <curl/curl.h>
#include <zlib.h>

#include <mutex>

#include "common/Excerpt.h"

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
  const std::string lower = url.substr(0, scheme == std::string::npos ? 0 : scheme);
  if (scheme == std::string::npos || (lower != "http" && lower != "https")) {
    throw std::invalid_argument("the server's address starts with http:// or https://");
  }
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

struct Received {
  std::string body;
  std::string statusLine;
  bool tooLong = false;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* r = static_cast<Received*>(user);
  const size_t n = size * count;
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
  // The last status line wins (after a 100 Continue).
  if (line.rfind("HTTP/", 0) == 0) {
    r->statusLine = std::string(line);
    while (!r->statusLine.empty() && (r->statusLine.back() == '\n' || r->statusLine.back() == '\r')) {
      r->statusLine.pop_back();
    }
  }
  return size * count;
}

Exit ExitOfTransfer(CURLcode code) {
  switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING: return kUnreachable;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS: return kUntrusted;
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT: return kUsage;
    default: return kServerFailed;
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
  if (!options.caFile.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, options.caFile.c_str());
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
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  const std::string where = Excerpt(options.url, 200);

  if (code != CURLE_OK && !(code == CURLE_WRITE_ERROR && received.tooLong)) {
    result.exit = ExitOfTransfer(code);
    const std::string detail = error[0] ? error : curl_easy_strerror(code);
    const char* what = result.exit == kUnreachable ? "cannot reach the server at "
                       : result.exit == kUntrusted ? "no secure connection to "
                                                   : "the report could not be sent to ";
    result.message = what + where + ": " + Excerpt(detail, 200);
    return result;
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
  result.response = Excerpt(answer->substr(open + 10, close - open - 10), 100);
  result.exit = kSent;
  return result;
}

}  // namespace brv::send
