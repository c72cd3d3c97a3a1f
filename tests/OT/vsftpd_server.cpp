// Starting and stopping the vsftpd fixture in its own namespace and folder.
#include "vsftpd_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

#include "pboxemu/emulator.h"

extern char** environ;

namespace testsupport {

namespace {

// SHA-512 crypt of the password "fern".
constexpr const char* kFernHash =
    "$6$vemotest$himzMcWFDHu0L06gCDfer9V2FpshA51fcHOLaxhes52Rwo0wKKdlqQA26Zhdc9v4CSqqDJOgQD9jSRUlFj2YX0";

std::string findProgram(const std::string& name) {
  for (const char* dir : {"/usr/sbin", "/usr/bin", "/sbin", "/bin", "/usr/local/sbin", "/usr/local/bin"}) {
    std::filesystem::path p = std::filesystem::path(dir) / name;
    if (access(p.c_str(), X_OK) == 0) return p.string();
  }
  return {};
}

// True once the server answers with its greeting.
bool greets(unsigned short port) {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = false;
  if (connect(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) {
    pollfd p{s, POLLIN, 0};
    char buf[64] = {};
    if (poll(&p, 1, 2000) > 0 && recv(s, buf, sizeof buf - 1, 0) >= 3) ok = std::string(buf, 3) == "220";
  }
  close(s);
  return ok;
}

}  // namespace

VsftpdServer::~VsftpdServer() { Stop(); }

bool VsftpdServer::Start(std::string* why) {
  auto fail = [&](const std::string& reason) {
    if (why) *why = reason;
    Stop();
    return false;
  };
  std::string vsftpd = findProgram("vsftpd");
  if (vsftpd.empty()) return fail("vsftpd is not installed (scripts/install-deps installs it)");
  std::string unshare = findProgram("unshare");
  if (unshare.empty()) return fail("unshare is not installed");
  bool root = geteuid() == 0;

  const std::filesystem::path& d = dir_.path();
  std::filesystem::create_directories(d / "root" / "lp");
  std::filesystem::create_directories(d / "empty");
  chmod((d / "empty").c_str(), 0555);
  WriteFile(d / "pam" / "vsftpd",
            "auth required pam_unix.so\n"
            "account required pam_permit.so\n"
            "session required pam_permit.so\n");
  // Inside a user namespace only our own id exists, as 0.
  std::string nobody = root ? "65534" : "0";
  WriteFile(d / "etc" / "passwd", "root:x:0:0:root:/root:/bin/sh\n"
                                  "nobody:x:" + nobody + ":" + nobody + ":nobody:/nonexistent:/usr/sbin/nologin\n"
                                  "user:x:0:0:print box:" + (d / "root").string() + ":/bin/sh\n");
  WriteFile(d / "etc" / "shadow", "root:*:19000:0:99999:7:::\n"
                                  "nobody:*:19000:0:99999:7:::\n"
                                  "user:" + std::string(kFernHash) + ":19000:0:99999:7:::\n");
  chmod((d / "etc" / "shadow").c_str(), 0600);
  WriteFile(d / "etc" / "group", "root:x:0:\nnogroup:x:" + nobody + ":\n");

  // A port of this process's own block: no other test process is given
  // it, so the server that greets there is ours.
  port_ = pboxemu::PrivatePort(4);
  WriteFile(d / "vsftpd.conf", "listen=YES\n"
                               "listen_ipv6=NO\n"
                               "listen_address=127.0.0.1\n"
                               "listen_port=" + std::to_string(port_) + "\n"
                               "background=NO\n"
                               "anonymous_enable=NO\n"
                               "local_enable=YES\n"
                               "write_enable=YES\n"
                               "local_umask=022\n"
                               "local_root=" + (d / "root").string() + "\n"
                               "chroot_local_user=NO\n"
                               "pam_service_name=vsftpd\n"
                               "secure_chroot_dir=" + (d / "empty").string() + "\n"
                               "seccomp_sandbox=NO\n"
                               "isolate=NO\n"
                               "isolate_network=NO\n"
                               "pasv_enable=NO\n"
                               "port_enable=YES\n"
                               "connect_from_port_20=NO\n"
                               "xferlog_enable=NO\n"
                               "dirmessage_enable=NO\n"
                               "delete_failed_uploads=YES\n"
                               "ftpd_banner=Ready.\n");

  std::string script = "mount --bind '" + (d / "pam").string() + "' /etc/pam.d";
  for (const char* f : {"passwd", "shadow", "group"})
    script += " && mount --bind '" + (d / "etc" / f).string() + "' /etc/" + f;
  script += " && exec '" + vsftpd + "' '" + (d / "vsftpd.conf").string() + "'";
  std::vector<std::string> args = {unshare};
  if (!root) args.push_back("-r");
  for (const char* a : {"-m", "--", "/bin/sh", "-c"}) args.push_back(a);
  args.push_back(script);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  std::string log = (d / "server.log").string();
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&files, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&files, 1, 2);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  // Its own process group, so that the sessions it forks end with it.
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attr, 0);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, unshare.c_str(), &files, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&files);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) return fail("cannot start unshare");
  pid_ = pid;

  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < end) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return fail("vsftpd could not run here (it needs mount namespaces): " + ReadFile(log));
    }
    if (greets(port_)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return fail("vsftpd did not answer: " + ReadFile(log));
}

void VsftpdServer::Stop() {
  if (pid_ <= 0) return;
  kill(-pid_, SIGTERM);
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  int status = 0;
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > end) {
      kill(-pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  pid_ = -1;
}

}  // namespace testsupport
