# What a package of Marvane holds besides the programs, and how CPack builds the Debian package:
#   cpack --config build/CPackConfig.cmake -G DEB     (or scripts/package.sh)
include(GNUInstallDirs)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The demo show, opened with "marvane /usr/share/marvane/demo/Demo.mvl".
install(FILES
            ${MARVANE_SOURCE_ROOT}/examples/demo/Demo.mvl
            ${MARVANE_SOURCE_ROOT}/examples/demo/Demo.json
            ${MARVANE_SOURCE_ROOT}/examples/demo/doorbell.wav
            ${MARVANE_SOURCE_ROOT}/examples/demo/music.wav
            ${MARVANE_SOURCE_ROOT}/examples/demo/rain.wav
            ${MARVANE_SOURCE_ROOT}/examples/demo/thunder.wav
        DESTINATION ${CMAKE_INSTALL_DATADIR}/marvane/demo)

# The copyright and the changelog, where Debian policy wants them; the changelog's newest entry
# must name the project's version.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^marvane \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "packaging/changelog: the newest entry must be for version "
                        "${PROJECT_VERSION}, found: ${changelog_head}")
endif()
set(changelog_gz ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(
    OUTPUT ${changelog_gz}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    COMMAND sh -c "gzip -9nc '${CMAKE_CURRENT_LIST_DIR}/changelog' > '${changelog_gz}'"
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/changelog
    VERBATIM)
add_custom_target(marvane_changelog ALL DEPENDS ${changelog_gz})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${changelog_gz}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/marvane)

# Packaging installs what scripts/package.sh built, without building the tests first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME marvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Veldmark Software")
set(CPACK_PACKAGE_CONTACT "Veldmark Software <marvane@veldmark.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "sound cue player for live theatre shows")
# CPack puts the summary first and indents the rest as Debian's extended description.
set(CPACK_PACKAGE_DESCRIPTION
"Marvane plays the sound effects of a live performance. The operator
builds a cue list of sound files, each with how it plays and on which
output device, and during the show presses Go to fire the highlighted
cue. Single keys fade, kill, speed up, slow down and change the volume
of what is sounding, and Escape silences everything.

marvane-cli reads and writes cue lists as JSON, renders cues into WAV
files and prints cue lists into PDF files.")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded as Qt plugins, which the programs do not link: the SVG toolbar and program icons.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pulseaudio | pipewire-pulse")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "jackd2")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR})
include(CPack)
