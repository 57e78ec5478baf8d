# The filter and transition samples the effect benchmarks load, and OpenCV
# (addWeighted) as the dissolve's peer when found. frei0r's tint0r is loaded
# at run time when installed.
target_compile_definitions(${name} PRIVATE REEL_EFFECT_SAMPLES_DIR="${REEL_EFFECT_SAMPLES_DIR}")
target_link_libraries(${name} PRIVATE ${CMAKE_DL_LIBS})
add_dependencies(${name} vf-tint fx-dissolve)
find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  pkg_check_modules(REEL_EFFECTS_OPENCV QUIET IMPORTED_TARGET opencv4)
endif()
if(REEL_EFFECTS_OPENCV_FOUND)
  target_link_libraries(${name} PRIVATE PkgConfig::REEL_EFFECTS_OPENCV)
  target_compile_definitions(${name} PRIVATE REEL_BENCH_OPENCV)
endif()
