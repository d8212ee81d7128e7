# Everything a Linux desktop expects beside the programs: the manual pages, the bash completion of
# quarrytab-cli, the AppStream metadata, and the Debian package that carries them all (`cpack`
# in the build folder, or `./dev package`). The programs, Samples, icons and desktop entry are
# installed by app/ and cli/.
if(NOT UNIX OR APPLE)
  return()
endif()

set(QUARRYTAB_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(QUARRYTAB_GENERATED_DIR ${CMAKE_BINARY_DIR}/packaging)
set(QUARRYTAB_MAINTAINER "Quarrytab developers <support@quarrytab.example>")
set(QUARRYTAB_APPSTREAM_ID "example.quarrytab.Quarrytab")
# The folder the window runs from once installed, named in its manual page.
get_directory_property(program_dir DIRECTORY app DEFINITION QUARRYTAB_PROGRAM_DIR)
set(QUARRYTAB_PROGRAM_PATH /usr/${program_dir})
# Dates in the manuals, the changelog and the metadata are those of SOURCE_DATE_EPOCH, by default
# the time of the last commit, so building the same commit again gives the same package.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  find_package(Git QUIET)
  if(Git_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(commit_time MATCHES "^[0-9]+$")
      set(ENV{SOURCE_DATE_EPOCH} ${commit_time})
    endif()
  endif()
endif()
string(TIMESTAMP QUARRYTAB_SOURCE_DATE "%s" UTC)
string(TIMESTAMP QUARRYTAB_RELEASE_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP QUARRYTAB_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)

find_program(QUARRYTAB_GZIP gzip REQUIRED)
find_program(QUARRYTAB_HELP2MAN help2man)

# Manual pages, compressed as Debian keeps them.
set(manuals ${QUARRYTAB_GENERATED_DIR}/quarrytab.1.gz)
configure_file(${QUARRYTAB_PACKAGING_DIR}/quarrytab.1.in ${QUARRYTAB_GENERATED_DIR}/quarrytab.1 @ONLY)
add_custom_command(
  OUTPUT ${QUARRYTAB_GENERATED_DIR}/quarrytab.1.gz
  COMMAND ${QUARRYTAB_GZIP} -9nkf ${QUARRYTAB_GENERATED_DIR}/quarrytab.1
  DEPENDS ${QUARRYTAB_GENERATED_DIR}/quarrytab.1
  COMMENT "Compressing the manual page of quarrytab"
  VERBATIM)
# quarrytab-cli's manual is its --help, so it lists every option the program has.
if(QUARRYTAB_HELP2MAN)
  list(APPEND manuals ${QUARRYTAB_GENERATED_DIR}/quarrytab-cli.1.gz)
  add_custom_command(
    OUTPUT ${QUARRYTAB_GENERATED_DIR}/quarrytab-cli.1.gz
    COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${QUARRYTAB_SOURCE_DATE}
            ${QUARRYTAB_HELP2MAN} --no-info --no-discard-stderr
            --name "convert delimited text files into SQL statements"
            --include ${QUARRYTAB_PACKAGING_DIR}/quarrytab-cli.h2m
            --output ${QUARRYTAB_GENERATED_DIR}/quarrytab-cli.1 $<TARGET_FILE:quarrytab-cli>
    COMMAND ${QUARRYTAB_GZIP} -9nkf ${QUARRYTAB_GENERATED_DIR}/quarrytab-cli.1
    DEPENDS quarrytab-cli ${QUARRYTAB_PACKAGING_DIR}/quarrytab-cli.h2m
    COMMENT "Writing the manual page of quarrytab-cli from its --help"
    VERBATIM)
else()
  message(WARNING "help2man not found: quarrytab-cli will have no manual page")
endif()

# The completion, from the same --help.
set(QUARRYTAB_COMPLETION ${QUARRYTAB_GENERATED_DIR}/quarrytab-cli.bash)
add_custom_command(
  OUTPUT ${QUARRYTAB_COMPLETION}
  COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:quarrytab-cli> -DOUTPUT=${QUARRYTAB_COMPLETION}
          -P ${QUARRYTAB_PACKAGING_DIR}/bash_completion.cmake
  DEPENDS quarrytab-cli ${QUARRYTAB_PACKAGING_DIR}/bash_completion.cmake
  COMMENT "Writing the bash completion of quarrytab-cli from its --help"
  VERBATIM)

# The package's changelog: Debian wants one, and the version is the project's.
configure_file(${QUARRYTAB_PACKAGING_DIR}/changelog.in ${QUARRYTAB_GENERATED_DIR}/changelog @ONLY)
add_custom_command(
  OUTPUT ${QUARRYTAB_GENERATED_DIR}/changelog.gz
  COMMAND ${QUARRYTAB_GZIP} -9nkf ${QUARRYTAB_GENERATED_DIR}/changelog
  DEPENDS ${QUARRYTAB_GENERATED_DIR}/changelog
  VERBATIM)

# The copyright file: the project's licence (LICENSE at the top) and that of the font the window
# carries.
set(project_license ${PROJECT_SOURCE_DIR}/LICENSE)
set(font_license ${PROJECT_SOURCE_DIR}/app/resources/fonts/OFL.txt)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${project_license} ${font_license})
file(READ ${project_license} QUARRYTAB_LICENSE)
file(READ ${font_license} QUARRYTAB_FONT_LICENSE)
configure_file(${QUARRYTAB_PACKAGING_DIR}/copyright.in ${QUARRYTAB_GENERATED_DIR}/copyright @ONLY)

configure_file(${QUARRYTAB_PACKAGING_DIR}/quarrytab.metainfo.xml.in
               ${QUARRYTAB_GENERATED_DIR}/${QUARRYTAB_APPSTREAM_ID}.metainfo.xml @ONLY)

add_custom_target(quarrytab_packaging ALL
  DEPENDS ${manuals} ${QUARRYTAB_COMPLETION} ${QUARRYTAB_GENERATED_DIR}/changelog.gz)

install(FILES ${manuals} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${QUARRYTAB_COMPLETION} DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME quarrytab-cli)
install(FILES ${QUARRYTAB_GENERATED_DIR}/${QUARRYTAB_APPSTREAM_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${QUARRYTAB_GENERATED_DIR}/copyright ${QUARRYTAB_GENERATED_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quarrytab)

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quarrytab)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Velmora)
set(CPACK_PACKAGE_CONTACT ${QUARRYTAB_MAINTAINER})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://quarrytab.example/)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the programs need that they do not link: the window is drawn through one of Qt's platform
# plugins. The font its layout needs is compiled into it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turn delimited text files into SQL statements")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Quarrytab turns delimited text files (CSV, TSV, semicolon-separated or any
other delimiter) into SQL statements: for each file an optional CREATE TABLE
from its first line, then one INSERT INTO for every non-blank line, each value
a quoted SQL literal. The bytes of every value are written as they were read,
whatever the file's encoding.
.
The package holds the window, quarrytab, and the command-line converter,
quarrytab-cli, which share one conversion engine.")
include(CPack)

# The package's checks run from the release build; a sanitizer build would only repeat them.
if(QUARRYTAB_BUILD_TESTS AND NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize")
  set(check ${PROJECT_SOURCE_DIR}/tests/package/check_package.sh)
  set(package_dir ${CMAKE_BINARY_DIR}/package)
  add_test(NAME package.builds
           COMMAND ${check} build ${CMAKE_BINARY_DIR}/CPackConfig.cmake ${package_dir} ${PROJECT_VERSION})
  add_test(NAME package.lintian_finds_no_errors COMMAND ${check} lint ${package_dir})
  add_test(NAME package.desktop_and_appstream_metadata_valid
           COMMAND ${check} metadata ${package_dir} ${PROJECT_VERSION})
  add_test(NAME package.unpacked_programs_run COMMAND ${check} run ${package_dir} ${PROJECT_VERSION})
  add_test(NAME package.bash_completes_every_option COMMAND ${check} complete ${package_dir})
  set_tests_properties(package.builds PROPERTIES FIXTURES_SETUP quarrytab_deb)
  set_tests_properties(package.lintian_finds_no_errors package.desktop_and_appstream_metadata_valid
                       package.unpacked_programs_run package.bash_completes_every_option
                       PROPERTIES FIXTURES_REQUIRED quarrytab_deb)
endif()
