# Path: rasterization of random paths, with the scan converters compiled in so that
# the fast one is checked against the reference.
tessera_fuzz_target(path_raster
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/path_raster.cpp ${PROJECT_SOURCE_DIR}/path/Path.cpp
          ${PROJECT_SOURCE_DIR}/path/Flatten.cpp ${PROJECT_SOURCE_DIR}/path/Raster.cpp
          ${PROJECT_SOURCE_DIR}/path/ScanReference.cpp
  LINK platform
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/path_raster)
