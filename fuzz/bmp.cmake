tessera_fuzz_target(bmp_load
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/bmp_load.cpp
  LINK Bmp image platform
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/bmp_load)
