# Lays out the disc the installer installs from:
#   DISC/vemoplexinstall.app         the installer's bundle
#   DISC/TOOL/<Program>.app          the programs it copies
#   DISC/TOOL/<language>/...         the shared files, per language
#   DISC/<Program>.app               the disc's own programs (TOP, from STAGE)
#   DISC/Manuals/<language>/...      the manuals
file(REMOVE_RECURSE ${DISC})
file(MAKE_DIRECTORY ${DISC}/TOOL)
file(COPY ${SUITE}/vemoplexinstall.app DESTINATION ${DISC} USE_SOURCE_PERMISSIONS)
foreach(p ${PROGRAMS})
  file(COPY ${SUITE}/${p}.app DESTINATION ${DISC}/TOOL USE_SOURCE_PERMISSIONS)
endforeach()
file(COPY ${RES}/TOOL/ DESTINATION ${DISC}/TOOL)
foreach(p ${TOP})
  file(COPY ${STAGE}/${p}.app DESTINATION ${DISC} USE_SOURCE_PERMISSIONS)
endforeach()
if(MANUALS)
  file(COPY ${MANUALS}/ DESTINATION ${DISC}/Manuals)
endif()
