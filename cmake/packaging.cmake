# Installation of the shared libraries, the manual page, the Debian
# changelog and copyright file, and the Debian package (CPack).

# The libraries the program loads: they find each other in their own folder.
# (The program loads the device library by name: --device chooses another.)
# All of them, and the program, are linked with "bind now", so that the
# relocations made read-only after loading cover the whole offset table.
foreach(lib TorvelPlatform TorvelLib TorvelAPI)
    set_target_properties(${lib} PROPERTIES INSTALL_RPATH "$ORIGIN")
    target_link_options(${lib} PRIVATE LINKER:-z,relro,-z,now)
endforeach()
target_link_options(Torvel PRIVATE LINKER:-z,relro,-z,now)
install(TARGETS TorvelPlatform TorvelLib TorvelAPI
        LIBRARY DESTINATION ${TORVEL_PRIVATE_LIBDIR} NAMELINK_SKIP)
if(TORVEL_SOAPY)
    set_target_properties(TorvelSoapy PROPERTIES INSTALL_RPATH "$ORIGIN")
    target_link_options(TorvelSoapy PRIVATE LINKER:-z,relro,-z,now)
    install(TARGETS TorvelSoapy LIBRARY DESTINATION ${TORVEL_PRIVATE_LIBDIR} NAMELINK_SKIP)
endif()

# One line on what the program is: the package's summary and the manual
# page's name line.
set(TORVEL_SUMMARY "front end of a compact spectrum analyser")

# Debian wants the changelog and the manual page compressed with gzip -9n
# (no name, no time stamp, so the same input gives the same bytes).
find_program(TORVEL_GZIP gzip REQUIRED)
set(TORVEL_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/torvel)
function(torvel_gzip input output)
    add_custom_command(OUTPUT ${output}
                       COMMAND ${TORVEL_GZIP} -9n -c ${input} > ${output}
                       DEPENDS ${input} VERBATIM)
endfunction()
torvel_gzip(${CMAKE_SOURCE_DIR}/cmake/debian/changelog ${CMAKE_BINARY_DIR}/debian/changelog.gz)
set(TORVEL_PACKAGE_FILES ${CMAKE_BINARY_DIR}/debian/changelog.gz)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/debian ${CMAKE_BINARY_DIR}/man)
install(FILES ${CMAKE_BINARY_DIR}/debian/changelog.gz cmake/debian/copyright
        DESTINATION ${TORVEL_DOC_DIR})

# The manual page torvel(1) is made from the program's own --help and
# --version by help2man, with the sections of docs/torvel.h2m added, so every
# option the program lists is in the page. Without help2man there is no page
# (torvel.sh installs it; a package without the page fails lintian in CI).
# The instrumented trees (sanitizers, fuzzing) make no page: they are never
# packaged.
find_program(TORVEL_HELP2MAN help2man)
if(TORVEL_HELP2MAN AND NOT (TORVEL_SANITIZE OR TORVEL_FUZZ OR TORVEL_TSAN))
    set(TORVEL_MANPAGE ${CMAKE_BINARY_DIR}/man/torvel.1)
    add_custom_command(
        OUTPUT ${TORVEL_MANPAGE}
        COMMAND ${TORVEL_HELP2MAN} --no-info --no-discard-stderr --section=1
                --version-string=${PROJECT_VERSION}
                "--name=${TORVEL_SUMMARY}"
                --include=${CMAKE_SOURCE_DIR}/docs/torvel.h2m
                --output=${TORVEL_MANPAGE} $<TARGET_FILE:Torvel>
        DEPENDS Torvel ${CMAKE_SOURCE_DIR}/docs/torvel.h2m
        COMMENT "Manual page torvel(1) from torvel --help"
        VERBATIM)
    torvel_gzip(${TORVEL_MANPAGE} ${TORVEL_MANPAGE}.gz)
    list(APPEND TORVEL_PACKAGE_FILES ${TORVEL_MANPAGE}.gz)
    install(FILES ${TORVEL_MANPAGE}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
elseif(NOT TORVEL_HELP2MAN)
    message(STATUS "help2man not found: no manual page")
endif()
add_custom_target(torvel_package_files ALL DEPENDS ${TORVEL_PACKAGE_FILES})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME torvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Torvel developers")
set(CPACK_PACKAGE_CONTACT "Torvel developers <developers@torvel.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${TORVEL_SUMMARY})
# The extended description: lines of at most 80 characters, as Debian wants.
set(CPACK_PACKAGE_DESCRIPTION
    "Torvel drives a compact spectrum analyser through its device library and\n"
    "shows what it measures in analysis windows: swept spectrum, WLAN, zero\n"
    "span, spectrograms, medical channel monitor and two-path isolation.\n"
    "It ships with an analyser simulator.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The private libraries are part of the package; dpkg-shlibdeps looks there.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
# The binaries are stripped as Debian strips them; the package carries no
# debug symbols.
set(CPACK_TORVEL_STRIP ${CMAKE_STRIP})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/debian/strip.cmake)
# Lintian is told where documentation lies outside /usr/share/doc on purpose.
install(FILES cmake/debian/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME torvel)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
