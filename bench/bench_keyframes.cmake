# Filter modules the keyframe benchmark evaluates, built as resource-only
# modules: 16 doubles described by a PiPL's animation properties, and the
# same settings described by a FltD table. Optional peer: MLT's keyframe
# animation, linked only when pkg-config finds it.
set(anim_text "resource 'PiPL' 16000 {\n    int32 0 17\n    ostype 'Q7IM' 'aFLT'  int32 0 64\n")
string(APPEND anim_text "    int32 0 0 0 16  int32 0 0 0 0 0 0 0 0  int32 0 0 0 0\n")
foreach(i RANGE 0 15)
  string(APPEND anim_text "    ostype 'Q7IM' 'aPAR'  int32 ${i} 100\n")
  string(APPEND anim_text "    int32 ${i}  int32 0 0 0 0 0 0 0 0  int32 10 0 0 0 0  int32 0 0 0 0 0  int32 8 8  int32 0 0 0 0\n")
endforeach()
string(APPEND anim_text "}\n")
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/keys_anim16.rsrc CONTENT "${anim_text}")
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/keys_fltd16.rsrc
     CONTENT "resource 'FltD' 1 { int16 7 1 7 1 7 1 7 1 7 1 7 1 7 1 7 1 7 1 7 1 7 1 7 1 7 1 7 1 7 1 7 1 }\n")
reel_add_module(reel_bench_keys_anim RESOURCES ${CMAKE_CURRENT_BINARY_DIR}/keys_anim16.rsrc
                SUFFIX .fmx OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
reel_add_module(reel_bench_keys_fltd RESOURCES ${CMAKE_CURRENT_BINARY_DIR}/keys_fltd16.rsrc
                SUFFIX .fmx OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
add_dependencies(${name} reel_bench_keys_anim reel_bench_keys_fltd)
target_compile_definitions(${name} PRIVATE
  BENCH_KEYS_ANIM_MODULE="$<TARGET_FILE:reel_bench_keys_anim>"
  BENCH_KEYS_FLTD_MODULE="$<TARGET_FILE:reel_bench_keys_fltd>")

find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  pkg_check_modules(REEL_MLT QUIET IMPORTED_TARGET mlt-framework-7)
  if(REEL_MLT_FOUND)
    target_link_libraries(${name} PRIVATE PkgConfig::REEL_MLT)
    target_compile_definitions(${name} PRIVATE REEL_HAVE_MLT=1)
  endif()
endif()
