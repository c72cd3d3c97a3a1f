// Small helpers the fuzz targets share: a scratch file that a target hands
// to the product's file readers, a cursor that splits the fuzzed bytes into
// fields, and a check that turns a broken promise into a crash libFuzzer
// keeps.
#pragma once

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

namespace fuzz {

// Aborts (a crash for libFuzzer) when a promise of the code under test is
// broken, naming which.
inline void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

// One file in a folder of this process, written anew for every input; the
// folder goes away when the process ends normally.
class ScratchFile {
 public:
  explicit ScratchFile(const char* leaf) {
    std::string tmpl = (std::filesystem::temp_directory_path() / "vemo-fuzz-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) {
      std::perror("mkdtemp");
      std::abort();
    }
    dir_ = tmpl;
    path_ = (dir_ / leaf).string();
  }
  ~ScratchFile() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  const std::string& path() const { return path_; }
  const std::filesystem::path& dir() const { return dir_; }

  void Write(std::span<const std::uint8_t> bytes) const { WriteAt(path_, bytes); }

  // Writes bytes as the whole file at path.
  static void WriteAt(const std::string& path, std::span<const std::uint8_t> bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
      std::perror(path.c_str());
      std::abort();
    }
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::abort();
    std::fclose(f);
  }

 private:
  std::filesystem::path dir_;
  std::string path_;
};

// Reads fields from the front of the fuzzed bytes; past the end every field
// reads as zero or empty.
class Cursor {
 public:
  Cursor(const std::uint8_t* data, std::size_t size) : p_(data), left_(size) {}

  std::uint8_t U8() {
    if (!left_) return 0;
    --left_;
    return *p_++;
  }
  std::uint16_t U16() {
    std::uint16_t hi = U8();
    return static_cast<std::uint16_t>(hi << 8 | U8());
  }
  // At most n bytes.
  std::span<const std::uint8_t> Bytes(std::size_t n) {
    if (n > left_) n = left_;
    std::span<const std::uint8_t> s(p_, n);
    p_ += n;
    left_ -= n;
    return s;
  }
  std::span<const std::uint8_t> Rest() { return Bytes(left_); }
  // The bytes up to the next '\n' (not included) or the end; false when
  // nothing is left.
  bool Line(std::string& out) {
    if (!left_) return false;
    std::size_t n = 0;
    while (n < left_ && p_[n] != '\n') ++n;
    out.assign(reinterpret_cast<const char*>(p_), n);
    std::size_t take = n < left_ ? n + 1 : n;
    p_ += take;
    left_ -= take;
    return true;
  }
  std::size_t left() const { return left_; }

 private:
  const std::uint8_t* p_;
  std::size_t left_;
};

// Processor time one turn of a network target's event loop may take at
// most (sanitizers on): a peer must not make a turn long, whatever it sends.
constexpr long kTurnBoundMs = 250;

// This thread's processor time in user mode. The kernel's share is left
// out: binding a socket among the thousands in TIME_WAIT that whatever else
// runs on the machine leaves behind costs kernel time no input asked for,
// while a turn that loops on an input's account still runs up user time.
inline long ThreadUserMs() {
  rusage ru{};
  ::getrusage(RUSAGE_THREAD, &ru);
  return long(ru.ru_utime.tv_sec) * 1000 + ru.ru_utime.tv_usec / 1000;
}

// Runs fn as one turn of the loop and checks it stayed within the bound.
template <class Fn>
void TimedTurn(Fn&& fn) {
  const long t0 = ThreadUserMs();
  fn();
  Check(ThreadUserMs() - t0 <= kTurnBoundMs, "a turn of the loop stays short");
}

// A count that another thread raises, and a wait for it that wakes at
// once rather than by polling the clock.
class Tally {
 public:
  void Add() {
    {
      std::lock_guard<std::mutex> g(lock_);
      ++count_;
    }
    raised_.notify_all();
  }
  int Count() {
    std::lock_guard<std::mutex> g(lock_);
    return count_;
  }
  // Whether the count reached n; the time limit only guards against a hang.
  bool WaitFor(int n, std::chrono::seconds limit) {
    std::unique_lock<std::mutex> l(lock_);
    return raised_.wait_for(l, limit, [&] { return count_ >= n; });
  }

 private:
  std::mutex lock_;
  std::condition_variable raised_;
  int count_ = 0;
};

// The text up to the first NUL, as a C string would be read.
inline std::string CString(std::string_view s) { return std::string(s.substr(0, s.find('\0'))); }

}  // namespace fuzz
