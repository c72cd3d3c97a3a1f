# The monitor's settings templates, shared with the installer, which makes
# the monitor's preference and per-printer settings files from them.
# Default settings: a status every 3 s, 3 resends, the limited broadcast;
# errors, supplies and lost printers pop up with the sound; TCP/IP on.
resource 'CNFG' 128 "Config" {
  u16 3000  zero 2  u32 0xFFFFFFFF  u16 3
  u8 0  u8 0  u8 0  u8 0  u8 8  u8 0  u8 0xE0  u8 0  u8 0  zero 1
  u16 0  u16 0
  u8 1  u8 0  u8 0
  string "" 36
  u8 1
}
resource 'PVER' 128 { version 1 }
resource 'TMPL' 128 "CNFG" {
  "statUpdate" DWRD  "reserve" H002  "brAddr" HLNG  "retry" DWRD
  "reserve_1" DBYT  "oldVerCompati" DBYT  "reserve_2" DBYT  "activeErrWin" DBYT
  "popupCount" DBYT  "popupReserve" DBYT  "popupFlag" HBYT  "monitorOption" HBYT
  "StartupFlag" DBYT  "reserve" H001  "windowH" DWRD  "windowV" DWRD
  "Protocol_1" DBYT  "Protocol_2" DBYT  "choiceNetworkzone" DBYT
  "SearchZoneName" 'H024'  "soundOpt" DBYT
}
resource 'TMPL' 130 "PVER" { "versionNo" DWRD  "reserved" 'H0FE' }
