#pragma once
// One private directory per process: the instrument fixtures that scores may name, beside
// whatever a run writes. Everything but the fixtures is removed after every input.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace orvate::fuzz {

inline bool ReadAll(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

inline bool IsFile(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

namespace detail {

inline void PutLE(std::string& out, unsigned v, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A minimal XI: the 298-byte header, one 40-byte sample header, sampleBytes of data.
inline std::string XiFile(unsigned sampleBytes) {
  std::string xi = "Extended Instrument: ";
  xi += "fuzz";
  xi += std::string(18, '\0');
  xi += '\x1a';
  xi += std::string(20, ' ');
  PutLE(xi, 0x0102, 2);
  xi += std::string(230, '\0');
  PutLE(xi, 1, 2);
  PutLE(xi, sampleBytes, 4);
  xi += std::string(36, '\0');
  xi += std::string(sampleBytes, '\x01');
  return xi;
}

// Name and content of every fixture: a good XI, one too short, one with an extension block.
inline const std::vector<std::pair<std::string, std::string>>& Fixtures() {
  static const std::vector<std::pair<std::string, std::string>> fixtures = [] {
    std::string ext = XiFile(1200);
    ext.replace(ext.size() - 1099, 4, "XTPM");
    return std::vector<std::pair<std::string, std::string>>{
        {"inst.xi", XiFile(16)}, {"short.xi", std::string(100, 'x')}, {"ext.xi", ext}};
  }();
  return fixtures;
}

inline void Write(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace detail

// The directory, with a trailing "/"; created on first use, removed at exit.
inline const std::string& SandboxDir() {
  // Never destroyed, so the exit handler that removes the directory can still name it.
  static const std::string* dir = [] {
    std::string tmpl = (std::filesystem::temp_directory_path() / "orvate-fuzz-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    auto* made = new std::string(tmpl + "/");
    for (const auto& [name, bytes] : detail::Fixtures()) detail::Write(*made + name, bytes);
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(SandboxDir(), ec);
    });
    return made;
  }();
  return *dir;
}

// Removes everything but the fixtures and writes the fixtures afresh (a run may have replaced one).
inline void ResetSandbox() {
  static const std::set<std::string> keep = [] {
    std::set<std::string> names;
    for (const auto& fixture : detail::Fixtures()) names.insert(fixture.first);
    return names;
  }();
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(SandboxDir(), ec)) {
    if (keep.count(entry.path().filename().string()) == 0) std::filesystem::remove_all(entry.path(), ec);
  }
  for (const auto& [name, bytes] : detail::Fixtures()) {
    const std::string path = SandboxDir() + name;
    std::string now;
    if (!IsFile(path) || !ReadAll(path, now) || now != bytes) {
      std::filesystem::remove_all(path, ec);
      detail::Write(path, bytes);
    }
  }
}

}  // namespace orvate::fuzz
