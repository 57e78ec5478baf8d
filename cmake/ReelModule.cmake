# Helpers for building modules of the library. Resource compilation is
# attached here so that every module (the library itself, resource-only
# modules and plug-ins) is built the same way.

# The resource compiler runs on the build machine while the build goes on.
add_executable(reel_rescomp ${CMAKE_CURRENT_LIST_DIR}/../tools/rescomp/rescomp.cpp)
target_include_directories(reel_rescomp PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)

# reel_attach_resources(target [SCRIPTS file...]): compile resource scripts
# into the target's ".fmrsrc" section. Without SCRIPTS the target is the
# library: every *.rsrc file under the library's source directories is
# compiled in, and the container is named reel_library_resources.
function(reel_attach_resources target)
  cmake_parse_arguments(ARG "" "" "SCRIPTS" ${ARGN})
  if(ARG_SCRIPTS)
    set(scripts)
    foreach(s IN LISTS ARG_SCRIPTS)
      get_filename_component(abs ${s} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
      list(APPEND scripts ${abs})
    endforeach()
    string(MAKE_C_IDENTIFIER "reel_module_resources_${target}" symbol)
  else()
    set(scripts)
    foreach(dir IN LISTS REEL_SOURCE_DIRS)
      file(GLOB_RECURSE dir_scripts CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.rsrc)
      list(FILTER dir_scripts EXCLUDE REGEX "/plugins/(samples|ffmpeg)/")
      list(APPEND scripts ${dir_scripts})
    endforeach()
    set(symbol reel_library_resources)
  endif()
  set(out_dir ${CMAKE_BINARY_DIR}/resources)
  set(out ${out_dir}/${target}_resources.cpp)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${out_dir}
    COMMAND reel_rescomp -o ${out} --symbol ${symbol} --binary ${out_dir}/${target}.fmrsrc ${scripts}
    DEPENDS reel_rescomp ${scripts}
    COMMENT "Compiling resources of ${target}"
    VERBATIM)
  target_sources(${target} PRIVATE ${out})
endfunction()

# reel_add_module(name [SOURCES file...] [RESOURCES script...] [SUFFIX .fmx]
#                 [OUTPUT_DIRECTORY dir]): a loadable module (plug-in or
# resource-only module) with its resources. Modules with code link
# libreelcore.so, whose exports they call back.
function(reel_add_module name)
  cmake_parse_arguments(ARG "" "SUFFIX;OUTPUT_DIRECTORY" "SOURCES;RESOURCES" ${ARGN})
  add_library(${name} MODULE ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES PREFIX "")
  if(ARG_SUFFIX)
    set_target_properties(${name} PROPERTIES SUFFIX ${ARG_SUFFIX})
  endif()
  if(ARG_OUTPUT_DIRECTORY)
    set_target_properties(${name} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${ARG_OUTPUT_DIRECTORY})
  endif()
  if(ARG_SOURCES)
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/include)
    target_link_libraries(${name} PRIVATE reelcore)
  endif()
  if(ARG_RESOURCES)
    reel_attach_resources(${name} SCRIPTS ${ARG_RESOURCES})
  endif()
endfunction()
