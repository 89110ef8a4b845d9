# CLD2, the offline language detector the program links statically, built from its
# sources with the program's own toolchain. CLIPVOCE_CLD2_SOURCE is a CLD2 source tree,
# the folder that holds public/ and internal/. On Debian the configure step fetches it
# from Debian's own "cld2" source package (libs/cld2/fetch.sh, into build/cld2/src); on
# Windows point it at a tree of the same upstream version (README.md).
set(CLIPVOCE_CLD2_SOURCE "${CMAKE_BINARY_DIR}/cld2/src" CACHE PATH "CLD2 source tree (the folder that holds public/ and internal/)")
if(CMAKE_HOST_UNIX AND NOT EXISTS "${CLIPVOCE_CLD2_SOURCE}/internal/compact_lang_det.cc"
   AND CLIPVOCE_CLD2_SOURCE STREQUAL "${CMAKE_BINARY_DIR}/cld2/src")
  message(STATUS "Fetching CLD2's sources into ${CMAKE_BINARY_DIR}/cld2")
  execute_process(COMMAND bash ${CMAKE_SOURCE_DIR}/libs/cld2/fetch.sh ${CMAKE_BINARY_DIR}/cld2 RESULT_VARIABLE cld2_fetched)
  if(NOT cld2_fetched EQUAL 0)
    message(FATAL_ERROR "Fetching CLD2 from Debian's source package failed (see above)")
  endif()
endif()
if(NOT EXISTS "${CLIPVOCE_CLD2_SOURCE}/internal/compact_lang_det.cc")
  message(FATAL_ERROR "CLD2 sources not found in '${CLIPVOCE_CLD2_SOURCE}': set CLIPVOCE_CLD2_SOURCE to a CLD2 "
                      "source tree (README.md, \"Building on Windows\")")
endif()

# The library as upstream builds it with the smaller, "chrome" tables: 83 languages,
# about 2 MB of code and data.
set(cld2_files
  cldutil.cc cldutil_shared.cc compact_lang_det.cc compact_lang_det_hint_code.cc
  compact_lang_det_impl.cc debug_empty.cc fixunicodevalue.cc
  generated_entities.cc generated_language.cc generated_ulscript.cc
  getonescriptspan.cc lang_script.cc offsetmap.cc scoreonescriptspan.cc
  tote.cc utf8statetable.cc
  cld_generated_cjk_uni_prop_80.cc cld2_generated_cjk_compatible.cc
  cld_generated_cjk_delta_bi_4.cc generated_distinct_bi_0.cc
  cld2_generated_quadchrome_2.cc cld2_generated_deltaoctachrome.cc
  cld2_generated_distinctoctachrome.cc cld_generated_score_quad_octa_2.cc)
list(TRANSFORM cld2_files PREPEND "${CLIPVOCE_CLD2_SOURCE}/internal/")
add_library(cld2 STATIC ${cld2_files})
# Its own code is written for C++98 and is not ours to clean of warnings.
set_target_properties(cld2 PROPERTIES CXX_STANDARD 98 CXX_EXTENSIONS OFF)
target_compile_options(cld2 PRIVATE -w)
target_include_directories(cld2 SYSTEM INTERFACE "${CLIPVOCE_CLD2_SOURCE}/public")
set(CLIPVOCE_CLD2_LICENCE "${CLIPVOCE_CLD2_SOURCE}/LICENSE")
