#pragma once
// Watches the score and the instrument files the pages have fetched, and tells every
// listening page when one changes (server-sent events).
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "ScoreFile.h"

namespace orvate::studio {

class EventHub {
 public:
  static constexpr std::chrono::milliseconds kPollInterval{100};
  static constexpr std::chrono::seconds kKeepAlive{15};
  static constexpr std::size_t kMaxWatchedFiles = 256;

  // score may be empty (no score: only instruments are watched).
  explicit EventHub(std::filesystem::path score);
  ~EventHub();
  EventHub(const EventHub&) = delete;
  EventHub& operator=(const EventHub&) = delete;

  // The poller runs from Start until Stop; Stop also ends every stream.
  void Start();
  void Stop();
  bool Stopped() const;

  // An instrument file served under name (as the page asked for it) lives at path.
  void Watch(const std::string& name, const std::filesystem::path& path);

  // A listener starts at the current position; Next waits up to wait for what follows it and
  // appends it to out as event-stream text (a keep-alive comment when nothing came). False once stopped.
  std::uint64_t Position() const;
  bool Next(std::uint64_t& position, std::string& out, std::chrono::milliseconds wait);

  // The score's version as last seen by the poller ("" when it cannot be read).
  std::string ScoreVersionSeen() const;

  // One look at every watched file now (the poller calls it each interval).
  void PollOnce();

 private:
  struct Watched {
    std::filesystem::path path;
    FileSignature signature;
    std::string version;
  };
  void Publish(std::string event);

  const std::filesystem::path score_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool stopping_ = false;
  std::thread poller_;
  std::map<std::string, Watched> files_;  // by the name the page asked for
  Watched scoreState_;
  std::deque<std::string> events_;  // the last few, events_.back() at position next_ - 1
  std::uint64_t next_ = 0;
};

}  // namespace orvate::studio
