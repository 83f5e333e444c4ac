# What a user gets: the Windows zip (cmake --build build/windows --target
# package) and, elsewhere, `cmake --install` of velmora-cli with its man page.
# Included from CMakeLists.txt after the programs are defined.

find_package(Python3 COMPONENTS Interpreter)

if(WIN32)
  # ---- The zip: Velmora.exe, velmora-cli.exe and README.txt at its top ----
  # README.txt is for Notepad: CR LF line ends and UTF-8 with a byte order mark.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/res/readme-windows.txt)
  file(READ ${CMAKE_SOURCE_DIR}/res/readme-windows.txt readme)
  string(ASCII 239 187 191 utf8_bom)
  file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/release/README.txt CONTENT "${utf8_bom}${readme}"
       @ONLY NEWLINE_STYLE CRLF)

  if(TARGET Velmora)
    install(TARGETS Velmora RUNTIME DESTINATION .)
  endif()
  install(TARGETS velmora-cli RUNTIME DESTINATION .)
  install(FILES ${CMAKE_BINARY_DIR}/release/README.txt DESTINATION .)

  if(NOT Python3_FOUND)
    message(STATUS "No Python 3: the package target cannot make the release zip")
  endif()
  # CPack installs into a staging folder; cmake/package_zip.cmake turns that
  # into a zip whose bytes depend only on the files and the commit's time.
  set(CPACK_PACKAGE_NAME velmora)
  set(CPACK_PACKAGE_VENDOR Velmora)
  set(CPACK_PACKAGE_VERSION ${VELMORA_VERSION})
  set(CPACK_PACKAGE_FILE_NAME velmora-${VELMORA_VERSION}-win64)
  set(CPACK_GENERATOR External)
  set(CPACK_EXTERNAL_ENABLE_STAGING ON)
  set(CPACK_EXTERNAL_PACKAGE_SCRIPT ${CMAKE_SOURCE_DIR}/cmake/package_zip.cmake)
  set(CPACK_VELMORA_SOURCE_DIR ${CMAKE_SOURCE_DIR})
  set(CPACK_VELMORA_PYTHON ${Python3_EXECUTABLE})
  set(CPACK_SOURCE_GENERATOR "")
  include(CPack)
else()
  # ---- velmora-cli and its man page, made from its --help and --version ----
  include(GNUInstallDirs)
  install(TARGETS velmora-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  if(CMAKE_CROSSCOMPILING OR NOT Python3_FOUND)
    message(STATUS "velmora-cli.1 is not made (needs Python 3 and a velmora-cli that runs here)")
  else()
    set(man_page ${CMAKE_BINARY_DIR}/release/velmora-cli.1)
    add_custom_command(OUTPUT ${man_page}
      COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/release/make_man.py
              $<TARGET_FILE:velmora-cli> ${man_page}
      DEPENDS velmora-cli ${CMAKE_SOURCE_DIR}/tools/release/make_man.py
      COMMENT "Making velmora-cli.1 from velmora-cli --help"
      VERBATIM)
    add_custom_target(velmora_man ALL DEPENDS ${man_page})
    install(FILES ${man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endif()
