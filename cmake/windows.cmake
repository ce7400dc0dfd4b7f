# Windows builds. Cross-built on Linux (the `windows` preset), the test executables run through
# wine-run.sh, which gives them the Qt and mingw runtime DLLs, a Wine prefix inside the build folder
# and the variables that Qt needs there.

if(MINGW)
    # Where the mingw runtime DLLs live, asked of the compiler rather than assumed.
    set(QUILLWICK_MINGW_RUNTIME)
    foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                        OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
        get_filename_component(path "${path}" REALPATH)
        if(NOT EXISTS "${path}")
            message(FATAL_ERROR "mingw runtime ${dll} not found")
        endif()
        list(APPEND QUILLWICK_MINGW_RUNTIME "${path}")
    endforeach()
endif()

if(CMAKE_CROSSCOMPILING AND CMAKE_HOST_UNIX)
    get_target_property(qt_core_dll Qt6::Core IMPORTED_LOCATION_RELEASE)
    set(wine_dirs)
    foreach(path IN ITEMS "${qt_core_dll}" ${QUILLWICK_MINGW_RUNTIME})
        get_filename_component(dir "${path}" DIRECTORY)
        string(REPLACE "/" "\\" dir "Z:${dir}")
        list(APPEND wine_dirs "${dir}")
    endforeach()
    list(REMOVE_DUPLICATES wine_dirs)
    set(QUILLWICK_WINEPATH "${wine_dirs}")

    # The offscreen platform reads its fonts from one folder: a CJK font for the interface and a
    # monospace one, which stands in for Consolas as on a Windows without it.
    set(QUILLWICK_WINE_FONTS "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"
        "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf" CACHE STRING
        "Host font files for the offscreen platform under Wine")
    set(font_dir "${CMAKE_BINARY_DIR}/wine-fonts")
    foreach(font IN LISTS QUILLWICK_WINE_FONTS)
        if(NOT EXISTS "${font}")
            message(FATAL_ERROR "${font} is missing: install fonts-wqy-microhei and fonts-dejavu-core")
        endif()
        file(COPY "${font}" DESTINATION "${font_dir}")
    endforeach()
    string(REPLACE "/" "\\" QUILLWICK_WINE_FONTDIR "Z:${font_dir}")
    set(QUILLWICK_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")

    configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
                   @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                   GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)
endif()
