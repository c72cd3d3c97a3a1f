// Names as print boxes hold them, written there by clients of different
// languages, and how the suite reads and writes each in its two languages:
// the one table the programs' tests run their names through. A name that
// nothing tells the language of (a box's own name) reads in the program's
// language; a held job or folder names the language of the client that
// wrote it, and reads as that client wrote it in either.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace testsupport {

enum BoxLanguage { kEnglish = 0, kJapanese = 1 };

struct BoxName {
  const char* what;
  std::string held;      // the bytes the box holds
  std::string shown[2];  // as the program shows them, English and Japanese, when nothing tells their language
  int client;            // the language code of the client that wrote them, as a held job's entry carries it
  std::string meant;     // the name that client wrote: what a held job of its code shows in either language
  std::string typed;     // what a person types as a new name (none of the shown ones)
  std::optional<std::string> written[2];  // what the box is to hold for it; none: refused
  // What the box is to hold for it as the new name of a held job of the
  // client's code: in the client's encoding, else in the program's; none:
  // refused.
  std::optional<std::string> writtenForClient[2];
};

inline const std::vector<BoxName>& BoxNames() {
  static const std::vector<BoxName> names = {
      {"ASCII", "memo", {"memo", "memo"}, 1, "memo", "memo 2", {"memo 2", "memo 2"}, {"memo 2", "memo 2"}},
      // A Japanese client's name: the Western encoding reads its bytes as letters.
      {"Japanese encoding",
       "\x93\xFA\x96\x7B\x8C\xEA",
       {"\xC3\xAC\xCB\x99\xC3\xB1{\xC3\xA5\xC3\x8D", "日本語"},
       18,
       "日本語",
       "日本語 2",
       {std::nullopt, "\x93\xFA\x96\x7B\x8C\xEA 2"},
       {"\x93\xFA\x96\x7B\x8C\xEA 2", "\x93\xFA\x96\x7B\x8C\xEA 2"}},
      // Written as UTF-8 (by this suite in English before it converted):
      // read as it stands whatever the language; renamed, in Japanese only.
      {"UTF-8",
       "見積書",
       {"見積書", "見積書"},
       1,
       "見積書",
       "見積書 2",
       {std::nullopt, "\x8C\xA9\x90\xCF\x8F\x91 2"},
       {std::nullopt, "\x8C\xA9\x90\xCF\x8F\x91 2"}},
      // A French client's name.
      {"Western encoding",
       "Caf\x8E",
       {"Café", "Caf\uFFFD"},
       4,
       "Café",
       "Café 2",
       {"Caf\x8E 2", std::nullopt},
       {"Caf\x8E 2", "Caf\x8E 2"}},
      // Neither program's encoding holds Hangul: shown from UTF-8, refused
      // when typed, but for a Korean client's job, in its encoding.
      {"no encoding holds it",
       "한글",
       {"한글", "한글"},
       21,
       "한글",
       "한글 2",
       {std::nullopt, std::nullopt},
       {"\xC7\xD1\xB1\xDB 2", "\xC7\xD1\xB1\xDB 2"}},
  };
  return names;
}

}  // namespace testsupport
