// File services: tree copies, deletion, whole-or-nothing replacement,
// exchange and atomic writes, and read-only folders.
#include "toolbox/fileservices.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <map>

#include "test_support.h"
#include "toolbox/memory.h"

namespace fs = std::filesystem;
using testsupport::PStr;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

FSSpec SpecOf(const fs::path& p) {
  FSSpec s{};
  OSErr err = tb::PathToSpec(p.string(), &s);
  EXPECT_TRUE(err == noErr || err == fnfErr) << p;
  return s;
}

// Everything a copy must keep, per relative path: kind, permission bits,
// bytes or link target, Finder information and modification time.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> out;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    const fs::path& p = it->path();
    struct stat st;
    ::lstat(p.c_str(), &st);
    std::string v = std::to_string(st.st_mode) + "|" + std::to_string(st.st_mtime) + "|";
    if (S_ISLNK(st.st_mode))
      v += "->" + fs::read_symlink(p).string();
    else if (S_ISREG(st.st_mode))
      v += std::to_string(std::hash<std::string>{}(ReadFile(p)));
    char finfo[16];
    ssize_t n = ::lgetxattr(p.c_str(), "user.vemo.finfo", finfo, sizeof finfo);
    if (n > 0) v += "|" + std::string(finfo, std::size_t(n));
    out[p.lexically_relative(root).string()] = v;
  }
  return out;
}

// A program bundle with an executable, data with type and creator, relative
// and absolute links, an empty folder and a named pipe.
void MakeBundle(const fs::path& app, const std::string& version) {
  WriteFile(app / "Contents/MacOS/Prog", "#!/bin/sh\necho " + version + "\n");
  fs::permissions(app / "Contents/MacOS/Prog", fs::perms(0755));
  WriteFile(app / "Contents/Resources/English/Text.ini", "[A]\r" + version);
  WriteFile(app / "Contents/Resources/big.bin", std::string(300000, 'b') + version);
  FSSpec data = SpecOf(app / "Contents/Resources/English/Text.ini");
  FInfo info{};
  info.fdType = 'TEXT';
  info.fdCreator = 'VMxm';
  FSpSetFInfo(&data, &info);
  fs::create_directories(app / "Contents/Empty");
  fs::create_symlink("Resources/English", app / "Contents/Current");
  fs::create_symlink("/nonexistent/target", app / "Contents/Dangling");
  ::mkfifo((app / "Contents/pipe").c_str(), 0640);
}

class FileServices : public ::testing::Test {
 protected:
  void SetUp() override {
    src = tmp / "disc";
    dst = tmp / "Applications";
    fs::create_directories(dst);
    MakeBundle(src / "Prog.app", "new");
  }
  void TearDown() override {
    tb::SetReadOnlyFolders({});
    tb::FailCopyAfter(-1, 0);
  }
  std::vector<std::string> Leftovers() {
    std::vector<std::string> hidden;
    for (auto& e : fs::directory_iterator(dst))
      if (e.path().filename().string()[0] == '.') hidden.push_back(e.path().filename().string());
    return hidden;
  }

  TempDir tmp;
  fs::path src, dst;
};

TEST_F(FileServices, TreeCopyKeepsLinksBitsAndFinderInfo) {
  FSSpec from = SpecOf(src / "Prog.app"), into = SpecOf(dst), made;
  ASSERT_EQ(FSpCopyObject(&from, &into, nullptr, &made), noErr);
  EXPECT_EQ(pstr::str(made.name), "Prog.app");
  EXPECT_EQ(Snapshot(dst / "Prog.app"), Snapshot(src / "Prog.app"));
  EXPECT_TRUE(fs::is_symlink(dst / "Prog.app/Contents/Current"));
  EXPECT_EQ(fs::status(dst / "Prog.app/Contents/MacOS/Prog").permissions() & fs::perms::owner_exec,
            fs::perms::owner_exec);

  // Another name, a single file, and the refusals.
  ASSERT_EQ(FSpCopyObject(&from, &into, PStr("Copy.app"), nullptr), noErr);
  EXPECT_EQ(Snapshot(dst / "Copy.app"), Snapshot(src / "Prog.app"));
  FSSpec ini = SpecOf(src / "Prog.app/Contents/Resources/English/Text.ini");
  ASSERT_EQ(FSpCopyObject(&ini, &into, nullptr, nullptr), noErr);
  FInfo info;
  FSSpec copied = SpecOf(dst / "Text.ini");
  ASSERT_EQ(FSpGetFInfo(&copied, &info), noErr);
  EXPECT_EQ(info.fdCreator, OSType('VMxm'));

  FSSpec missing = SpecOf(src / "Nothing"), inside = SpecOf(src / "Prog.app/Contents");
  FSSpec noFolder = SpecOf(dst / "gone");
  EXPECT_EQ(FSpCopyObject(&from, &into, nullptr, nullptr), dupFNErr);
  EXPECT_EQ(FSpCopyObject(&missing, &into, nullptr, nullptr), fnfErr);
  EXPECT_EQ(FSpCopyObject(&from, &noFolder, nullptr, nullptr), dirNFErr);
  EXPECT_EQ(FSpCopyObject(&from, &inside, nullptr, nullptr), paramErr);  // into itself
}

TEST_F(FileServices, DeleteObjectRemovesATreeButNothingItsLinksReach) {
  WriteFile(tmp / "outside/keep.txt", "keep");
  fs::create_symlink(tmp / "outside", src / "Prog.app/Contents/Out");
  FSSpec app = SpecOf(src / "Prog.app");
  ASSERT_EQ(FSpDeleteObject(&app), noErr);
  EXPECT_FALSE(fs::exists(src / "Prog.app"));
  EXPECT_EQ(ReadFile(tmp / "outside/keep.txt"), "keep");
  EXPECT_EQ(FSpDeleteObject(&app), fnfErr);
}

TEST_F(FileServices, ReplaceIsWholeOrNothing) {
  MakeBundle(dst / "Prog.app", "old");
  const auto oldTree = Snapshot(dst / "Prog.app");
  FSSpec from = SpecOf(src / "Prog.app"), into = SpecOf(dst);

  // Failures midway: a full disk after three files, an I/O error at the first.
  struct Fault {
    int after;
    int err;
    OSErr want;
  };
  for (const Fault& f : {Fault{1, ENOSPC, dskFulErr}, Fault{0, EIO, ioErr}}) {
    tb::FailCopyAfter(f.after, f.err);
    EXPECT_EQ(FSpReplaceObject(&from, &into, nullptr), f.want);
    EXPECT_EQ(Snapshot(dst / "Prog.app"), oldTree);
    EXPECT_TRUE(Leftovers().empty());
  }
  // A plain copy that fails leaves no partial copy either.
  tb::FailCopyAfter(2, ENOSPC);
  EXPECT_EQ(FSpCopyObject(&from, &into, PStr("Partial.app"), nullptr), dskFulErr);
  EXPECT_FALSE(fs::exists(dst / "Partial.app"));

  FSSpec made;
  ASSERT_EQ(FSpReplaceObject(&from, &into, &made), noErr);
  EXPECT_EQ(Snapshot(dst / "Prog.app"), Snapshot(src / "Prog.app"));
  EXPECT_TRUE(Leftovers().empty());
  EXPECT_EQ(pstr::str(made.name), "Prog.app");
}

TEST_F(FileServices, ExchangeAtomicWriteAndFullPath) {
  WriteFile(dst / "a", "AAA");
  WriteFile(dst / "b", "B");
  FSSpec a = SpecOf(dst / "a"), b = SpecOf(dst / "b");
  ASSERT_EQ(FSpExchangeFiles(&a, &b), noErr);
  EXPECT_EQ(ReadFile(dst / "a"), "B");
  EXPECT_EQ(ReadFile(dst / "b"), "AAA");
  FSSpec app = SpecOf(src / "Prog.app"), gone = SpecOf(dst / "none");
  ASSERT_EQ(FSpExchangeFiles(&a, &app), noErr);  // a file and a folder swap too
  EXPECT_TRUE(fs::is_directory(dst / "a"));
  EXPECT_EQ(ReadFile(src / "Prog.app"), "B");
  EXPECT_EQ(FSpExchangeFiles(&a, &gone), fnfErr);

  // Whole-file writes: a new file gets type and creator; an existing one
  // keeps its mode and Finder information.
  FSSpec data = SpecOf(dst / "Alias Data");
  const std::string text = "[ALIAS]\r\nALIAS00=VEMOMON-00;80;92;0A;0B;0C\r\n";
  std::span<const UInt8> bytes(reinterpret_cast<const UInt8*>(text.data()), text.size());
  ASSERT_EQ(tb::WriteFileAtomically(data, bytes, 'VMxm', 'TEXT'), noErr);
  EXPECT_EQ(ReadFile(dst / "Alias Data"), text);
  FInfo info;
  ASSERT_EQ(FSpGetFInfo(&data, &info), noErr);
  EXPECT_EQ(info.fdCreator, OSType('VMxm'));
  fs::permissions(dst / "Alias Data", fs::perms(0640));
  ASSERT_EQ(tb::WriteFileAtomically(data, bytes.first(9), 'XXXX', 'XXXX'), noErr);
  EXPECT_EQ(ReadFile(dst / "Alias Data"), "[ALIAS]\r\n");
  EXPECT_EQ(fs::status(dst / "Alias Data").permissions(), fs::perms(0640));
  ASSERT_EQ(FSpGetFInfo(&data, &info), noErr);
  EXPECT_EQ(info.fdCreator, OSType('VMxm'));
  EXPECT_TRUE(Leftovers().empty());

  // Full colon paths.
  std::string expect = "Linux" + dst.string();
  for (char& c : expect)
    if (c == '/') c = ':';
  std::string full;
  ASSERT_EQ(tb::FullPath(SpecOf(dst), full), noErr);
  EXPECT_EQ(full, expect + ":");
  short len = 0;
  Handle h = nullptr;
  FSSpec missing = SpecOf(dst / "later.txt");
  EXPECT_EQ(FSpGetFullPath(&missing, &len, &h), fnfErr);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(std::string(*h, std::size_t(len)), expect + ":later.txt");
  DisposeHandle(h);
}

TEST_F(FileServices, ReadOnlyFolderRefusesEveryChange) {
  MakeBundle(dst / "Prog.app", "old");
  WriteFile(dst / "file.txt", "x");
  tb::SetReadOnlyFolders({dst.string()});
  const SInt32 dir = [&] {
    SInt32 id = 0;
    tb::GetDirID(SpecOf(dst), &id);
    return id;
  }();
  FSSpec file = SpecOf(dst / "file.txt"), fresh = SpecOf(dst / "fresh"), into = SpecOf(dst);
  FSSpec from = SpecOf(src / "Prog.app"), app = SpecOf(dst / "Prog.app"), outside = SpecOf(src / "Prog.app");
  SInt16 ref = 0;
  const std::string text = "new";
  std::span<const UInt8> bytes(reinterpret_cast<const UInt8*>(text.data()), text.size());
  struct Case {
    const char* what;
    OSErr got;
  };
  const Case cases[] = {
      {"create", FSpCreate(&fresh, 'VMxm', 'TEXT', smSystemScript)},
      {"folder", FSpDirCreate(&fresh, smSystemScript, nullptr)},
      {"DirCreate", DirCreate(0, dir, PStr("fresh"), nullptr)},
      {"delete", FSpDelete(&file)},
      {"rename", FSpRename(&file, PStr("moved.txt"))},
      {"open to write", FSpOpenDF(&file, fsWrPerm, &ref)},
      {"copy", FSpCopyObject(&from, &into, PStr("Other.app"), nullptr)},
      {"replace", FSpReplaceObject(&from, &into, nullptr)},
      {"delete tree", FSpDeleteObject(&app)},
      {"exchange", FSpExchangeFiles(&file, &outside)},
      {"write whole", tb::WriteFileAtomically(file, bytes, 'VMxm', 'TEXT')},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, afpAccessDenied) << c.what;
  EXPECT_EQ(ReadFile(dst / "file.txt"), "x");
  EXPECT_TRUE(fs::exists(dst / "Prog.app/Contents/MacOS/Prog"));
  EXPECT_FALSE(fs::exists(dst / "fresh"));
  ASSERT_EQ(FSpOpenDF(&file, fsRdPerm, &ref), noErr);  // reading stays allowed
  FSClose(ref);
  EXPECT_EQ(FSpCreate(&file, 'VMxm', 'TEXT', smSystemScript), dupFNErr);  // an existing name stays -48

  // The errno mapping of every service.
  const std::pair<int, OSErr> map[] = {{EEXIST, dupFNErr}, {ENOENT, fnfErr},           {ENOTDIR, dirNFErr},
                                       {EACCES, afpAccessDenied}, {EROFS, afpAccessDenied}, {ENOSPC, dskFulErr},
                                       {EDQUOT, dskFulErr},      {EIO, ioErr},             {EMLINK, ioErr}};
  for (auto [e, want] : map) EXPECT_EQ(tb::FileServicesError(e), want) << e;
}

}  // namespace
