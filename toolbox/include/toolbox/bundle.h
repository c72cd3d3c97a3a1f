// The program's bundle and its localised strings (a small Core Foundation
// subset), and the system language.
//
// The main bundle is the <Program>.app folder that holds the running
// program's file (<Program>.app/Contents/MacOS/<Program>, see files.h
// tb::ApplicationPath); tb::SetMainBundlePath names another one (tests).
//
// Localised strings live in <bundle>/Contents/Resources/<lang>.lproj/
// <table>.strings ("Localizable" when no table is named), UTF-8, one entry a
// line:
//     KEY = value
// Blanks around the key and the value are dropped; a value (or key) in
// double quotes keeps its blanks and may use \" \\ \n \t. Empty lines and
// lines starting with '#' or "//" are comments. The folders tried, in
// order: <ll>_<RR>.lproj, <ll>-<RR>.lproj, <ll>.lproj for the system
// language, then en.lproj. A key found nowhere gives the caller's default,
// and without one the key itself.
//
// The system language comes from tb::SetSystemLanguage, else the variable
// TOOLBOX_LANG, else the locale (LC_ALL, LC_MESSAGES, LANG, first set wins),
// as "ll" or "ll_RR" ("ja", "zh_TW"); "C", "POSIX" and nothing mean "en".
//
// Text is UTF-8 throughout, so the system encoding is UTF-8; the language's
// own text encoding (for texts other programs write) is in textencoding.h.
#pragma once

#include <string>

#include "toolbox/cfstring.h"
#include "toolbox/types.h"

struct OpaqueCFBundle;
using CFBundleRef = OpaqueCFBundle*;

// Never null; without a bundle every lookup gives the default.
CFBundleRef CFBundleGetMainBundle();
// A new string the caller releases (see the lookup rules above).
CFStringRef CFBundleCopyLocalizedString(CFBundleRef bundle, CFStringRef key, CFStringRef value,
                                        CFStringRef tableName);
// The Core Foundation version that goes with the system version Gestalt
// reports ('sysv'), unless tb::SetCoreFoundationVersion fixed another:
// 0x10A0 and later 900, 0x1090 800, 0x1080 700, 0x1070 600, 0x1060 500,
// anything older 400.
#define kCFCoreFoundationVersionNumber (::tb::CoreFoundationVersion())

namespace tb {

double CoreFoundationVersion();
// 0 (or less): back to following 'sysv'.
void SetCoreFoundationVersion(double version);

// The main bundle folder ("" when the program runs outside a bundle).
std::string MainBundlePath();
void SetMainBundlePath(std::string path);
// The bundle of a program file: the path itself for a <Name>.app folder,
// the bundle for a file inside <Name>.app/Contents/MacOS/, else "".
std::string BundleOfProgram(const std::string& path);

// "ll" or "ll_RR" (see above).
std::string SystemLanguage();
// The language of the localisation the main bundle's strings come from:
// the first of the folders above the bundle has ("en" when it has none of
// them), or the system language for a program outside a bundle or in one
// with no localisation at all.
std::string LocalizationLanguage();
// Empty: back to the environment.
void SetSystemLanguage(std::string lang);

// The main bundle's localised string for key; fallback (or, when null, the
// key itself) when no strings file has it.
std::string LocalizedString(const std::string& key, const char* fallback = nullptr,
                            const std::string& table = "Localizable");

}  // namespace tb
