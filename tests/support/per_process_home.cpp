// Linked into every test program. Whoever starts it, by CTest or by hand,
// its traffic and that of every program it starts stays on loopback: a
// search's broadcast must never reach a real interface.
//
// CTest gives all the cases of one program
// the same home and config folders, and runs those cases side by side, so
// two cases writing the same preference file would read each other's. Each
// test process moves to folders of its own below that home, removed again
// at its end. A program run by hand (no CTest folders) is left as it is.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

struct PerProcessHome {
  std::filesystem::path root;

  PerProcessHome() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* build = std::getenv("VEMO_BUILD_DIR");
    if (!config || !build) return;
    const std::filesystem::path shared = std::filesystem::path(config).parent_path();
    root = shared / ("proc-" + std::to_string(getpid()));
    std::error_code ec;
    std::filesystem::remove_all(root, ec);  // a dead process's leftovers under a reused id
    for (const char* sub : {"home", "config", "run"}) std::filesystem::create_directories(root / sub, ec);
    chmod((root / "run").c_str(), 0700);
    setenv("HOME", (root / "home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (root / "run").c_str(), 1);
  }
  ~PerProcessHome() {
    if (root.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }
};

struct LoopbackOnly {
  LoopbackOnly() { setenv("TOOLBOX_NET", "loopback", 1); }
};

// Before any test or static of the program can open a socket.
LoopbackOnly gLoopback;
PerProcessHome gHome;

}  // namespace
