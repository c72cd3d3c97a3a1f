# A tabbed settings dialog for the tests of the configuration frame: the
# frame's four items, the pages' item lists and the tab pictures.

resource 'DLOG' 500 { bounds 60 60 360 460  proc 5  visible  items 500  title "Settings" }
resource 'DITL' 500 {
  button 262 320 282 390 "OK"       #  1
  button 262 230 282 300 "Cancel"   #  2
  button 262 140 282 210 "Apply"    #  3
  user    10  10  40 390            #  4  the tab strip's area
}

# Page "Status": two items.
resource 'DITL' 401 {
  checkbox  60  30  76 200 "Sound"
  edit      90  30 106 200 "10"
}
# Page "Popup": three items.
resource 'DITL' 402 {
  static    60  30  76 200 "On errors" disabled
  radio     90  30 106 200 "Always"
  radio    110  30 126 200 "Never"
}
# A page with a list that reaches below its item.
resource 'DITL' 404 {
  user      60  20 130 380
}

resource 'PICT' 143 { png "tab-front.png" }
resource 'PICT' 142 { png "tab-back.png" }
resource 'PICT' 144 { png "frame.png" }
resource 'PICT' 145 { png "spin.png" }

