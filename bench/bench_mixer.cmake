# The mixer benchmarks: libavfilter's amix in-process when found, and
# reelhost (with the WAV importer beside it) against sox, both run as programs.
find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  pkg_check_modules(REEL_PEER_AVFILTER QUIET IMPORTED_TARGET libavfilter libavutil)
endif()
if(REEL_PEER_AVFILTER_FOUND)
  target_link_libraries(${name} PRIVATE PkgConfig::REEL_PEER_AVFILTER)
  target_compile_definitions(${name} PRIVATE REEL_BENCH_AVFILTER)
endif()
add_dependencies(${name} reelhost reel_samples)
target_compile_definitions(${name} PRIVATE REEL_BENCH_REELHOST="$<TARGET_FILE:reelhost>")
