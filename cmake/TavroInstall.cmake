# cmake --install build/<preset> --prefix PREFIX: the program in the usual Linux layout.
#   bin/                      tavro, tavro-render, tavro-inspect
#   lib/tavro/                the player module audio.so and the crowd engine libovatix.so
#   share/tavro/              the data folders (config, artists, styles, help, demo), read-only
#   share/applications/       the desktop entry
#   share/mime/packages/      the MIME description of .kesh projects
#   share/icons/hicolor/      the icon as SVG and PNG sizes
#   share/man/man1/           the man pages
# The programs find share/tavro and lib/tavro from their own folder (../share/tavro,
# ../lib/tavro), so the prefix can be anywhere; nothing of ours is linked as a shared library.
set(TAVRO_READ_ONLY OWNER_READ GROUP_READ WORLD_READ)
set(TAVRO_EXECUTABLE OWNER_READ OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# Folders keep the owner's write bit (755), so that whoever installed the program can remove it;
# the files in them stay read-only.
set(TAVRO_FOLDER OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
                 WORLD_EXECUTE)

foreach(program IN ITEMS tavro tavro-render tavro-inspect)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
# The modules are opened by path, never through the loader's search, so no RPATH is needed.
foreach(module IN ITEMS tavro_audio ovatix)
  if(TARGET ${module})
    install(TARGETS ${module} LIBRARY DESTINATION lib/tavro PERMISSIONS ${TAVRO_EXECUTABLE})
  endif()
endforeach()

install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/ DESTINATION ${CMAKE_INSTALL_DATADIR}/tavro
        FILE_PERMISSIONS ${TAVRO_READ_ONLY}
        DIRECTORY_PERMISSIONS ${TAVRO_FOLDER})

if(TARGET tavro)
  install(FILES ${PROJECT_SOURCE_DIR}/dist/tavro.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/dist/tavro-mime.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME tavro.xml)
  set(icons ${PROJECT_SOURCE_DIR}/src/gui/skin)
  install(FILES ${icons}/tavro.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  foreach(size IN ITEMS 16 32 48 64 128 256)
    install(FILES ${icons}/tavro-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME tavro.png)
  endforeach()
endif()
