# `cmake --install` lays out the folder a Windows user runs Quillwick from, as windeployqt would
# (qtbase 6.4 has no windeployqt for a mingw cross-build): the executable, the Qt DLLs it links,
# the plugins Qt loads at run time from beside it, and the mingw runtime. CPack zips that folder.

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
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
