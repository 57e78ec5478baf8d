# Optional peer for bench_aspect: libavutil's av_d2q and av_rescale, linked
# only when pkg-config finds them.
find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  pkg_check_modules(REEL_AVUTIL QUIET IMPORTED_TARGET libavutil)
  if(REEL_AVUTIL_FOUND)
    target_link_libraries(${name} PRIVATE PkgConfig::REEL_AVUTIL)
    target_compile_definitions(${name} PRIVATE REEL_HAVE_AVUTIL=1)
  endif()
endif()
