# JPEG and TIFF loading through the IO facade. Seeds: small files of every mode
# the codecs read, made with CIO and with libtiff (tiled, planar, LZW, palette).
tessera_fuzz_target(jpeg_load SOURCES ${CMAKE_CURRENT_LIST_DIR}/jpeg_load.cpp LINK IO
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/jpeg_load)
tessera_fuzz_target(tiff_load SOURCES ${CMAKE_CURRENT_LIST_DIR}/tiff_load.cpp LINK IO
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/tiff_load)
