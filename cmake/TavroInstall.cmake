# cmake --install build/<preset> --prefix PREFIX: the program in the usual Linux layout.
#   bin/                      tavro, tavro-render, tavro-inspect
#   lib/tavro/                the player module audio.so and the crowd engine libovatix.so
#   share/tavro/              the data folders (config, artists, styles, help, demo)
#   share/applications/       the desktop entry
#   share/metainfo/           the software catalogue entry (AppStream)
#   share/doc/tavro/          the copyright, the change log and rendering on many machines
#   share/mime/packages/      the MIME description of .kesh projects
#   share/icons/hicolor/      the icon as SVG and PNG sizes
#   share/man/man1/           the man pages, compressed
# The programs find share/tavro and lib/tavro from their own folder (../share/tavro,
# ../lib/tavro), so the prefix can be anywhere; nothing of ours is linked as a shared library.
# Installed files are 0644 and folders 0755: readable by all, and removable by the owner of a
# user-owned prefix. The programs never write there (the profile goes to ~/.config/tavro).
set(TAVRO_FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
set(TAVRO_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
    WORLD_READ WORLD_EXECUTE)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${TAVRO_DIRECTORY_PERMISSIONS})

foreach(program IN ITEMS tavro tavro-render tavro-inspect)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
# The modules are opened by path, never through the loader's search, so no RPATH is needed.
foreach(module IN ITEMS tavro_audio ovatix)
  if(TARGET ${module})
    install(TARGETS ${module} LIBRARY DESTINATION lib/tavro PERMISSIONS ${TAVRO_FILE_PERMISSIONS})
  endif()
endforeach()

install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/ DESTINATION ${CMAKE_INSTALL_DATADIR}/tavro
        FILE_PERMISSIONS ${TAVRO_FILE_PERMISSIONS}
        DIRECTORY_PERMISSIONS ${TAVRO_DIRECTORY_PERMISSIONS})

if(TARGET tavro)
  install(FILES ${PROJECT_SOURCE_DIR}/dist/tavro.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/dist/tavro-mime.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME tavro.xml)
  install(FILES ${PROJECT_SOURCE_DIR}/dist/org.quillon.Tavro.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  set(icons ${PROJECT_SOURCE_DIR}/src/gui/skin)
  install(FILES ${icons}/tavro.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  foreach(size IN ITEMS 16 32 48 64 128 256)
    install(FILES ${icons}/tavro-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME tavro.png)
  endforeach()
endif()

# The man pages carry the project version and go in compressed (gzip -9n: no name or time in the
# header, so the same sources give the same bytes), as does the change log.
set(TAVRO_GENERATED_DOC ${CMAKE_BINARY_DIR}/generated/doc)
file(MAKE_DIRECTORY ${TAVRO_GENERATED_DOC})
function(tavro_install_compressed source destination name)
  file(READ ${source} text)
  string(REGEX REPLACE "\"Tavro [0-9][0-9.]*\"" "\"Tavro ${PROJECT_VERSION}\"" text "${text}")
  file(WRITE ${TAVRO_GENERATED_DOC}/${name} "${text}")
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  execute_process(COMMAND gzip -9nf ${TAVRO_GENERATED_DOC}/${name} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "cannot compress ${name} with gzip")
  endif()
  install(FILES ${TAVRO_GENERATED_DOC}/${name}.gz DESTINATION ${destination}
          PERMISSIONS ${TAVRO_FILE_PERMISSIONS})
endfunction()
foreach(page IN LISTS TAVRO_MAN_PAGES)
  get_filename_component(name ${page} NAME)
  tavro_install_compressed(${PROJECT_SOURCE_DIR}/${page} ${CMAKE_INSTALL_MANDIR}/man1 ${name})
endforeach()
tavro_install_compressed(${PROJECT_SOURCE_DIR}/dist/changelog ${CMAKE_INSTALL_DATADIR}/doc/tavro
                         changelog)
install(FILES ${PROJECT_SOURCE_DIR}/dist/copyright ${PROJECT_SOURCE_DIR}/docs/render-farm.md
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tavro PERMISSIONS ${TAVRO_FILE_PERMISSIONS})

# The change log and the catalogue entry name the release being built: one version, in
# project(), and a release note for it in both.
file(STRINGS ${PROJECT_SOURCE_DIR}/dist/changelog first LIMIT_COUNT 1)
file(READ ${PROJECT_SOURCE_DIR}/dist/org.quillon.Tavro.metainfo.xml metainfo)
string(REGEX MATCH "<release version=\"([^\"]*)\"" release "${metainfo}")
set(release ${CMAKE_MATCH_1})
if(NOT first MATCHES "^tavro \\(${PROJECT_VERSION}\\)" OR NOT release STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "dist/changelog and dist/org.quillon.Tavro.metainfo.xml must begin with a "
                      "release entry for version ${PROJECT_VERSION}")
endif()
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/dist/org.quillon.Tavro.metainfo.xml)
