# Installation on Linux and the Debian package.
#
# The program finds its dictionary translate.dat in its own folder, so the
# program file and the dictionary lie together in lib/fassadenplan/ under the
# prefix; bin/fassadenplan is a relative symbolic link to the program file.
# Besides: the desktop entry, the icon (SVG and PNG sizes) in the hicolor
# theme, the AppStream metainfo, the manual page, and the copyright file and
# changelog in share/doc/fassadenplan. `cpack` in a build
# folder packs the same tree as a .deb for /usr.

include(GNUInstallDirs)

set(FP_INSTALL_PROGDIR "lib/fassadenplan" CACHE STRING
    "Folder of the program file and its dictionary, relative to the prefix")

install(TARGETS fassadenplan RUNTIME DESTINATION ${FP_INSTALL_PROGDIR})

# The shipped dictionary, where the build generates one beside the program
# (target fp_dictionary, file FP_SHIPPED_DICTIONARY).
if(TARGET fp_dictionary AND DEFINED FP_SHIPPED_DICTIONARY)
  install(FILES ${FP_SHIPPED_DICTIONARY} DESTINATION ${FP_INSTALL_PROGDIR})
endif()

# bin/fassadenplan -> ../lib/fassadenplan/fassadenplan, made in the build
# folder and installed as the link it is.
file(RELATIVE_PATH fp_link_target "/${CMAKE_INSTALL_BINDIR}" "/${FP_INSTALL_PROGDIR}/fassadenplan")
set(fp_link ${CMAKE_BINARY_DIR}/install-link/fassadenplan)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/install-link)
file(CREATE_LINK ${fp_link_target} ${fp_link} SYMBOLIC)
install(FILES ${fp_link} DESTINATION ${CMAKE_INSTALL_BINDIR})

set(fp_data ${PROJECT_SOURCE_DIR}/data)
install(FILES ${fp_data}/fassadenplan.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${fp_data}/de.velkor.fassadenplan.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${fp_data}/icons/fassadenplan.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size IN LISTS FP_ICON_SIZES)
  install(FILES ${fp_data}/icons/png/fassadenplan-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME fassadenplan.png)
endforeach()

# The manual page, compressed as man expects it in a package.
set(fp_man_gz ${CMAKE_BINARY_DIR}/man/fassadenplan.1.gz)
add_custom_command(OUTPUT ${fp_man_gz}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
  COMMAND gzip -9 -n -c ${fp_data}/fassadenplan.1 > ${fp_man_gz}
  DEPENDS ${fp_data}/fassadenplan.1
  COMMENT "Compressing the manual page"
  VERBATIM)
add_custom_target(fp_manual_page ALL DEPENDS ${fp_man_gz})
install(FILES ${fp_man_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The licence, as Debian wants it: a machine-readable copyright file and the
# package's changelog, compressed, in share/doc/fassadenplan. The package
# version is the project's with the Debian revision FP_DEBIAN_RELEASE.
set(FP_DEBIAN_RELEASE 1 CACHE STRING "Debian revision of the package version")
set(FP_DEBIAN_VERSION "${PROJECT_VERSION}-${FP_DEBIAN_RELEASE}")
set(fp_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/fassadenplan)
configure_file(${fp_data}/debian/changelog.in ${CMAKE_BINARY_DIR}/debian/changelog.Debian @ONLY)
set(fp_changelog_gz ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz)
add_custom_command(OUTPUT ${fp_changelog_gz}
  COMMAND gzip -9 -n -c ${CMAKE_BINARY_DIR}/debian/changelog.Debian > ${fp_changelog_gz}
  DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog.Debian
  COMMENT "Compressing the package changelog"
  VERBATIM)
add_custom_target(fp_package_changelog ALL DEPENDS ${fp_changelog_gz})
install(FILES ${fp_data}/debian/copyright ${fp_changelog_gz} DESTINATION ${fp_doc_dir})
install(FILES ${fp_data}/debian/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME fassadenplan)

# ---------------------------------------------------------------- Debian package

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME fassadenplan)
set(CPACK_PACKAGE_VENDOR Velkor)
set(CPACK_PACKAGE_CONTACT "Fassadenplan developers <fassadenplan@velkor.de>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "rectify photographs of facades in perspective")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${FP_DEBIAN_RELEASE})
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.velkor.de)
# The summary above is the first line of the description, this the rest.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Fassadenplan rectifies photographs in perspective: click the four corners of
something that is rectangular in reality, a facade, a wall, a panel or a
sheet of paper, type its real width and height, and get a rectified image at
the real aspect ratio. A second photograph can be rectified and blended over
the first. The batch mode rectifies from the command line without a display.")
# The shared libraries (Qt 6, TurboJPEG, OpenJPEG, giflib, libpng, zlib, the C++ runtime)
# are found by dpkg-shlibdeps; Qt's image plugins (TIFF, WebP, TGA) and Qt's
# own translations are loaded at run time and named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-image-formats-plugins, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
