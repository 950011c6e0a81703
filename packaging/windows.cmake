# The Windows packages: one folder holding veltra.exe, veltra-cli.exe, the Qt, QCustomPlot and
# MinGW runtime DLLs, the platform and style plug-ins and a README; `cpack` makes of it
#   veltra-VERSION-windows-x64.zip   portable: unpack anywhere and start veltra.exe
#   veltra-VERSION-windows-x64.exe   an installer (NSIS) with a Start-menu shortcut that works in
#                                    Documents\Veltra, and an uninstaller that leaves that
#                                    folder (prog.ini, the archive's files) alone
install(TARGETS veltra veltra-cli RUNTIME DESTINATION .)

get_target_property(veltra_qt_bin Qt6::Core IMPORTED_LOCATION_RELEASE)
get_filename_component(veltra_qt_bin "${veltra_qt_bin}" DIRECTORY)
install(FILES
    $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets>
    $<TARGET_FILE:Qt6::PrintSupport> $<TARGET_FILE:QCustomPlotQt6::QCustomPlotQt6>
    "${veltra_qt_bin}/libstdc++-6.dll" "${veltra_qt_bin}/libgcc_s_seh-1.dll"
    "${veltra_qt_bin}/libwinpthread-1.dll" "${veltra_qt_bin}/sqlite3.dll"
    DESTINATION .)
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles)
install(FILES README-windows.txt DESTINATION . RENAME README.txt)
# The SDK's DLLs carry their symbols; without them the folder is a third of the size.
install(CODE "
    file(GLOB_RECURSE veltra_dlls \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/*.dll\")
    foreach(dll IN LISTS veltra_dlls)
        execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded \"\${dll}\")
    endforeach()
")

set(CPACK_PACKAGE_NAME Veltra)
set(CPACK_PACKAGE_VENDOR "Veltra")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Service program for hand-held radiation dosimeter-radiometers")
set(CPACK_PACKAGE_FILE_NAME "veltra-${PROJECT_VERSION}-windows-x64")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Veltra")
set(CPACK_RESOURCE_FILE_LICENSE "${CMAKE_CURRENT_SOURCE_DIR}/README-windows.txt")
set(CPACK_GENERATOR "ZIP;NSIS")
set(CPACK_STRIP_FILES ON)

# A 64-bit installer for a 64-bit program, into Program Files (not Program Files (x86)).
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME "Veltra")
set(CPACK_NSIS_DISPLAY_NAME "Veltra ${PROJECT_VERSION}")
set(CPACK_NSIS_MUI_ICON "${CMAKE_CURRENT_SOURCE_DIR}/icons/veltra.ico")
set(CPACK_NSIS_MUI_UNIICON "${CMAKE_CURRENT_SOURCE_DIR}/icons/veltra.ico")
set(CPACK_NSIS_INSTALLED_ICON_NAME "veltra.exe")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# The shortcut starts the program in the user's own folder (Documents\Veltra, made on first
# start), so prog.ini and the archive's files never go to Program Files.
# (Backslashes doubled: the text goes through CPack's configuration file once more.)
set(CPACK_NSIS_CREATE_ICONS_EXTRA [=[
  CreateShortCut '$SMPROGRAMS\\$STARTMENU_FOLDER\\Veltra.lnk' '$INSTDIR\\veltra.exe' '--user-folder' '$INSTDIR\\veltra.exe' 0
]=])
set(CPACK_NSIS_DELETE_ICONS_EXTRA [=[
  Delete '$SMPROGRAMS\\$MUI_TEMP\\Veltra.lnk'
]=])
include(CPack)
