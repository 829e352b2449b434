# cpack -G DEB in a build folder (or scripts/package) makes tavro_<version>_amd64.deb from the
# install rules: the programs in /usr/bin, the modules in /usr/lib/tavro, the data in
# /usr/share/tavro. Its dependencies are what dpkg-shlibdeps finds the binaries linked against,
# plus ffmpeg (videos) and the General MIDI SoundFont the synthesizer plays by default.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavro)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Quillon)
set(CPACK_PACKAGE_CONTACT "Quillon <tavro@quillon.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "MIDI songs played as an animated stage show")
# The long description (the summary above is its first line); CPack indents it and turns the
# empty line into the control file's paragraph mark.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tavro plays a MIDI song through a synthesizer while a band of sprite
musicians walks on, plays, rests, takes solos and walks off in step with
the music, under stage lights, with crowd sounds, karaoke lyrics, a mixer,
playlists and project files that record a light show.

tavro-render makes videos of songs, or of whole collections, without a
window or a sound card; tavro-inspect shows what is read from a MIDI file.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tavro.quillon.example/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_INSTALL_PREFIX}/lib/tavro)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "ffmpeg, fluid-soundfont-gm")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${TAVRO_DIRECTORY_PERMISSIONS})
include(CPack)
