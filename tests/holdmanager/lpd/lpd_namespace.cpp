// Running commands beside LPRng's lpd in a private mount and network
// namespace of their own, for the upload tests.
#include "lpd_namespace.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace holdtest {

namespace {
std::string findProgram(const char* name) {
  for (const char* d : {"/usr/sbin", "/usr/bin", "/sbin", "/bin"}) {
    std::string p = std::string(d) + "/" + name;
    if (access(p.c_str(), X_OK) == 0) return p;
  }
  return {};
}
}  // namespace

LpdRun RunWithLpd(const std::string& dir, int queues, const std::string& commands, int timeoutSeconds) {
  LpdRun r;
  std::string lpd = findProgram("lpd"), unshare = findProgram("unshare"), ip = findProgram("ip"),
              lpc = findProgram("lpc");
  if (lpd.empty() || lpc.empty()) return r.why = "LPRng's lpd is not installed (scripts/install-deps)", r;
  if (unshare.empty() || ip.empty()) return r.why = "unshare or ip is not installed", r;
  namespace fs = std::filesystem;
  fs::create_directories(dir + "/etc");
  fs::create_directories(dir + "/spool/lpd");
  fs::create_directories(dir + "/run/lprng");
  {
    std::ofstream conf(dir + "/etc/lpd.conf");
    // No local socket: every client, lpr too, reaches the daemon over TCP
    // on loopback as the program does.
    conf << "printcap_path=/etc/lprng/printcap\nlpd_printcap_path=\nlockfile=/run/lpd\n"
            "lpd_listen_port=515\nlpd_port=515\nunix_socket_path=\n";
    std::ofstream perms(dir + "/etc/lpd.perms");
    perms << "ACCEPT SERVICE=C SERVER REMOTEUSER=root\nDEFAULT ACCEPT\n";
    std::ofstream pc(dir + "/etc/printcap");
    for (int i = 1; i <= queues; ++i) {
      pc << "hold_" << i << ":sd=/var/spool/lpd/hold_" << i << ":lp=/dev/null:sh\n";
      fs::create_directories(dir + "/spool/lpd/hold_" + std::to_string(i));
    }
  }
  for (auto& p : fs::recursive_directory_iterator(dir + "/spool"))
    fs::permissions(p.path(), fs::perms::all, fs::perm_options::add);
  fs::permissions(dir + "/spool", fs::perms::all, fs::perm_options::add);
  fs::permissions(dir + "/run/lprng", fs::perms::all, fs::perm_options::add);

  std::string script = "set -e\n" + ip + " link set lo up\n" + "mount --bind '" + dir + "/etc' /etc/lprng\n" +
                       "mount --bind '" + dir + "/spool' /var/spool\n" + "mount --bind '" + dir + "/run' /run\n" +
                       lpd + " -F >'" + dir + "/lpd.log' 2>&1 &\nLPD=$!\n" +
                       "trap 'kill $LPD 2>/dev/null; sleep 0.2; kill -9 $LPD 2>/dev/null || true' EXIT\n"
                       "for i in $(seq 50); do " + lpc + " -Pall status >/dev/null 2>&1 && break; sleep 0.1; done\n"
                       "for q in $(seq " + std::to_string(queues) + "); do " + lpc +
                       " -Phold_$q stop >/dev/null 2>&1; done\n"
                       "set +e\n" + commands + "\nsleep 0.3\n" +
                       "for q in $(seq " + std::to_string(queues) + "); do for f in /var/spool/lpd/hold_$q/*; do "
                       "n=$(basename \"$f\"); case \"$n\" in df*|hf*|cf*) echo \"FILE $q $n $(stat -c %s \"$f\")\";; esac; "
                       "case \"$n\" in hf*|cf*) sed \"s/^/LINE $q /\" \"$f\";; esac; done; done\n";
  std::string scriptPath = dir + "/run.sh";
  std::ofstream(scriptPath) << script;
  std::string cmd = "timeout " + std::to_string(timeoutSeconds) + " " + unshare + " -mn sh '" + scriptPath +
                    "' 2>'" + dir + "/run.err'";
  std::FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r.why = "cannot start unshare", r;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
  int status = pclose(p);
  std::ifstream err(dir + "/run.err");
  std::string errText((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
  if (status != 0 && r.output.find("FILE") == std::string::npos) {
    r.why = "the daemon could not run here (namespaces?): " + errText.substr(0, 300);
    return r;
  }
  r.ran = true;
  return r;
}

}  // namespace holdtest
