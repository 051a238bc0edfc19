# Install rules and the Debian package (cpack -G DEB).
include(GNUInstallDirs)

install(TARGETS quarlex RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The format module, found by the program in ../lib/quarlex beside its folder. Its libraries
# (poppler, libarchive, libgsf, Tesseract...) are in the package's Depends through shlibdeps,
# which reads every ELF file of the package.
install(TARGETS quarlex_formats LIBRARY DESTINATION lib/quarlex)
install(FILES data/quarlex.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/io.github.quarlex.Quarlex.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The committed icon files (cmake/Icons.cmake), each in its hicolor size folder.
foreach(file ${QUARLEX_ICON_FILES})
    get_filename_component(folder ${file} DIRECTORY)
    install(FILES data/${file} DESTINATION ${CMAKE_INSTALL_DATADIR}/${folder})
endforeach()

# Compresses data/<source> into <output> in the build tree the way Debian wants (gzip -9n, so
# that the package does not change with the build time), as part of every build. The output's
# folder is made first: Ninja creates it by itself, Make does not.
function(quarlex_gzip target source output)
    get_filename_component(folder ${output} DIRECTORY)
    add_custom_command(
        OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
        COMMAND gzip -9 -n -c ${CMAKE_SOURCE_DIR}/data/${source} > ${output}
        DEPENDS ${CMAKE_SOURCE_DIR}/data/${source})
    add_custom_target(${target} ALL DEPENDS ${output})
endfunction()

# Debian wants a copyright file and a compressed changelog in the package's doc folder.
set(QUARLEX_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/quarlex)
configure_file(data/debian/copyright ${CMAKE_BINARY_DIR}/debian/copyright COPYONLY)
quarlex_gzip(quarlex_changelog debian/changelog ${CMAKE_BINARY_DIR}/debian/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/debian/copyright ${CMAKE_BINARY_DIR}/debian/changelog.gz
        DESTINATION ${QUARLEX_DOC_DIR})

# The manual page.
quarlex_gzip(quarlex_manpage man/quarlex.1 ${CMAKE_BINARY_DIR}/man/quarlex.1.gz)
install(FILES ${CMAKE_BINARY_DIR}/man/quarlex.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quarlex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quarlex developers <quarlex@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch keyword search in files, with a Chinese interface")
set(CPACK_PACKAGE_DESCRIPTION "Quarlex searches many files at once for one keyword and reports\n every file that holds it, with a short excerpt around the first occurrence.\n It reads GBK, UTF-8 and UTF-16 text and files of any size.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# The language data text recognition reads (Simplified Chinese and English by default, Traditional
# Chinese beside them), and Qt's TIFF and WebP readers for pictures of those formats.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, fonts-arphic-ukai, fonts-wqy-microhei | fonts-noto-cjk, tesseract-ocr-chi-sim, tesseract-ocr-chi-tra, tesseract-ocr-eng, qt6-image-formats-plugins")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
