# One static library per layer of src/ (docs/architecture.md), each linking only the layers
# below it: code that calls into a layer above its own fails to link (tests/layers links every
# library whole into an empty program), as its include fails scripts/check-layers. A library
# takes every .cpp of its folder, so a new file needs no edit here. All share the include root
# src/ and name headers by folder ("dbf/value.h"); which headers a layer may use is the
# business of scripts/check-layers. The Qt windows (quarvel_gui) are defined beside the
# programs in the top-level file.

set(QUARVEL_LAYER_LIBRARIES)

# quarvel_layer(TARGET FOLDER [LOWER_LAYER...])
function(quarvel_layer target folder)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${folder}/*.cpp)
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  if(ARGN)
    target_link_libraries(${target} PUBLIC ${ARGN})
  endif()
  target_compile_options(${target} PRIVATE ${QUARVEL_WARNINGS})
  set(QUARVEL_LAYER_LIBRARIES ${QUARVEL_LAYER_LIBRARIES} ${target} PARENT_SCOPE)
endfunction()

# The engine.
quarvel_layer(quarvel_platform platform)
quarvel_layer(quarvel_dbf dbf quarvel_platform)
quarvel_layer(quarvel_expr expr quarvel_dbf)
quarvel_layer(quarvel_index index quarvel_expr)
quarvel_layer(quarvel_handler handler quarvel_index)
# The application.
quarvel_layer(quarvel_dataset dataset quarvel_handler)
quarvel_layer(quarvel_config config quarvel_platform)
quarvel_layer(quarvel_exchange exchange quarvel_dataset quarvel_config)
quarvel_layer(quarvel_app app quarvel_exchange)

# The whole engine and the whole application library, for the benchmarks and fuzz targets that
# drive them from the top.
add_library(dbengine INTERFACE)
target_link_libraries(dbengine INTERFACE quarvel_handler)
add_library(quarvel INTERFACE)
target_link_libraries(quarvel INTERFACE quarvel_app)
