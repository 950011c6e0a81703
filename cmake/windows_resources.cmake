# The Windows executables' resources: the program's icon (packaging/icons/veltra.ico) and the
# version information Explorer shows (product, version, description; the company field is left
# neutral).
function(veltra_windows_resources target description filename)
    set(VELTRA_RC_ICON "${PROJECT_SOURCE_DIR}/packaging/icons/veltra.ico")
    set(VELTRA_RC_DESCRIPTION "${description}")
    set(VELTRA_RC_FILENAME "${filename}")
    string(REPLACE "." "," VELTRA_RC_VERSION_COMMAS "${PROJECT_VERSION}.0")
    set(rc "${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.rc")
    configure_file("${PROJECT_SOURCE_DIR}/cmake/windows_resources.rc.in" "${rc}" @ONLY)
    target_sources(${target} PRIVATE "${rc}")
endfunction()
