// The /api routes: the score as text (read and saved), instrument files, change events.
#include <nlohmann/json.hpp>

#include "EventHub.h"
#include "InstrumentFiles.h"
#include "PageFiles.h"
#include "ScoreFile.h"
#include "ScoreText.h"
#include "StudioRoutes.h"
#include "StudioToken.h"

namespace orvate::studio {

namespace {

using Json = nlohmann::json;
constexpr const char* kJsonType = "application/json; charset=utf-8";

void Reply(httplib::Response& res, int status, const Json& body) {
  res.status = status;
  // Replacement, never invalid UTF-8: a file name may be cp932.
  res.set_content(body.dump(-1, ' ', false, Json::error_handler_t::replace), kJsonType);
}

void Error(httplib::Response& res, int status, const std::string& what) { Reply(res, status, {{"error", what}}); }

// A file name for the page: as it is when UTF-8, else read as cp932.
std::string DisplayName(const std::string& name) {
  return IsValidUtf8(name) ? name : DecodeScore(name).text;
}

// The score's bytes now, or an answer already given.
std::optional<std::string> ReadScore(const StudioSite& site, httplib::Response& res) {
  if (site.score.empty()) {
    Error(res, 404, "no score");
    return std::nullopt;
  }
  if (SignatureOf(site.score).size > kMaxScoreBodyBytes) {
    Error(res, 413, "the score is too large");
    return std::nullopt;
  }
  auto bytes = ReadRegularFile(site.score);
  if (!bytes) Error(res, 404, "the score cannot be read");
  return bytes;
}

// Bytes outside printable ASCII, and "%", as %XX: a header carries no raw UTF-8 or cp932.
std::string HeaderSafe(const std::string& text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b >= 0x7F || b == '%') {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    } else {
      out += c;
    }
  }
  return out;
}

std::string IfMatch(const httplib::Request& req) {
  std::string value = req.get_header_value("If-Match");
  // A quoted entity tag is accepted too.
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
  return value;
}

}  // namespace

bool HasValidToken(const StudioSite& site, const httplib::Request& req) {
  if (req.get_header_value_count("X-Orvate-Token") > 1 || req.get_param_value_count("token") > 1) return false;
  if (req.has_header("X-Orvate-Token")) return TokensEqual(site.token, req.get_header_value("X-Orvate-Token"));
  return TokensEqual(site.token, req.get_param_value("token"));
}

void ServeApiScore(const StudioSite& site, const httplib::Request& req, httplib::Response& res) {
  if (!HasValidToken(site, req)) return Error(res, 403, "forbidden");
  const auto bytes = ReadScore(site, res);
  if (!bytes) return;
  const DecodedScore score = DecodeScore(*bytes);
  Reply(res, 200,
        {{"name", DisplayName(site.scoreName)},
         {"text", score.text},
         {"encoding", EncodingName(score.encoding)},
         {"eol", LineEndName(score.eol)},
         {"version", ScoreVersion(*bytes)},
         {"lossy", score.lossy}});
}

void SaveApiScore(const StudioSite& site, const httplib::Request& req, httplib::Response& res) {
  if (!HasValidToken(site, req)) return Error(res, 403, "forbidden");
  if (site.score.empty()) return Error(res, 404, "no score");
  if (!req.has_header("If-Match")) return Error(res, 428, "If-Match is required");
  if (req.body.size() > kMaxScoreBodyBytes) return Error(res, 413, "too large");
  std::string text;
  try {
    const Json body = Json::parse(req.body);
    if (!body.is_object() || !body.contains("text") || !body["text"].is_string()) {
      return Error(res, 400, "the body must be {\"text\": \"...\"}");
    }
    text = body["text"].get<std::string>();
  } catch (const Json::exception&) {
    return Error(res, 400, "the body is not JSON");
  }

  std::lock_guard<std::mutex> lock(site.saving);
  const auto bytes = ReadScore(site, res);
  if (!bytes) return;
  const std::string current = ScoreVersion(*bytes);
  if (IfMatch(req) != current) return Reply(res, 409, {{"error", "changed"}, {"version", current}});
  const DecodedScore old = DecodeScore(*bytes);
  // Bytes that did not decode cannot be written back as they were.
  if (old.lossy) return Error(res, 422, "lossy");
  const EncodeResult encoded = EncodeEdit(old, text);
  if (!encoded.ok) {
    return Reply(res, 422,
                 {{"error", "unencodable"},
                  {"line", encoded.line},
                  {"column", encoded.column},
                  {"character", encoded.character}});
  }
  if (encoded.bytes != *bytes) {
    std::string error;
    if (!ReplaceFileAtomically(site.score, encoded.bytes, error)) return Error(res, 500, error);
  }
  Reply(res, 200, {{"version", ScoreVersion(encoded.bytes)}});
}

void ServeApiFile(const StudioSite& site, const httplib::Request& req, httplib::Response& res) {
  if (!HasValidToken(site, req)) return Error(res, 403, "forbidden");
  if (site.scoreDir.empty() || !req.has_param("name")) return Error(res, 404, "not found");
  const std::string name = req.get_param_value("name");
  const auto found = ResolveInstrument(site.scoreDir, name, req.get_param_value("instlib"));
  if (!found) return Error(res, 404, "not found");
  if (SignatureOf(found->path).size > kMaxInstrumentBytes) return Error(res, 413, "too large");
  const auto bytes = ReadRegularFile(found->path);
  if (!bytes || bytes->size() > kMaxInstrumentBytes) return Error(res, 404, "not found");
  if (site.events) site.events->Watch(name, found->path);
  res.status = 200;
  res.set_header("X-Resolved", HeaderSafe(found->shown));
  res.set_content(*bytes, "application/octet-stream");
}

void ServeApiEvents(const StudioSite& site, const httplib::Request& req, httplib::Response& res) {
  if (!HasValidToken(site, req)) return Error(res, 403, "forbidden");
  if (!site.events || site.events->Stopped()) return Error(res, 503, "stopping");
  if (++site.listeners > kMaxListeners) {
    --site.listeners;
    return Error(res, 503, "too many listeners");
  }
  EventHub* hub = site.events;
  auto position = std::make_shared<std::uint64_t>(hub->Position());
  auto started = std::make_shared<bool>(false);
  const std::string scoreVersion = site.score.empty() ? "" : hub->ScoreVersionSeen();
  res.status = 200;
  res.set_chunked_content_provider(
      "text/event-stream",
      [hub, position, started, scoreVersion](std::size_t, httplib::DataSink& sink) {
        std::string out;
        if (!*started) {
          *started = true;
          // The version now, so that a change between the page's read and this stream is not missed.
          out = "retry: 1000\n\n";
          if (!scoreVersion.empty()) out += "event: score\ndata: " + Json({{"version", scoreVersion}}).dump() + "\n\n";
        } else if (!hub->Next(*position, out, EventHub::kKeepAlive)) {
          sink.done();
          return true;
        }
        return sink.write(out.data(), out.size());
      },
      [&site](bool) { --site.listeners; });
}

void ServeApiUnknown(const StudioSite& site, const httplib::Request& req, httplib::Response& res) {
  if (!HasValidToken(site, req)) return Error(res, 403, "forbidden");
  Error(res, 404, "not found");
}

}  // namespace orvate::studio
