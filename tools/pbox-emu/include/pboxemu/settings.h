// A print box's description of its own settings, as it sends them: the
// context table (16-byte entries ended by a "z" entry), the enumeration
// names (NUL-padded at a stride of 16) and the settings image.
#pragma once

#include <array>
#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "toolbox/types.h"

namespace pboxemu {

struct SettingsBlocks {
  std::vector<UInt8> context;
  std::vector<UInt8> enums;
  std::vector<UInt8> image;
};

// Lays out one setting after another in the image and writes the matching
// context entry. Values are stored big-endian, strings NUL-padded.
class SettingsBuilder {
 public:
  static constexpr std::size_t kEntrySize = 16;
  static constexpr std::size_t kEnumStride = 16;

  // "B", "W" or "L".
  void Number(char type, UInt16 varid, UInt32 value, UInt16 min, UInt16 max, std::string_view name = "",
              UInt16 menu = 0);
  void Ip(UInt16 varid, UInt32 value, std::string_view name = "", UInt16 menu = 0);
  // An "N" setting over its own names (names of at most 15 characters; the
  // same list given twice shares one range of numbers). selected is the
  // index into names.
  void Enum(UInt16 varid, const std::vector<std::string>& names, int selected, std::string_view name = "",
            UInt16 menu = 0);
  // "E", "F", "J" or "X": a NUL-terminated string in a field of fieldSize.
  void String(char type, UInt16 varid, UInt16 fieldSize, std::string_view value, std::string_view name = "",
              UInt16 menu = 0);
  // "P": a length-prefixed string in a field of fieldSize.
  void PString(UInt16 varid, UInt16 fieldSize, std::string_view value, std::string_view name = "",
               UInt16 menu = 0);
  // Grows the image with zero bytes to at least size.
  void PadImage(std::size_t size);

  SettingsBlocks Build() const;

 private:
  std::size_t place(std::size_t bytes);
  void entry(char type, std::size_t offset, UInt16 varid, UInt16 menu, UInt16 min, UInt16 max,
             std::string_view name);

  std::vector<UInt8> context_;
  std::vector<UInt8> enums_;
  std::vector<UInt8> image_;
  std::map<std::vector<std::string>, UInt16> enumRanges_;
};

// The model families the boxes come in; the model decides the machine type
// of the search reply and which settings the box has.
enum class Model {
  QSV_A,    // old box: TCP/IP and NetWare only, no status
  QSV_B,    // no SNMP, no restart
  QSV_C,    // every page
  QSV_D,    // every page; its port list names the "system" entry first
  QSV_E,    // no AppleTalk or NetBIOS; printer names per port
  Foreign,  // not of the product family; the model filter refuses it
};

// The NetWare settings every model has (IPX, names, frame type, mode,
// file servers, print-server password, polling, bindery or NDS, remote
// printer servers), appended to the builder.
void NetWareSettings(SettingsBuilder& b);

std::array<UInt8, 16> ModelMachineType(Model m);
const char* ModelName(Model m);
bool ParseModel(std::string_view text, Model& out);

// The factory settings of a model. ipAddr is the box's address (host order).
// ports: the number of printer ports (1 to 9), 0 for the model's own.
SettingsBlocks ModelSettings(Model m, UInt32 ipAddr, int ports = 0);

// The port list that "GET PORT_NAME" answers: a count byte, then 32-byte
// NUL-padded names.
std::vector<UInt8> ModelPortList(Model m, int ports = 0);

}  // namespace pboxemu
