# ConvertImage throughput against memcpy of the output bytes.
tessera_bench(io_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/io_bench.cpp LINK IO)
