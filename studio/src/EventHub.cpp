#include "EventHub.h"

#include <nlohmann/json.hpp>

#include "PageFiles.h"
#include "ScoreText.h"

namespace orvate::studio {

namespace {

// Listeners further behind than this miss events (they still get the next ones).
constexpr std::size_t kKeptEvents = 256;
constexpr std::uint64_t kMaxReadBytes = std::uint64_t(16) << 20;

// The version of the file now, or "" when it cannot be read.
std::string VersionOf(const std::filesystem::path& path, const FileSignature& sig) {
  if (!sig.exists || sig.size > kMaxReadBytes) return sig.exists ? "large-" + std::to_string(sig.mtimeNs) : "";
  const auto bytes = ReadRegularFile(path);
  return bytes ? ScoreVersion(*bytes) : "";
}

std::string Event(const char* type, const char* key, const std::string& value) {
  nlohmann::json data = {{key, value}};
  return std::string("event: ") + type + "\ndata: " +
         data.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n\n";
}

}  // namespace

EventHub::EventHub(std::filesystem::path score) : score_(std::move(score)) {
  if (!score_.empty()) {
    scoreState_.path = score_;
    scoreState_.signature = SignatureOf(score_);
    scoreState_.version = VersionOf(score_, scoreState_.signature);
  }
}

EventHub::~EventHub() { Stop(); }

void EventHub::Start() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (poller_.joinable() || stopping_) return;
  poller_ = std::thread([this] {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
      changed_.wait_for(lock, kPollInterval, [this] { return stopping_; });
      if (stopping_) break;
      lock.unlock();
      PollOnce();
      lock.lock();
    }
  });
}

void EventHub::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (poller_.joinable() && poller_.get_id() != std::this_thread::get_id()) poller_.join();
}

bool EventHub::Stopped() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stopping_;
}

void EventHub::Watch(const std::string& name, const std::filesystem::path& path) {
  const FileSignature sig = SignatureOf(path);
  std::string version = VersionOf(path, sig);
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = files_.find(name);
  if (it == files_.end()) {
    if (files_.size() >= kMaxWatchedFiles) return;
    files_.emplace(name, Watched{path, sig, std::move(version)});
  } else {
    it->second = Watched{path, sig, std::move(version)};
  }
}

std::uint64_t EventHub::Position() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return next_;
}

bool EventHub::Next(std::uint64_t& position, std::string& out, std::chrono::milliseconds wait) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait_for(lock, wait, [&] { return stopping_ || position < next_; });
  if (stopping_) return false;
  if (position >= next_) {
    out += ": keep-alive\n\n";
    return true;
  }
  const std::uint64_t first = next_ - events_.size();
  if (position < first) position = first;
  for (; position < next_; ++position) out += events_[position - first];
  return true;
}

std::string EventHub::ScoreVersionSeen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return scoreState_.version;
}

void EventHub::PollOnce() {
  // Files are read without the lock held; only what changed is written back under it.
  if (!score_.empty()) {
    const FileSignature sig = SignatureOf(score_);
    std::unique_lock<std::mutex> lock(mutex_);
    if (!(sig == scoreState_.signature)) {
      lock.unlock();
      const std::string version = VersionOf(score_, sig);
      lock.lock();
      scoreState_.signature = sig;
      if (version != scoreState_.version) {
        scoreState_.version = version;
        // A score that cannot be read now says nothing; its next version will.
        if (!version.empty()) Publish(Event("score", "version", version));
      }
    }
  }
  std::map<std::string, Watched> files;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    files = files_;
  }
  for (auto& [name, watched] : files) {
    const FileSignature sig = SignatureOf(watched.path);
    if (sig == watched.signature) continue;
    const std::string version = VersionOf(watched.path, sig);
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = files_.find(name);
    if (it == files_.end() || it->second.path != watched.path) continue;
    it->second.signature = sig;
    if (version == it->second.version) continue;
    it->second.version = version;
    Publish(Event("file", "name", name));
  }
}

void EventHub::Publish(std::string event) {
  // Called with mutex_ held.
  events_.push_back(std::move(event));
  if (events_.size() > kKeptEvents) events_.pop_front();
  ++next_;
  changed_.notify_all();
}

}  // namespace orvate::studio
