# `cmake --install` lays out the folder a Windows user runs Quillwick from, as windeployqt would
# (qtbase 6.4 has no windeployqt for a mingw cross-build): the executable, the Qt DLLs it links,
# the plugins Qt loads at run time from beside it, and the mingw runtime. CPack zips that folder
# and, with NSIS, also makes an installer of it.

install(TARGETS Quillwick RUNTIME DESTINATION .)
install(FILES $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets>
        DESTINATION .)
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles)
# The window icon is an .ico resource: without this plugin the window has no icon.
install(FILES $<TARGET_FILE:Qt6::QICOPlugin> DESTINATION imageformats)
if(MINGW)
    install(FILES ${QUILLWICK_MINGW_RUNTIME} DESTINATION .)
    # The compiler's copies carry debug information: libstdc++-6.dll alone is 23 MB with it.
    if(CMAKE_STRIP)
        foreach(path IN LISTS QUILLWICK_MINGW_RUNTIME)
            get_filename_component(dll "${path}" NAME)
            install(CODE "execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded
                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${dll}\" COMMAND_ERROR_IS_FATAL ANY)")
        endforeach()
    endif()
endif()

set(CPACK_PACKAGE_NAME Quillwick)
set(CPACK_PACKAGE_VENDOR Marrowvale)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Quillwick - Windows console command catalog")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME Quillwick-${PROJECT_VERSION}-win64)
set(CPACK_GENERATOR ZIP)
# An installer too when NSIS is at hand (Debian's nsis package provides makensis).
find_program(QUILLWICK_MAKENSIS makensis)
if(QUILLWICK_MAKENSIS)
    list(APPEND CPACK_GENERATOR NSIS)
    set(CPACK_NSIS_EXECUTABLE ${QUILLWICK_MAKENSIS})
    # A 64-bit installer for a 64-bit program: it installs into the 64-bit Program Files and
    # runs under a 64-bit-only Wine.
    set(CPACK_NSIS_DEFINES "Target amd64-unicode")
    set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
    set(CPACK_NSIS_PACKAGE_NAME Quillwick)
    set(CPACK_NSIS_DISPLAY_NAME "Quillwick ${PROJECT_VERSION}")
    set(CPACK_PACKAGE_INSTALL_DIRECTORY Quillwick)
    set(CPACK_NSIS_INSTALLED_ICON_NAME Quillwick.exe)
    set(CPACK_NSIS_MUI_ICON ${CMAKE_SOURCE_DIR}/src/resources/ostrid.ico)
    set(CPACK_NSIS_MUI_UNIICON ${CMAKE_SOURCE_DIR}/src/resources/ostrid.ico)
    set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
    # The Start-menu shortcut, to Quillwick.exe beside the uninstaller, starts Quillwick in the
    # user's profile folder, as a console window opens there: relative command lines (dir,
    # takeown /f *.txt) then act on the user's files, not on the program folder. NSIS takes a
    # shortcut's working folder from $OUTDIR, set here without creating anything; Windows expands
    # the variable when the shortcut starts. (CPACK_PACKAGE_EXECUTABLES would point into bin\.)
    set(CPACK_NSIS_CREATE_ICONS_EXTRA
        "  StrCpy $OUTDIR '%USERPROFILE%'
  CreateShortCut '$SMPROGRAMS\\$STARTMENU_FOLDER\\Quillwick.lnk' '$INSTDIR\\Quillwick.exe'
  SetOutPath '$INSTDIR'")
    set(CPACK_NSIS_DELETE_ICONS_EXTRA "  Delete '$SMPROGRAMS\\$MUI_TEMP\\Quillwick.lnk'")
endif()
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack-options.cmake)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
