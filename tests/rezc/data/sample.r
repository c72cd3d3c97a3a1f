# A program's resources as the build compiles them.
resource 'STR#' 136 "File names" {
  "Sample Prefs"      # main preference file
  "Sample Temp Prefs"
}

resource 'PVER' 128 purgeable { version 3 }

resource 'CNFG' 128 "Config" {
  u16 500             // rcvWait
  u16 1000            // datWait
  u16 3               // retry
  u32 0xFFFFFFFF      // brAddr
  u8 1                // oldVerCompati
  zero 5
}

resource 'TMPL' 128 "CNFG" {
  "rcvWait" DWRD
  "datWait" DWRD
  "retry" DWRD
  "brAddr" HLNG
  "oldVerCompati" DBYT
  "reserved" 'H005'
}

resource 'SPPT' 128 { filter on; count 2; strings 140 }

resource 'blob' 1 { file "blob.bin" }
