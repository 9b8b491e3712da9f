# ComputeCRC on a 1 GiB cached file, beside zlib's crc32 of the same file.
# The kernels are internal to the library; the bench compiles them in to time each.
tessera_bench(crc_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/crc_bench.cpp ${PROJECT_SOURCE_DIR}/crc/crc_kernels.cpp
          ${PROJECT_SOURCE_DIR}/crc/crc_kernels_clmul.cpp
  LINK CRC)
find_package(ZLIB)
if(ZLIB_FOUND)
  target_link_libraries(crc_bench PRIVATE ZLIB::ZLIB)
  target_compile_definitions(crc_bench PRIVATE CRC_BENCH_HAVE_ZLIB=1)
else()
  message(STATUS "crc_bench: zlib not found, its crc32 peer is left out (install zlib1g-dev)")
endif()
