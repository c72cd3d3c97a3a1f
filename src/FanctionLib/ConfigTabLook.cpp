// The look of a settings window's tab strip, apart from the dialog frame
// so that a program with a tabbed dialog of its own (the file-transfer
// tool's) takes the same look without the frame's program callbacks.
#include "FanctionLib/ConfigDialog.h"

#include "common/AppFonts.h"

void Set_Config_Tab_Look(CTAB_DATA* tabs) {
  FONT_DATA font{};
  Get_Font_Infomation("TAB=", &font);
  const SInt16 id = SInt16(font.fontID);
  const UInt8 face = UInt8(font.styleID);
  const SInt16 size = SInt16(font.fSize ? font.fSize : 10);
  CTSetFont(tabs, &id, &face, &size);
  CTSetPictID(tabs, 143, 142, 144, 145, 146, 147, 148, 149);
}
