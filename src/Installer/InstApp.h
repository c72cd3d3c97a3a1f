// The installer's program-wide state and its parts: start-up and the event
// loop (InstApp.cpp), language choice and the installation's folders
// (InstLanguage.cpp), the wizard's pages (WizardPages.cpp).
#pragma once

#include <string>
#include <vector>

#include "Installer/CopyEngine.h"
#include "Installer/MonitorSetup.h"
#include "toolbox/dialogs.h"
#include "toolbox/events.h"
#include "toolbox/lists.h"
#include "toolbox/textedit.h"
#include "toolbox/types.h"

enum : SInt16 {
  kWizardDialogID = 140,
  kPageLanguage = 141,
  kPageLicence = 142,
  kPageFolder = 143,
  kPageCopy = 144,
  kPageFinish = 145,
  kPageWelcome = 146,
  kPageTools = 147,
  kPageCheck = 148,
  kPageAdminMode = 149,
  kPageMonitor = 150,
  kPageMonSearch = 151,
  kPageMonEvent = 152,
  kPageMonOption = 153,
  kPageEnd = 999,
  kAlertQuestion = 602,
  kAlertNote = 603,
};

constexpr int kLangMax = 20;

struct CEDIT_DATA;

struct LANG_DATA {
  char cLanguage[64];
  char cDir[32];
};

// Where the installer's own files are, as POSIX paths.
struct ORIGINAL_INFO {
  std::string rootSpec;         // the folder that holds the executable
  std::string toolFolderSpec;   // ":::TOOL" from it
  std::string languFolderSpec;  // the language folder's name ("" none)
  std::string copyFSpec;        // the copy list
  std::string messSpec;         // the message file
};

// Where the installation goes, as POSIX paths.
struct INSTALL_INFO {
  std::string instParent;       // the folder that holds the install folder
  std::string instName;         // the install folder's name (or colon partial path)
  std::string toFolderSpec;     // target folder of the file being copied
  std::string aliasSpec;        // target of the shortcut being made
  std::string aliasFolderSpec;  // that target's folder
  SInt16 copyCount = 0;
  SInt16 totalCount = 0;  // files to copy
  // The install folder itself.
  std::string instFolderSpec() const;
};

// The installation's folders: the two parts, in this order. Their fields
// are reached directly (instData.messSpec) or through the parts.
struct ALL_INST_INFO : ORIGINAL_INFO, INSTALL_INFO {
  ORIGINAL_INFO& orgInfo() { return *this; }
  INSTALL_INFO& instInfo() { return *this; }
};

struct INST_DLG_INFO {
  DialogRef dlg = nullptr;
  SInt16 activePage = 0;
  char copyMess[256] = {};
  LANG_DATA* langData = nullptr;
  ListHandle langList = nullptr;
  CEDIT_DATA* textData = nullptr;  // the licence's text view
  SInt16 toolCnt = 0;
  TOOL_DATA* toolData = nullptr;
  ListHandle toolList = nullptr;
  SInt16 instNum = 0;
  Boolean aSetupFlag = 1;
  Boolean mSetupFlag = 1;
  std::string instFolder;  // the monitor's folder
  Boolean using_ = 0;
  // The monitor's set-up (pages 150 to 153).
  PBOXinfo pbox{};              // the printer chosen on page 151
  CONFIGURATION monConfig{};    // statUpdate 0 until loaded
  PBOXinfo* pboxTbl = nullptr;  // the found boxes (kFoundBoxMax), under Found_Box_Lock
  SInt16 psCount = 0;           // rows of the printer list
  struct CLIST_DATA* printList = nullptr;
  struct CLIST_DATA* eventList = nullptr;  // events not armed
  struct CLIST_DATA* popupList = nullptr;  // events armed
  EVENT_DATA eventData[kEventMax] = {};
  int eventCount = 0;
};

// Program-wide state.
extern Boolean All_Done;
extern char LanguFileName[128];
extern Boolean nonSelectLang;
extern Boolean copyStart;
extern INST_DLG_INFO instTbl;
extern ALL_INST_INFO instData;

extern SInt16 Appl_Rsrc_Fork_No;
extern UInt8 Multifinder_Present;

// ---- start-up and events (InstApp.cpp) ----
int Run_Installer();
// Claims and fills instTbl; null when the wizard is already open.
INST_DLG_INFO* Get_Install_Table();
// The wizard's dialog, or null.
DialogRef Get_Open_Install_Dialog();
// instTbl while the wizard is open, or null.
INST_DLG_INFO* Get_Open_Install_Tbl();
void Handle_Menu_Choice(long choice);
void Handle_Apple_Menu(short item);
// Item 1 quits, after asking unless the wizard is on its last page.
void Handle_File_Menu(short item);
// Alert 602 asking whether to leave the installation, in the words of the
// language file on the language page and of the message file elsewhere;
// true when the answer is OK.
bool Confirm_Quit();
// 1 with the language (possibly empty) when the option names one, else 0.
// A language that could name another folder (holding ':', '/', or being
// "." or "..") is refused as none.
int Analysis_Option(const unsigned char* option, char* language, std::size_t size);
// Opens the wizard once; 1 when it opened.
int Open_Main_Window(const unsigned char* option);
// A modal alert with the text file's "[BUTTON]" captions; kind 2 hides
// Cancel. The message is ^0 of the alert's text, the parameters ^1 to ^3.
// Returns the item hit (1 OK, 2 Cancel).
short Set_Alert_Dialog_Items(SInt16 alertID, short kind, const char* textFile, const char* message,
                             const char* param1 = "", const char* param2 = "", const char* param3 = "");
void Application_Exit_Function();
// Full path of a file beside the executable.
std::string Exe_Relative(const std::string& partial);

// "[FONT]" key of the file as "name,face,size": the font's number, the face
// and the size; an absent field leaves its output as it was. 1 when the key
// is there, else 0.
int Get_Font_Data2(const char* key, short* fontNum, short* face, short* size, const char* file);
// The dialog's background colour becomes its window's content colour.
void Set_Dialog_Item_Color(DialogRef dialog);

// ---- language and folders (InstLanguage.cpp) ----
// The path reader: the key's value in the section of the file; any line
// ends. 1 found, 0 not (value unchanged).
int Load_File_To_Cstring(char* value, std::size_t size, const char* key, const char* section, const char* path);
// The same search without stopping at the next section: at most *length
// bytes with the NUL are copied, and *length becomes the value's length
// (0 when not found).
int Get_Text_Data(char* value, std::size_t* length, const char* section, const char* key, const char* path);
// The full colon path of the item (whole) or of the folder that holds it;
// empty when it cannot be made.
std::string Load_File_Only_FSSpec(const FSSpec& spec, bool whole);
// Fills instData for the "[SYSLANG]" "DEFAULT=" language of "Language.INI";
// 1 done, 0 without such a language.
int Set_Default_Infomation();
int Get_System_Language(char* name, std::size_t size, const char* languageFile);
int Build_Language_Data(INST_DLG_INFO* tbl);
int Set_Language_Infomation(const char* languageDir);
int Set_Install_Infomation(const char* languageDir, ALL_INST_INFO* info);
int Get_Active_Language();
// A message-file text (empty when missing).
std::string Message_Text(const char* section, const char* key);

// ---- wizard (WizardPages.cpp) ----
// The tool list of page 147 from the message file's "[APR]" rows, up to
// "FILE_COMMON" or kToolMax rows.
int Build_Tool_Data(INST_DLG_INFO* tbl);
void Set_Dialog_Event();
int Change_Dialog_Page(DialogRef dialog, SInt16 page);
Boolean Handle_Instwin_Select_Item(DialogRef dialog, EventRecord* event, DialogItemIndex item);
Boolean Handle_Instwin_Key_Input(DialogRef dialog, EventRecord* event);
short Handle_Instwin_Update_Value(DialogRef dialog, EventRecord* event);
int Close_Main_Dialog(DialogRef dialog);
// Alert 602, OK only, saying the install folder cannot be made.
short Access_Err(const char* messageFile);
// One copy step while copyStart is set.
void Setup_File_Copy();
// The alert text naming the files a copy could not install: the message
// file's format with one "%s" (else an English one) and the files, one a line.
std::string Copy_Failure_Text(const std::string& format, const std::vector<std::string>& failures);
// One line of that list: the file and the cause in the message file's
// words ("[ERROR]" "MESSAGE_52=" to "MESSAGE_56=", the last for any other
// code, its "%d" the code).
std::string Copy_Failure_Line(const CopyFailure& failure);
// Whether a tool of that name is listed and ticked.
bool Tool_Ticked(const char* name);
// The page after the copy and the page Back leads to from the finish page,
// given the pages built so far.
SInt16 Page_After_Copy();
SInt16 Page_Back_From_Finish();
