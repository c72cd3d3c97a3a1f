# Resources of the FTP window tests: the send window, the outcome alert,
# two pages of items for the page swap, and a colour icon.

# The send window: Cancel, then label and value pairs drawn by the window
# itself (user items), the size text and the bar.
resource 'DLOG' 129 { bounds 0 0 130 360  proc 4  items 129  title "Send"  position center }
resource 'DITL' 129 {
  button  98 270 118 345 "Cancel"
  user    10  10  26  90 disabled
  user    10  95  26 350 disabled
  user    30  10  46  90 disabled
  user    30  95  46 350 disabled
  user    50  10  66  90 disabled
  user    50  95  66 350 disabled
  user    74  10  86 297 disabled
}

# The movable alert the outcome is told in.
resource 'DLOG' 612 { bounds 0 0 120 360  proc 5  items 612  title "Alert"  position alert }
resource 'DITL' 612 {
  button 90 280 110 350 "B1"
  button 90 190 110 270 "B2"
  static 10 60 80 350 "^0|^1|^2|^3" disabled
}

# A dialog with a page of its own items, and the two pages laid over it.
resource 'DLOG' 700 { bounds 0 0 200 300  proc 4  items 700  title "Pages"  position center }
resource 'DITL' 700 {
  button 170 220 190 290 "OK"
  static  10  10  30 290 "Heading" disabled
  static  40  10  60 290 "Page one" disabled
  static  70  10  90 290 "More of page one" disabled
}
resource 'DITL' 701 {
  static  40  10  60 290 "Page two" disabled
}
resource 'DITL' 702 {
  static  40  10  60 290 "Page three" disabled
  static  70  10  90 290 "More of page three" disabled
  checkbox 100 10 120 290 "Choice"
}

resource 'cicn' 300 { png "red-icon.png" }
