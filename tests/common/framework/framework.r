# Dialogs and windows for the tests of the window registry, the dispatch,
# the alerts, the about box and the dialog item utilities.

# A modeless dialog with items of the common kinds.
resource 'DLOG' 300 { bounds 60 40 220 360  proc 4  visible  items 300  title "Registry" }
resource 'DITL' 300 {
  button   120 230 140 300 "OK"          #  1
  button   120 140 140 210 "Cancel"      #  2
  edit      10  20  26 200 ""            #  3
  static    40  20  56 200 "Label"       #  4
  checkbox  70  20  86 200 "Check"       #  5
  radio     90  20 106 120 "Radio"       #  6
  user      70 220 110 300 disabled      #  7  a disabled user item
  user      10 220  50 300               #  8  an enabled user item
  button   130  20 150 100 "Off" disabled          #  9
  checkbox 130 110 146 130 "" disabled             # 10
  radio     40 210  56 230 "" disabled             # 11
  static    56 210  68 300 "Off" disabled          # 12
  picture   10 310  30 318 129                     # 13
}

# A plain window with a zoom box.
resource 'WIND' 400 { bounds 80 400 280 700  proc 8  visible  goaway  title "Plain" }

# The start-up check's alert.
resource 'DLOG' 603 { bounds 0 0 120 360  proc 1  items 603  title ""  position alert }
resource 'DITL' 603 {
  button 90 280 110 350 "Button"
  button 90 190 110 270 "Other"
  static 10 60 80 350 "^0^1^2^3" disabled
}

# Movable alerts: two of the eight ids, and one outside the range.
resource 'DLOG' 610 { bounds 0 0 120 360  proc 5  items 610  title "Alert"  position alert }
resource 'DLOG' 611 { bounds 0 0 120 360  proc 5  items 610  title "Alert"  position alert }
resource 'DLOG' 609 { bounds 0 0 120 360  proc 5  items 610  title "Alert"  position alert }
resource 'DITL' 610 {
  button 90 280 110 350 "B1"
  button 90 190 110 270 "B2"
  static 10 60 80 350 "^0|^1|^2|^3" disabled
}

# A confirmation alert run modally by its program.
resource 'DLOG' 620 { bounds 0 0 120 360  proc 1  visible  items 610  title "Confirm"  position alert }

# The about box.
resource 'DLOG' 200 { bounds 0 0 180 300  proc 5  items 200  title "About"  position center }
resource 'DITL' 200 {
  button 140 210 160 280 "Button"
  user    20 126  52 174 disabled
  static  60  20  78 280 "Framework Test" disabled
  static  80  20  98 280 "Version 1.0" disabled
  static 100  20 118 280 "Notice one" disabled
  static 118  20 136 280 "Notice two" disabled
}

resource 'cicn' 128 { png "green-icon.png" }
resource 'PICT' 129 { png "blue-picture.png" }
