# Fuzz target for the Chromium blockfile container: input bytes patched
# into a copy of the blockfile fixture (index or a block file).
tessarine_add_fuzzer(fuzz_chromium_blockfile ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_chromium_blockfile.cpp tessarine_platform)
target_compile_definitions(fuzz_chromium_blockfile PRIVATE
  TESSARINE_FUZZ_DATA="${PROJECT_SOURCE_DIR}/tests/data")
