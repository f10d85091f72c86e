# Installed layout and the Debian package.
#
# Everything lands where the program looks for it: the executable with
# libcamera.so beside it in /opt/tavikApp (run path $ORIGIN), libImageProc.so
# in /opt/tavikApp/lib (the first of its two search paths), a launcher on PATH,
# the menu entry and the icons under /usr/share. The destinations are
# absolute, so `cmake --install build --prefix /` and the .deb lay out the
# same files; the program's own rules live with their targets.
#
#   cmake --install build --prefix /      installs (as root)
#   (cd build && cpack -G DEB)            builds build/tavikapp_1.0.0_amd64.deb

set(TAVIK_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
# Installing and packaging take what is built and build nothing themselves:
# cpack in a build folder packs the programs as they are instead of first
# building every test and benchmark. Build, then install or pack.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

install(PROGRAMS ${TAVIK_PACKAGING_DIR}/tavikApp.sh DESTINATION /usr/bin RENAME tavikApp)
install(FILES ${TAVIK_PACKAGING_DIR}/tavikApp.desktop DESTINATION /usr/share/applications)
foreach(size 16 24 32 48 64 128 256)
    install(FILES ${TAVIK_PACKAGING_DIR}/icons/${size}x${size}/tavikApp.png
            DESTINATION /usr/share/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${TAVIK_PACKAGING_DIR}/icons/scalable/tavikApp.svg
        DESTINATION /usr/share/icons/hicolor/scalable/apps)

# The icon's drawing tool, built on demand by packaging/icon/make_icons.sh.
add_executable(tavik_draw_icon EXCLUDE_FROM_ALL ${TAVIK_PACKAGING_DIR}/icon/draw_icon.cpp)
target_link_libraries(tavik_draw_icon PRIVATE Qt5::Gui)
tavik_warnings(tavik_draw_icon)

# ---- Debian package
set(TAVIK_PACKAGE_MAINTAINER "tavikApp maintainers <maintainers@users.noreply.c-seed-f2754ffe.example>"
    CACHE STRING "Maintainer field of the .deb")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavikapp)
set(CPACK_PACKAGE_VENDOR "Tavik")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "USB document camera application (塔维克高拍仪软件)")
set(CPACK_PACKAGE_DESCRIPTION
    "Live preview of a USB document camera with deskew, photos in JPG, BMP or PNG, a thumbnail strip and multi-page PDF.")
set(CPACK_PACKAGE_CONTACT "${TAVIK_PACKAGE_MAINTAINER}")
# Absolute destinations go into the package as they are, under the root.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX "/")
set(CPACK_PACKAGING_INSTALL_PREFIX "/")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TAVIK_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Qt, libjpeg-turbo and OpenCV come from dpkg-shlibdeps with their versions;
# libcamera.so is our own and is found beside the program. The font and the
# desktop opener are not linked, so they are named here: without a CJK font
# every Chinese text of the window shows as boxes.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wqy-microhei | fonts-noto-cjk, xdg-utils")
# Text recognition's engine comes through dpkg-shlibdeps; its Chinese and
# English data are recommended: without them the program runs, with the
# "可搜索PDF" box disabled and naming them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "tesseract-ocr-chi-sim, tesseract-ocr-eng")

include(CPack)
