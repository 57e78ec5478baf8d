# The FFmpeg exporter against the ffmpeg command, when the exporter is built.
# The module is loaded by path; the peer is the ffmpeg command, skipped at
# run time when it is missing.
if(TARGET ffmpeg-export)
  add_dependencies(${name} ffmpeg-export)
  target_compile_definitions(${name} PRIVATE REEL_FFEXPORT_MODULE="$<TARGET_FILE:ffmpeg-export>")
  target_link_libraries(${name} PRIVATE ${CMAKE_DL_LIBS})
endif()
