# Fuzz targets for the Chromium SQL backend's row judgement (response info,
# key and blob ranges, no SQLite) and for the sparse range assembler.
tessarine_add_fuzzer(fuzz_sql_headers ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_sql_headers.cpp tessarine_platform)
tessarine_add_fuzzer(fuzz_sparse_ranges ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_sparse_ranges.cpp tessarine_platform)
