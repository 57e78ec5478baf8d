# The render benchmark loads the synthetic and still importers and the
# dissolve and tint samples; its peers are libavfilter in-process and `melt`,
# each used only when found.
add_dependencies(${name} reel_samples)
target_compile_definitions(${name} PRIVATE REEL_MEDIA_SAMPLES_DIR="${REEL_MEDIA_SAMPLES_DIR}"
                                           REEL_EFFECT_SAMPLES_DIR="${REEL_EFFECT_SAMPLES_DIR}")
find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  pkg_check_modules(REEL_RENDER_AVFILTER QUIET IMPORTED_TARGET libavfilter libavutil)
endif()
if(REEL_RENDER_AVFILTER_FOUND)
  target_link_libraries(${name} PRIVATE PkgConfig::REEL_RENDER_AVFILTER)
  target_compile_definitions(${name} PRIVATE REEL_BENCH_AVFILTER)
endif()
find_program(REEL_PEER_MELT melt)
if(REEL_PEER_MELT)
  target_compile_definitions(${name} PRIVATE REEL_BENCH_MELT="${REEL_PEER_MELT}")
endif()
