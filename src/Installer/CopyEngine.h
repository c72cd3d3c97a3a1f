// The copy list "COPYFILE.INI" and the copy engine: which files each ticked
// tool brings, copied one per step into the install folder, then the
// shortcuts. The engine knows nothing of windows; page 144 asks it for one
// step per pass of the event loop and draws what it reports.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "toolbox/types.h"

constexpr int kToolMax = 20;
constexpr int kToolFilesMax = 50;

struct TOOL_DATA {
  Boolean bEnable;
  char cToolName[32];
  Str255 cMemo;
  SInt16 cFileCnt;
  SInt16 cCopyCnt;
};

struct FILE_DATA {
  Str31 fName;
  char orgFolder[32];
  char instFolder[32];
};

// The copy list's section for a tool name ("[FILE_ADMIN]"...), or nullptr
// when the name matches none (such a tool is skipped).
const char* Tool_Section(const char* toolName);

// Reads and splits "name;source;target" of one entry; 1 found, 0 missing
// (out cleared). Each field is cut to 31 bytes.
int Get_File_Name(const char* section, const char* key, const char* copyList, FILE_DATA* out);

// A colon partial path resolved from a POSIX folder: a leading ":" is
// relative, every further ":" climbs one folder, names separate at ":".
std::string Resolve_Partial_Path(const std::string& base, const std::string& partial);

// The done part's width of the progress bar: files done of n in all (0
// counts as 1) over an item this wide.
int Install_Bar_Width(int width, int done, int total);

// Where the copy reads and writes.
struct CopySetup {
  std::string exeFolder;      // the folder that holds the installer's executable
  std::string languageDir;    // the chosen language folder's name ("" for none)
  std::string copyList;       // path of COPYFILE.INI
  std::string installParent;  // the folder that holds the install folder
  std::string installName;    // the install folder's name, or a colon partial path
};

// A file that could not be copied: its name (its key when the entry was gone
// by the time it was copied), the tool it belongs to and the error.
struct CopyFailure {
  std::string name;
  std::string tool;
  OSErr err;
  bool operator==(const CopyFailure&) const = default;
};

class CopyEngine {
 public:
  enum class Step { More, Done, Refused };

  // tools: the 20 tool records of the wizard; toolCnt its count (the common
  // tool is added on the first step).
  CopyEngine(CopySetup setup, TOOL_DATA* tools, SInt16* toolCnt);

  // One step: on the first, the install folder is made (any failure:
  // Refused, and the next step starts over) and the files counted; then one
  // file per step. Done once the counted files are copied, when no ticked
  // tool remains, or at once when there is nothing to copy.
  Step Copy_Preparation();

  // Called before each file is copied: its name, its number (1 for the
  // first, the count in all for the last) and the count in all.
  std::function<void(const std::string& name, int done, int total)> onFile;

  int totalCount() const { return total_; }
  int copied() const { return gInstCount - 1; }
  OSErr folderResult() const { return folderErr_; }
  // Every file that could not be copied, in copy order.
  const std::vector<CopyFailure>& failures() const { return failures_; }
  // Whether the copy has counted its files and none of the named tool's
  // failed.
  bool toolComplete(const char* toolName) const;
  // Shortcut results in row order (0, or CreateAliasX's code).
  const std::vector<OSErr>& shortcuts() const { return shortcutResults_; }
  // The target folder of the monitor's first file, when it was copied.
  const std::string& monitorFolder() const { return monitorFolder_; }
  // The target folder of the file copied last, and the last shortcut's
  // target and its folder.
  const std::string& toFolder() const { return toFolder_; }
  const std::string& alias() const { return alias_; }
  const std::string& aliasFolder() const { return aliasFolder_; }
  std::string installFolder() const;

 private:
  int Get_Install_File_Count();
  bool Copy_Execution(const char* tool, const char* section, const char* key);
  void makeShortcuts();

  CopySetup setup_;
  TOOL_DATA* tools_;
  SInt16* toolCnt_;
  int gInstCount = 1;  // the step counter: files started so far, plus one
  int instNum_ = 0;
  int total_ = 0;
  bool counted_ = false;
  OSErr folderErr_ = 0;
  std::vector<CopyFailure> failures_;
  std::vector<OSErr> shortcutResults_;
  std::string monitorFolder_;
  std::string toFolder_, alias_, aliasFolder_;
};

// Makes the install folder (every missing level) in parent: 0, or the
// error of the level that failed (afpAccessDenied for a refused one).
OSErr Create_Folder(const std::string& parent, const std::string& name);

// Copies a file or folder tree into a folder; an item of the same name there
// is replaced as one step (the old one stays whole if the copy fails). The
// copy is left writable by its owner. An OSErr.
OSErr Inst_File_Copying(const std::string& sourceFolder, const std::string& targetFolder, const std::string& name);

// "[SHORTCUT]" "ICON_%03d=" of row: the shortcut's target path; 1 found, 0 missing.
int Get_Alias_Name(const char* copyList, const std::string& installFolder, int row, std::string* target);

// A shortcut to target in folder: a symbolic link named like the target.
// 0; -1 no target; -2 the link cannot be made (also when something other
// than a link has the name); -3 unused here.
OSErr CreateAliasX(const std::string& target, const std::string& folder, bool withIcon);
// The same with a name of its own (null or empty: the target's). With
// copyIcons the icons of id iconID (0: 128) of the target, or of iconSource
// (CreateAliasExg), are copied into the shortcut when it can hold them; a
// link holds none.
OSErr CreateAliasEx(const std::string& target, const std::string& folder, const char* name, bool copyIcons,
                    SInt16 iconID);
OSErr CreateAliasExg(const std::string& target, const std::string& iconSource, const std::string& folder,
                     const char* name, bool copyIcons, SInt16 iconID);
// Copies the six icon types of id iconID (0: 128) from the source's
// resources into the shortcut's, as the custom icon. A shortcut that is a
// link is left alone.
void SetOtherResData(const std::string& source, const std::string& shortcut, SInt16 iconID);
