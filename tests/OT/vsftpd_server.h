// A real FTP server for the FTP tests and the upload benchmark: vsftpd from
// Debian's packages, configured in a temporary folder, listening on
// 127.0.0.1 on a free port, logging in the user "user" with the password
// "fern" into a folder that holds "lp". It runs in a private mount
// namespace where its own PAM service and account files are mounted over
// the system's, so nothing of the machine's set-up is read or changed.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

#include "test_support.h"

namespace testsupport {

class VsftpdServer {
 public:
  VsftpdServer() = default;
  ~VsftpdServer();
  VsftpdServer(const VsftpdServer&) = delete;
  VsftpdServer& operator=(const VsftpdServer&) = delete;

  // Starts the server and waits for its greeting. False, with the reason in
  // why, when it cannot run here (not installed, no namespaces).
  bool Start(std::string* why);
  void Stop();

  unsigned short Port() const { return port_; }
  // Where the files stored into "lp" land.
  std::filesystem::path UploadFolder() const { return dir_ / "root" / "lp"; }

 private:
  TempDir dir_;
  pid_t pid_ = -1;
  unsigned short port_ = 0;
};

}  // namespace testsupport
