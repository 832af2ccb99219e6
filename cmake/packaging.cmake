# The player's zip (Windows build): `cmake --build --preset windows --target
# package` writes build/windows/BlockTide-VERSION-win64.zip with blocktide.exe
# and README.txt at its top (and the licence, should the project get one).
install(TARGETS blocktide RUNTIME DESTINATION .)
# CRLF: older Notepads show a file with bare LF ends as one line.
configure_file(${PROJECT_SOURCE_DIR}/resources/readme.txt.in ${CMAKE_BINARY_DIR}/release/README.txt
               @ONLY NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_BINARY_DIR}/release/README.txt DESTINATION .)
foreach(licence LICENSE LICENSE.txt LICENSE.md COPYING)
  if(EXISTS ${PROJECT_SOURCE_DIR}/${licence})
    install(FILES ${PROJECT_SOURCE_DIR}/${licence} DESTINATION . RENAME LICENSE.txt)
    break()
  endif()
endforeach()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME BlockTide)
set(CPACK_PACKAGE_VENDOR QuillbeamSoft)
set(CPACK_PACKAGE_FILE_NAME BlockTide-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_STRIP_FILES ON)
# Where the package lands, for its end-to-end test (taken before CPack's
# source package settings replace the file name).
set(BLOCKTIDE_PACKAGE_ZIP ${CMAKE_BINARY_DIR}/${CPACK_PACKAGE_FILE_NAME}.zip)
include(CPack)
