# Dialogs for the Dialog Manager's tests.

# One item of every kind.
resource 'DLOG' 128 { bounds 100 100 300 500  proc 1  visible  items 128  title "Every Kind"  position center }
resource 'DITL' 128 {
  button   160 300 180 380 "OK"               #  1
  button   160 200 180 280 "Cancel"           #  2
  static    10  60  26 290 "Name: ^0 (^1)"    #  3
  edit      40  60  56 200 "first"            #  4
  edit      70  60  86 200 ""                 #  5
  checkbox 100  60 116 190 "Remember"         #  6
  radio    100 200 116 290 "One"              #  7
  radio    120 200 136 290 "Two"              #  8
  control  130  60 150 190 130                #  9  a pop-up
  icon      10  10  42  42 128                # 10
  picture   40 300  88 380 129                # 11
  user     100 300 150 380                    # 12
  static   160  10 180 150 "hidden" disabled  # 13
}

resource 'CNTL' 130 { bounds 130 60 150 190  proc 1008  menu 131  max 60  title "Size" }
resource 'MENU' 131 { title "Size"  item "Small"  item "Medium"  item "Large" }

resource 'cicn' 128 { png "red-icon.png" }
resource 'PICT' 129 { png "blue-picture.png" }

# A frame with three buttons and a tab area, and two pages to swap in.
resource 'DLOG' 140 { bounds 80 80 300 480  proc 1  visible  items 140  title "Pages" }
resource 'DITL' 140 {
  button 190 310 210 390 "OK"
  button 190 220 210 300 "Cancel"
  button 190 10 210 90 "Apply"
  user 10 10 180 390
}
resource 'DITL' 141 {
  static 40 20 56 120 "Address"
  edit 40 130 56 300 "10.0.0.1"
  checkbox 70 20 86 200 "Use DHCP"
}
resource 'DITL' 142 {
  edit 40 20 56 200 "public"
  radio 70 20 86 200 "Broadcast"
  radio 90 20 106 200 "Unicast"
  static 120 20 136 300 "Community"
  edit 150 20 166 200 ""
}

# An alert in the alert position, hidden until shown.
resource 'DLOG' 150 { bounds 0 0 120 340  proc 1  items 150  title "Alert"  position alert }
resource 'DITL' 150 {
  button 90 260 110 330 "OK"
  button 90 170 110 250 "Cancel"
  static 10 60 80 330 "^0"
}

# A dialog whose item list is missing.
resource 'DLOG' 161 { bounds 0 0 100 100  items 999  title "No Items" }

# A form of text-engine fields on user items: 3 one line, 4 many lines.
resource 'DLOG' 170 { bounds 60 60 360 460  proc 1  visible  items 170  title "Form" }
resource 'DITL' 170 {
  button 270 310 290 390 "OK"
  button 270 220 290 300 "Cancel"
  user 10 10 28 390
  user 40 10 240 200
}

# Texts that fit, and texts that do not: a caption too long for its button,
# a label with more lines than its box holds.
resource 'DLOG' 180 { bounds 100 100 300 500  proc 1  visible  items 180  title "Drawn" }
resource 'DITL' 180 {
  button   160 300 180 380 "OK"                                   #  1
  button   160 200 180 260 "Authentication..."                    #  2
  static    10  10  26 200 "Fits"                                 #  3
  static    40  10  56 100 "A label with more words than its box has lines for"  #  4
  checkbox 100  10 116 190 "Remember"                             #  5
}
