# Names the programs of the suite must agree on, defined once. The resource
# descriptions get them through configure_file (@NAME@) and the code through
# the generated header suite/SuiteNames.h.
set(VEMO_NAME_ADMIN_PREFS "VEMO-ADMIN Preferences")
# The administrator/user mode file: written by the installer, read by the
# administration program.
set(VEMO_NAME_ADMIN_MODE "VEMO-ADMIN Mode")
# The administration program's own settings while it runs for the program
# that launched it; deleted at exit.
set(VEMO_NAME_ADMIN_TEMP_PREFS "VEMO-ADMIN Temporary Preferences")
# The status monitor's preference file (the installer writes it too).
set(VEMO_NAME_MONITOR_PREFS "VEMO-MONITOR Preferences")
# The file-transfer tool's preference file (the administration program
# writes it when its search settings are saved).
set(VEMO_NAME_FTP_PREFS "upcaster Preferences")
# The folder in the user's home where the status monitor publishes each
# printer's status bytes and the held-job manager reads them; both
# programs' ini files name it ("[MACSTR]" "FOLDER=").
set(VEMO_NAME_STATUS_FOLDER "MONITOR-STATUS")
# The broadcast list beside the bundles.
set(VEMO_NAME_CONFIG_DATA "ConfigData")

set(VEMO_SUITE_DIR ${CMAKE_BINARY_DIR}/suite)
set(VEMO_GENERATED_INCLUDE ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/SuiteNames.h.in ${VEMO_GENERATED_INCLUDE}/suite/SuiteNames.h @ONLY)
