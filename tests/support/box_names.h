// Names as print boxes hold them, written there by clients of different
// languages, and how the suite reads and writes each in its two languages:
// the one table the programs' tests run their names through.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace testsupport {

enum BoxLanguage { kEnglish = 0, kJapanese = 1 };

struct BoxName {
  const char* what;
  std::string held;                       // the bytes the box holds
  std::string shown[2];                   // as the program shows them, English and Japanese
  std::string typed;                      // what a person types as a new name (none of the shown ones)
  std::optional<std::string> written[2];  // what the box is to hold for it; none: refused
};

inline const std::vector<BoxName>& BoxNames() {
  static const std::vector<BoxName> names = {
      {"ASCII", "memo", {"memo", "memo"}, "memo 2", {"memo 2", "memo 2"}},
      // A Japanese client's name: the Western encoding reads its bytes as letters.
      {"Japanese encoding",
       "\x93\xFA\x96\x7B\x8C\xEA",
       {"\xC3\xAC\xCB\x99\xC3\xB1{\xC3\xA5\xC3\x8D", "日本語"},
       "日本語 2",
       {std::nullopt, "\x93\xFA\x96\x7B\x8C\xEA 2"}},
      // Written as UTF-8 (by this suite before it converted): read as it stands.
      {"UTF-8", "見積書", {"見積書", "見積書"}, "見積書 2", {std::nullopt, "\x8C\xA9\x90\xCF\x8F\x91 2"}},
      {"Western encoding", "Caf\x8E", {"Café", "Caf\uFFFD"}, "Café 2", {"Caf\x8E 2", std::nullopt}},
      // Neither encoding holds Hangul: shown from UTF-8, refused when typed.
      {"no encoding holds it", "한글", {"한글", "한글"}, "한글 2", {std::nullopt, std::nullopt}},
  };
  return names;
}

}  // namespace testsupport
