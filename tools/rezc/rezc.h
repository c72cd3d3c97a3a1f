// The resource compiler: a readable text description in, the resources of a
// resource file out. See README.md for the language.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "toolbox/resources.h"

namespace rezc {

struct Result {
  std::vector<tb::ResourceEntry> entries;
  // "file:line:column: message", empty when the description compiled.
  std::vector<std::string> errors;
  // Files the description read besides itself (for build dependencies).
  std::vector<std::string> dependencies;
  bool ok() const { return errors.empty(); }
};

// Compiles description text. path names it in messages; files it includes
// are found relative to path's folder.
Result Compile(std::string_view text, const std::string& path);
// Reads and compiles the description at path.
Result CompileFile(const std::string& path);

}  // namespace rezc
