# The export benchmarks load the sample importers and exporters from their
# plug-in folders and run reelhost; their peers are FFmpeg's muxers and PNG
# encoder in-process (libavformat, libavcodec) and `melt`, each used only
# when found.
add_dependencies(${name} reel_samples reelhost)
target_compile_definitions(${name} PRIVATE REEL_MEDIA_PLUGINS="${REEL_MEDIA_SAMPLES_DIR}"
                                           REEL_EXPORT_PLUGINS="${REEL_EXPORT_SAMPLES_DIR}"
                                           REEL_BENCH_REELHOST="$<TARGET_FILE:reelhost>")
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
