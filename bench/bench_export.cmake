# The export benchmarks load the sample exporters; their peers are FFmpeg's
# muxers and PNG encoder in-process (libavformat, libavcodec) and `melt`,
# each used only when found.
add_dependencies(${name} exp-avi exp-wav exp-png)
target_compile_definitions(${name} PRIVATE REEL_EXP_AVI="$<TARGET_FILE:exp-avi>"
                                           REEL_EXP_WAV="$<TARGET_FILE:exp-wav>"
                                           REEL_EXP_PNG="$<TARGET_FILE:exp-png>")
find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  pkg_check_modules(REEL_PEER_AVFORMAT QUIET IMPORTED_TARGET libavformat libavcodec libavutil)
endif()
if(REEL_PEER_AVFORMAT_FOUND)
  target_link_libraries(${name} PRIVATE PkgConfig::REEL_PEER_AVFORMAT)
  target_compile_definitions(${name} PRIVATE REEL_BENCH_AVFORMAT)
endif()
find_program(REEL_PEER_MELT melt)
if(REEL_PEER_MELT)
  target_compile_definitions(${name} PRIVATE REEL_BENCH_MELT="${REEL_PEER_MELT}")
endif()
