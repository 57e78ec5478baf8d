# The peer of the PNG writer: FFmpeg's PNG encoder (what `ffmpeg -c:v png`
# runs), linked only when found.
find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  pkg_check_modules(REEL_PEER_AVCODEC QUIET IMPORTED_TARGET libavcodec libavutil)
endif()
if(REEL_PEER_AVCODEC_FOUND)
  target_link_libraries(${name} PRIVATE PkgConfig::REEL_PEER_AVCODEC)
  target_compile_definitions(${name} PRIVATE REEL_BENCH_AVCODEC)
endif()
