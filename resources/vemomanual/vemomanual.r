# The manual opener's menus (it never shows them: it ends at once).
resource 'MENU' 128 { title "\x14"  item "About" disabled }
resource 'MENU' 129 { title "File"  item "Quit" key 'Q' }
resource 'MBAR' 128 { 128 129 }
