#!/usr/bin/env bash
# The Windows build of Quillwick, cross-built on Debian 12 with mingw-w64 against a prebuilt Qt for
# Windows, tested under Wine.
#
#   tools/windows.sh build        configure and build (preset `windows`, folder build/windows)
#   tools/windows.sh test         build, compile the .rc on its own, run every test under Wine
#   tools/windows.sh package      build and zip the folder a Windows user runs it from
#                                 (build/windows/package/Quillwick-<version>-win64.zip), and
#                                 with NSIS installed also make and try its installer
#   tools/windows.sh screenshot   package, start the zipped Quillwick.exe in Wine under Xvfb and
#                                 save docs/screenshot-windows.png
#   tools/windows.sh bench [args] build, run the benchmark's Windows figures under Wine and Xvfb
#                                 (arguments go to quillwick_bench.exe after --windows)
#
# Qt comes from QT6_MINGW_TARBALL (default: ../shared/qt6-mingw/qt6-mingw-6.4.2.tar.xz beside the
# checkout); it is unpacked into build/qt6-mingw and never committed.
set -euo pipefail
cd "$(dirname "$0")/.."

root=$PWD
tarball=${QT6_MINGW_TARBALL:-$root/../shared/qt6-mingw/qt6-mingw-6.4.2.tar.xz}
# A checkout elsewhere than beside the shared folder still finds the workplace's copy.
[ -f "$tarball" ] || [ -n "${QT6_MINGW_TARBALL:-}" ] \
    || tarball=/work/shared/qt6-mingw/qt6-mingw-6.4.2.tar.xz
qt=$root/build/qt6-mingw
build=$root/build/windows
started=$SECONDS

unpack_qt() {
    local stamp=$qt/.unpacked-from
    [ -f "$tarball" ] || { echo "Qt for Windows not found: $tarball (set QT6_MINGW_TARBALL)" >&2; exit 1; }
    if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$(stat -c '%n %s %Y' "$tarball")" ]; then
        return
    fi
    echo "== Unpacking $(basename "$tarball")"
    rm -rf "$qt"
    mkdir -p "$root/build"
    tar -C "$root/build" -xJf "$tarball"
    stat -c '%n %s %Y' "$tarball" >"$stamp"
}

do_build() {
    bash tools/setup-debian.sh windows
    unpack_qt
    echo "== Windows build"
    cmake --preset windows >/dev/null
    cmake --build --preset windows
}

# The build compiles the .rc too; compiling it alone first names the culprit when it breaks.
check_rc() {
    echo "== Windows resources"
    x86_64-w64-mingw32-windres --include-dir=src/resources -O coff \
        -o "$build/quillwick-rc-check.o" src/resources/quillwick.rc
}

# tst_execution_win_zh_CN runs Wine in a Chinese locale, where its cmd.exe writes code page 936
# and UTF-16 as on a Chinese Windows.
chinese_locale() {
    locale -a 2>/dev/null | grep -qix 'zh_CN.utf8' && return
    echo "== Generating the locale zh_CN.UTF-8"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
}

do_test() {
    do_build
    chinese_locale
    check_rc
    echo "== Windows tests under Wine"
    # Wine makes windows, console windows included, only with an X display, and the runner's tests
    # look at windows: a command's window that outlives a stop, ftp's console window. Wine's
    # desktop keeps the display of the prefix's first program, so a Wine server that still runs
    # without one is waited out first.
    WINEPREFIX=$build/wineprefix wineserver -w 2>/dev/null || true
    xvfb-run -a bash -c '
        # Made once per build folder; wine-run.sh would make it on first use, but not silently.
        "$1/wine-run.sh" cmd /c exit >/dev/null 2>&1 || true
        ctest --preset windows --parallel "$2"' _ "$build" "$(nproc)"
}

# What a Windows user needs beside Quillwick.exe, as windeployqt would lay it out.
shipped_files=(Quillwick.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll platforms/qwindows.dll
    styles/qwindowsvistastyle.dll imageformats/qico.dll libstdc++-6.dll libgcc_s_seh-1.dll
    libwinpthread-1.dll)

do_package() {
    do_build
    echo "== Windows package"
    rm -rf "$build/package"
    (cd "$build" && cpack)
    local zip
    zip=$(echo "$build"/package/Quillwick-*-win64.zip)
    unzip -Z1 "$zip" >"$build/package/zip-contents.txt"
    local folder
    folder=$(basename "$zip" .zip)
    for file in "${shipped_files[@]}"; do
        grep -qx "$folder/$file" "$build/package/zip-contents.txt" \
            || { echo "missing from $zip: $folder/$file" >&2; exit 1; }
    done
    ls -l "$zip"
    local installer
    for installer in "$build"/package/Quillwick-*-win64-setup.exe; do
        [ -f "$installer" ] || continue
        # A silent install into the tests' Wine prefix proves the installer carries everything.
        local target=$build/wineprefix/drive_c/QuillwickInstallCheck
        rm -rf "$target"
        "$build/wine-run.sh" "$installer" /S '/D=C:\QuillwickInstallCheck'
        for file in "${shipped_files[@]}"; do
            [ -f "$target/$file" ] || { echo "not installed by $installer: $file" >&2; exit 1; }
        done
        rm -rf "$target"
        ls -l "$installer"
    done
}

do_screenshot() {
    do_package
    bash tools/setup-debian.sh screenshot
    echo "== Screenshot of the packaged Quillwick.exe under Wine and Xvfb"
    local unpacked=$root/build/winpkg
    rm -rf "$unpacked"
    mkdir -p "$unpacked"
    unzip -q "$build"/package/Quillwick-*-win64.zip -d "$unpacked"
    local app
    app=$(echo "$unpacked"/Quillwick-*-win64)
    # A clean prefix, like a user's machine, with a Chinese font among the Windows fonts.
    export WINEPREFIX=$root/build/winpkg-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    rm -rf "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    cp /usr/share/fonts/truetype/wqy/wqy-microhei.ttc "$WINEPREFIX/drive_c/windows/Fonts/"
    # The window asks for Windows' own fonts; Wine has neither, so the nearest free ones stand in.
    local key='HKCU\Software\Wine\Fonts\Replacements'
    wine reg add "$key" /v "Microsoft YaHei" /t REG_SZ /d "WenQuanYi Micro Hei" /f >/dev/null 2>&1
    wine reg add "$key" /v Consolas /t REG_SZ /d "WenQuanYi Micro Hei Mono" /f >/dev/null 2>&1
    mkdir -p docs
    # A Wine desktop window gives the program a Windows-like frame without a window manager.
    xvfb-run -a -s "-screen 0 1280x1060x24" bash -c '
        cd "$1"
        wine explorer /desktop=Quillwick,1280x1060 Quillwick.exe >/dev/null 2>&1 &
        sleep "${QUILLWICK_SCREENSHOT_WAIT:-20}"
        # The window opens centred on the desktop: keep its frame, trim the desktop around it.
        import -window root -trim +repage "$2"
        wineserver -k' _ "$app" "$root/docs/screenshot-windows.png"
    ls -l docs/screenshot-windows.png
}

# The figures that differ on Windows (the pipe reader, process creation), measured under Wine.
do_bench() {
    do_build
    echo "== Windows benchmark under Wine"
    WINEPREFIX=$build/wineprefix wineserver -w 2>/dev/null || true
    xvfb-run -a "$build/wine-run.sh" "$build/bench/quillwick_bench.exe" --windows "$@"
}

case "${1:-}" in
build) do_build ;;
bench)
    shift
    do_bench "$@"
    set -- bench
    ;;
test) do_test ;;
package) do_package ;;
screenshot) do_screenshot ;;
*)
    echo "usage: $0 build|test|package|screenshot|bench" >&2
    exit 2
    ;;
esac
echo "== tools/windows.sh $1: $((SECONDS - started)) s"
