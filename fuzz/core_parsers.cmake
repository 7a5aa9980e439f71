# Fuzz targets for the parsers of outside data that need no sparse or
# blockfile reader: IE index.dat, Chromium simple cache, Firefox cache2,
# content decoders, INI files, SeFile.ini and the register.
set(TESSARINE_FUZZ_DATA "${PROJECT_SOURCE_DIR}/tests/data")
foreach(name
    fuzz_msie_index fuzz_chromium_simple_entry fuzz_chromium_response_info
    fuzz_firefox_entry fuzz_firefox_key fuzz_content_decoder)
  tessarine_add_fuzzer(${name} ${CMAKE_CURRENT_SOURCE_DIR}/${name}.cpp tessarine_platform)
  target_compile_definitions(${name} PRIVATE TESSARINE_FUZZ_DATA="${TESSARINE_FUZZ_DATA}")
endforeach()
foreach(name fuzz_profile_ini fuzz_sefile fuzz_register)
  tessarine_add_fuzzer(${name} ${CMAKE_CURRENT_SOURCE_DIR}/${name}.cpp tessarine_core)
endforeach()
