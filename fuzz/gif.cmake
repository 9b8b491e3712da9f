# GIF reader fuzz targets. The library's sources are compiled into each target rather
# than linked from libtessera-gif, so that libFuzzer's coverage instrumentation (which
# the fuzz build applies to the targets only) sees the decoder.
set(gif_fuzz_sources ${PROJECT_SOURCE_DIR}/gif/GifIO.cpp ${PROJECT_SOURCE_DIR}/gif/lzw.cpp)
tessera_fuzz_target(gif_load SOURCES ${CMAKE_CURRENT_LIST_DIR}/gif_load.cpp ${gif_fuzz_sources}
  LINK image platform CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/gif)
tessera_fuzz_target(gif_animated SOURCES ${CMAKE_CURRENT_LIST_DIR}/gif_animated.cpp ${gif_fuzz_sources}
  LINK image platform CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/gif)
tessera_fuzz_target(gif_lzw SOURCES ${CMAKE_CURRENT_LIST_DIR}/gif_lzw.cpp ${PROJECT_SOURCE_DIR}/gif/lzw.cpp
  LINK image platform CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/gif_lzw)
