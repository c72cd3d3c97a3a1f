# The disc start menu's own resources: the menu window, its alert, the hand
# cursor, the button hit mask and the menus.

resource 'STR#' 128 "Window title" { "Start" }

# The window: the pictures are drawn over the whole content.
resource 'DLOG' 130 { bounds 0 0 440 640  proc 4  hidden  goaway  items 130  title "Start"  position center }
resource 'DITL' 130 {
  user 0 0 440 640 disabled
}

# The menu's alerts: the error with one button, the Yes/No question.
resource 'DLOG' 602 { bounds 0 0 130 400  proc 5  hidden  items 602  title "Start"  position alert }
resource 'DITL' 602 {
  button   95 310 115 385 "Yes"
  button   95 220 115 295 "No"
  static   15  60  85 385 "^0" disabled
  icon     15  15  47  47 2
}

resource 'MENU' 128 { title "\x14"  item "About" disabled }
resource 'MENU' 129 { title "File"  item "Quit" key 'Q' }
resource 'MBAR' 128 { 128 129 }

# The hand over a button.
resource 'CURS' 151 { hotspot 0 5  rows
  ".....XX........."
  "....XooX........"
  "....XooX........"
  "....XooX........"
  "....XooXXX......"
  "....XooXooXXX..."
  "....XooXooXooXX."
  "XXX.XooXooXooXoX"
  "XooXXoooooooooXo"
  ".XoooooooooooooX"
  "..XooooooooooooX"
  "..XoooooooooooX."
  "...XooooooooooX."
  "....XooooooooX.."
  ".....XooooooX..."
  ".....XXXXXXXX..."
}

# The hit area of every button: the whole rectangle but its corners.
resource 'ICN#' 140 { rows
  "..oooooooooooooooooooooooooooo.."
  ".oooooooooooooooooooooooooooooo."
  "oooooooooooooooooooooooooooooooo"
  "oooooooooooooooooooooooooooooooo"
  "oooooooooooooooooooooooooooooooo"
  "oooooooooooooooooooooooooooooooo"
  "oooooooooooooooooooooooooooooooo"
  "oooooooooooooooooooooooooooooooo"
  "oooooooooooooooooooooooooooooooo"
  "oooooooooooooooooooooooooooooooo"
  "oooooooooooooooooooooooooooooooo"
  "oooooooooooooooooooooooooooooooo"
  "oooooooooooooooooooooooooooooooo"
  "oooooooooooooooooooooooooooooooo"
  "oooooooooooooooooooooooooooooooo"
  "oooooooooooooooooooooooooooooooo"
  "oooooooooooooooooooooooooooooooo"
  "oooooooooooooooooooooooooooooooo"
  "oooooooooooooooooooooooooooooooo"
  "oooooooooooooooooooooooooooooooo"
  "oooooooooooooooooooooooooooooooo"
  "oooooooooooooooooooooooooooooooo"
  "oooooooooooooooooooooooooooooooo"
  "oooooooooooooooooooooooooooooooo"
  "oooooooooooooooooooooooooooooooo"
  "oooooooooooooooooooooooooooooooo"
  "oooooooooooooooooooooooooooooooo"
  "oooooooooooooooooooooooooooooooo"
  "oooooooooooooooooooooooooooooooo"
  "oooooooooooooooooooooooooooooooo"
  ".oooooooooooooooooooooooooooooo."
  "..oooooooooooooooooooooooooooo.."
}
