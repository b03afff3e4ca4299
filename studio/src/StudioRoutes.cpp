#include "StudioRoutes.h"

#include <sys/socket.h>

#include <cstdint>

#include "PageFiles.h"
#include "RequestGuard.h"

namespace orvate::studio {

namespace {

constexpr const char* kTextType = "text/plain; charset=utf-8";

void Refuse(httplib::Response& res, int status, const std::string& text) {
  res.status = status;
  res.set_content(text + "\n", kTextType);
}

// Methods the library has a route table for; its tables read (and cap) the body
// before the route refuses, so the connection stays in step.
bool HasRouteTable(const std::string& method) {
  return method == "GET" || method == "HEAD" || method == "POST" || method == "PUT" ||
         method == "PATCH" || method == "DELETE" || method == "OPTIONS";
}

const char* Reason(int status) {
  switch (status) {
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 409: return "Conflict";
    case 413: return "Payload Too Large";
    case 422: return "Unprocessable Content";
    case 428: return "Precondition Required";
    case 503: return "Service Unavailable";
    case 414: return "URI Too Long";
    case 416: return "Range Not Satisfiable";
    case 431: return "Request Header Fields Too Large";
    default: return "Error";
  }
}

// A short body for errors that carry none, whoever produced them (library included).
httplib::Server::HandlerResponse DescribeError(const httplib::Request&, httplib::Response& res) {
  if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
  res.set_content(std::to_string(res.status) + " " + Reason(res.status) + "\n", kTextType);
  return httplib::Server::HandlerResponse::Handled;
}

// Content-Length as declared; a value that is not a plain number counts as too large.
std::uint64_t DeclaredLength(const httplib::Request& req) {
  const std::string text = req.get_header_value("Content-Length");
  if (text.empty()) return 0;
  if (text.size() > 18) return UINT64_MAX;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return UINT64_MAX;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return value;
}

// The body a request may carry: the score's text, or a little.
std::size_t BodyLimit(const httplib::Request& req) {
  return req.method == "PUT" && req.path == "/api/score" ? kMaxScoreBodyBytes : kMaxBodyBytes;
}

bool IsAllowedOriginHeader(const StudioSite& site, const httplib::Request& req) {
  const std::size_t count = req.get_header_value_count("Origin");
  return count == 0 || (count == 1 && IsAllowedOrigin(req.get_header_value("Origin"), site.port));
}

}  // namespace

void ConfigureStudioServer(httplib::Server& server) {
  server.set_payload_max_length(kMaxScoreBodyBytes);
  // Listening pages each hold a thread for as long as they listen.
  server.new_task_queue = [] { return new httplib::ThreadPool(kServerThreads); };
  // Plain SO_REUSEADDR: the library's default SO_REUSEPORT would let a second server
  // share a port that is already taken instead of failing.
  server.set_socket_options([](socket_t sock) {
    int yes = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  // Idle keep-alive connections hold up shutdown for this long.
  server.set_keep_alive_timeout(2);
  // A client that stalls mid-request or stops reading is dropped.
  server.set_read_timeout(5, 0);
  server.set_write_timeout(5, 0);
  // A rebuilt page must show at once, so nothing is cached.
  server.set_default_headers({
      {"X-Content-Type-Options", "nosniff"},
      {"Cache-Control", "no-store"},
      {"Cross-Origin-Resource-Policy", "same-origin"},
  });
}

httplib::Server::HandlerResponse GuardRequest(const StudioSite& site, const httplib::Request& req,
                                              httplib::Response& res) {
  using R = httplib::Server::HandlerResponse;
  if (req.get_header_value_count("Host") != 1 ||
      !IsAllowedHost(req.get_header_value("Host"), site.port)) {
    Refuse(res, 403, "Forbidden");
    return R::Handled;
  }
  // A page of another site may send requests here (a form, a fetch in no-cors mode); its
  // browser names it in Origin.
  if (!IsAllowedOriginHeader(site, req)) {
    Refuse(res, 403, "Forbidden");
    return R::Handled;
  }
  if (req.headers.size() > kMaxHeaderFields) {
    Refuse(res, 431, "Too many header fields");
    return R::Handled;
  }
  if (!HasRouteTable(req.method)) {
    RefuseMethod(req, res);
    return R::Handled;
  }
  // The library never reads a GET or HEAD body; such a request is refused, not served as if bodiless.
  if ((req.method == "GET" || req.method == "HEAD") &&
      (req.has_header("Transfer-Encoding") || DeclaredLength(req) > 0)) {
    if (DeclaredLength(req) > kMaxBodyBytes) {
      Refuse(res, 413, "Payload Too Large");
    } else {
      Refuse(res, 400, "A " + req.method + " request carries no body");
    }
    return R::Handled;
  }
  // Beyond any limit: answered at once rather than after reading and dropping the body.
  if (DeclaredLength(req) > kMaxScoreBodyBytes) {
    Refuse(res, 413, "Payload Too Large");
    return R::Handled;
  }
  return R::Unhandled;
}

int AnswerExpectContinue(const StudioSite& site, const httplib::Request& req, httplib::Response& res) {
  // Refused requests are answered before the client sends its body.
  if (GuardRequest(site, req, res) == httplib::Server::HandlerResponse::Handled) return res.status;
  if (DeclaredLength(req) > BodyLimit(req)) {
    Refuse(res, 413, "Payload Too Large");
    return 413;
  }
  return 100;
}

void ServePageFile(const StudioSite& site, const httplib::Request& req, httplib::Response& res) {
  // The raw target, not the library's decoded path: an encoded slash must stay refused.
  const auto relative = PagePathFromTarget(req.target);
  const auto file = relative ? ResolveUnderRoot(site.root, *relative) : std::nullopt;
  const auto content = file ? ReadRegularFile(*file) : std::nullopt;
  if (!content) {
    Refuse(res, 404, "Not Found");
    return;
  }
  res.status = 200;
  res.set_content(*content, ContentTypeFor(file->filename().string()));
}

void RefuseMethod(const httplib::Request& req, httplib::Response& res) {
  // The library has read the body (up to the score's limit, and drained beyond): the size
  // is answered here, so that the client hears it.
  if (req.body.size() > kMaxBodyBytes) {
    Refuse(res, 413, "Payload Too Large");
    return;
  }
  Refuse(res, 405, "Method Not Allowed");
  res.set_header("Allow", req.path == "/api/score" ? "GET, HEAD, PUT" : "GET, HEAD");
}

void InstallStudioRoutes(httplib::Server& server, const StudioSite& site) {
  server.set_pre_routing_handler(
      [&site](const httplib::Request& req, httplib::Response& res) { return GuardRequest(site, req, res); });
  server.set_expect_100_continue_handler([&site](const httplib::Request& req, httplib::Response& res) {
    return AnswerExpectContinue(site, req, res);
  });
  server.set_error_handler(httplib::Server::HandlerWithResponse(DescribeError));
  const auto route = [&site](void (*handler)(const StudioSite&, const httplib::Request&, httplib::Response&)) {
    return [&site, handler](const httplib::Request& req, httplib::Response& res) { handler(site, req, res); };
  };
  server.Get("/api/score", route(ServeApiScore));
  server.Put("/api/score", route(SaveApiScore));
  server.Get("/api/file", route(ServeApiFile));
  server.Get("/api/events", route(ServeApiEvents));
  server.Get("/api/.*", route(ServeApiUnknown));
  server.Get(".*", [&site](const httplib::Request& req, httplib::Response& res) {
    ServePageFile(site, req, res);
  });
  // Besides GET and HEAD, only the score is written.
  server.Post(".*", RefuseMethod);
  server.Put(".*", RefuseMethod);
  server.Patch(".*", RefuseMethod);
  server.Delete(".*", RefuseMethod);
  server.Options(".*", RefuseMethod);
}

}  // namespace orvate::studio
