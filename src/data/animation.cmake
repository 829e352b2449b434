# The animation tracks: an artist's show built from an analysed instrument track.
add_library(tavro_animation STATIC ${CMAKE_CURRENT_LIST_DIR}/animation_track.cpp)
target_include_directories(tavro_animation PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(tavro_animation PUBLIC tavro_artists tavro_data)
