# The FFmpeg importer module through the library, when it is built: the
# benchmark registers it from its folder as a host does.
if(TARGET ffmpeg-import)
  add_dependencies(${name} ffmpeg-import)
  target_compile_definitions(${name} PRIVATE REEL_BENCH_FFIMPORT
                                             REEL_FFMPEG_DIR="${REEL_FFMPEG_DIR}")
endif()
