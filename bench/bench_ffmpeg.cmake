# The FFmpeg importer's readers against the ffmpeg command doing the same
# work, when the importer is built.
if(TARGET reel_ffimport_code)
  target_link_libraries(${name} PRIVATE reel_ffimport_code)
  target_compile_definitions(${name} PRIVATE REEL_BENCH_FFIMPORT)
endif()
