# The Debian package, made by `cpack -G DEB` in a build configured with -DONDELIS_PACKAGE=ON
# (scripts/package.sh does both). It holds the program stripped, the bash completion, the
# manual page and the changelog compressed with `gzip -9n`, and the copyright file. Included
# from CMakeLists.txt after the program's own install rules.

find_program(ONDELIS_GZIP gzip REQUIRED)
find_program(ONDELIS_DPKG_ARCHITECTURE dpkg-architecture REQUIRED)
# CPack leaves Depends out, with no more than a warning, when this is missing (dpkg-dev).
find_program(ONDELIS_DPKG_SHLIBDEPS dpkg-shlibdeps REQUIRED)

# The changelog names the version too: refuse to package it stale.
file(STRINGS packaging/changelog ondelis_changelog_top LIMIT_COUNT 1)
if(NOT ondelis_changelog_top MATCHES "^ondelis \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog does not begin with version ${PROJECT_VERSION}")
endif()

# Compressed copies, made at build time; -n keeps name and time out, so they are reproducible.
set(ondelis_package_dir ${CMAKE_CURRENT_BINARY_DIR}/package)
set(ondelis_compressed)
foreach(source ${CMAKE_CURRENT_BINARY_DIR}/ondelis.1 ${CMAKE_CURRENT_SOURCE_DIR}/packaging/changelog)
  get_filename_component(name ${source} NAME)
  add_custom_command(
    OUTPUT ${ondelis_package_dir}/${name}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${ondelis_package_dir}/${name}
    COMMAND ${ONDELIS_GZIP} -9nf ${ondelis_package_dir}/${name}
    DEPENDS ${source}
    COMMENT "Compressing ${name}"
    VERBATIM)
  list(APPEND ondelis_compressed ${ondelis_package_dir}/${name}.gz)
endforeach()
add_custom_target(ondelis_package_docs ALL DEPENDS ${ondelis_compressed})

# Stripped as dh_strip strips a program: no symbols, no compiler notes.
install(CODE "execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
  \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:ondelis>\"
  COMMAND_ERROR_IS_FATAL ANY)")
install(FILES ${ondelis_package_dir}/ondelis.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${ondelis_package_dir}/changelog.gz packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The architecture the compiler builds for (a cross compiler's too), in Debian's words.
execute_process(COMMAND ${ONDELIS_DPKG_ARCHITECTURE} -f -t ${CMAKE_LIBRARY_ARCHITECTURE} -qDEB_HOST_ARCH
                OUTPUT_VARIABLE ondelis_architecture OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ondelis)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the Ondelis authors")
set(CPACK_PACKAGE_CONTACT "Ondelis developers <ondelis@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "sine reference tone for tuning musical instruments")
set(CPACK_PACKAGE_DESCRIPTION
    "Ondelis plays a pure sine tone through ALSA for tuning an instrument by ear:
a note counted from A = 440 Hz or another reference pitch, an exact frequency,
or a string of a guitar or a bass. It plays one tone straight from the command
line, or offers an interactive menu that also reads a whole session from a
pipe, and it can write the tone to a 24-bit WAV file. It also reads the pitch
of a recording and names the note and how many cents it is off, in any of its
tunings.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${ondelis_architecture})
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CPACK_PACKAGE_CONTACT})
# Depends: the packages of the shared libraries the program links, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
