#pragma once
// What orvatek-studio answers: the guard in front of every request, and one function per route.
#include <httplib.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <string>

namespace orvate::studio {

class EventHub;

// Request bodies larger than these are refused (413) before any handler sees them: the
// score's text may be large, nothing else sends much.
inline constexpr std::size_t kMaxScoreBodyBytes = std::size_t(16) << 20;
inline constexpr std::size_t kMaxBodyBytes = std::size_t(64) << 10;
// Each listening page holds one of the server's threads.
inline constexpr int kMaxListeners = 32;
inline constexpr std::size_t kServerThreads = 48;
// Browsers send a few dozen header fields; the library already caps each line.
inline constexpr std::size_t kMaxHeaderFields = 100;

struct StudioSite {
  std::filesystem::path root;      // canonical directory of the page
  std::filesystem::path score;     // absolute; empty: no score given
  std::filesystem::path scoreDir;  // canonical directory of the score
  std::string scoreName;           // the score's file name as given
  std::string token;               // every /api request carries it
  int port = 0;
  EventHub* events = nullptr;
  // One save at a time: the version check and the write go together.
  mutable std::mutex saving;
  mutable std::atomic<int> listeners{0};
};

// Limits, socket options and the headers every answer carries.
void ConfigureStudioServer(httplib::Server& server);

// site must outlive server.
void InstallStudioRoutes(httplib::Server& server, const StudioSite& site);

// Exposed for their tests; InstallStudioRoutes wires them.
httplib::Server::HandlerResponse GuardRequest(const StudioSite& site, const httplib::Request& req,
                                              httplib::Response& res);
// The answer to "Expect: 100-continue": 100, or the refusal the guard would give.
int AnswerExpectContinue(const StudioSite& site, const httplib::Request& req, httplib::Response& res);
void ServePageFile(const StudioSite& site, const httplib::Request& req, httplib::Response& res);
void RefuseMethod(const httplib::Request& req, httplib::Response& res);

// The /api routes (ApiRoutes.cpp); each checks the token first.
bool HasValidToken(const StudioSite& site, const httplib::Request& req);
void ServeApiScore(const StudioSite& site, const httplib::Request& req, httplib::Response& res);
void SaveApiScore(const StudioSite& site, const httplib::Request& req, httplib::Response& res);
void ServeApiFile(const StudioSite& site, const httplib::Request& req, httplib::Response& res);
void ServeApiEvents(const StudioSite& site, const httplib::Request& req, httplib::Response& res);
void ServeApiUnknown(const StudioSite& site, const httplib::Request& req, httplib::Response& res);

}  // namespace orvate::studio
