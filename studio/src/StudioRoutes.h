#pragma once
// What orvatek-studio answers: the guard in front of every request, and one function per route.
#include <httplib.h>

#include <filesystem>
#include <string>

namespace orvate::studio {

// Request bodies larger than this are refused (413) before any handler sees them.
inline constexpr std::size_t kMaxBodyBytes = 1 << 20;
// Browsers send a few dozen header fields; the library already caps each line.
inline constexpr std::size_t kMaxHeaderFields = 100;

struct StudioSite {
  std::filesystem::path root;   // canonical directory of the page
  std::filesystem::path score;  // empty: no score given
  std::string scoreName;        // the score's file name as given
  int port = 0;
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
void ServeScore(const StudioSite& site, const httplib::Request& req, httplib::Response& res);
void ServeScoreName(const StudioSite& site, const httplib::Request& req, httplib::Response& res);
void RefuseMethod(const httplib::Request& req, httplib::Response& res);

bool IsValidUtf8(std::string_view bytes);

}  // namespace orvate::studio
