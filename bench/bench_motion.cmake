# Optional peers for the motion and keying benchmarks: OpenCV (warps and the
# alpha blend) and libavfilter (chroma, colour and luma keys with overlay),
# linked only when found.
find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  pkg_check_modules(REEL_MOTION_OPENCV QUIET IMPORTED_TARGET opencv4)
  pkg_check_modules(REEL_MOTION_AVFILTER QUIET IMPORTED_TARGET libavfilter libavutil)
endif()
if(REEL_MOTION_OPENCV_FOUND)
  target_link_libraries(${name} PRIVATE PkgConfig::REEL_MOTION_OPENCV)
  target_compile_definitions(${name} PRIVATE REEL_BENCH_OPENCV)
endif()
if(REEL_MOTION_AVFILTER_FOUND)
  target_link_libraries(${name} PRIVATE PkgConfig::REEL_MOTION_AVFILTER)
  target_compile_definitions(${name} PRIVATE REEL_BENCH_AVFILTER)
endif()
