# cgl_add_resource_image(<target> <image name> <folder> [DEPENDS <file or target>...])
#
# Packs every file under <folder> into the resource image <image name> with
# corepack whenever a file in it changes, before <target> is built. Names in
# the image are the paths relative to <folder>, as corefile_open takes them.
# A relative image name is placed beside the target's executable (its
# RUNTIME_OUTPUT_DIRECTORY, else the current binary directory). A folder made
# at build time gets its producing outputs or targets under DEPENDS. In the
# browser the image comes with the page (<target>.data, downloaded beside
# the program) and is found in the root folder by its name.
function(cgl_add_resource_image target image folder)
  cmake_parse_arguments(PARSE_ARGV 3 arg "" "" "DEPENDS")
  if(NOT TARGET ${target})
    message(FATAL_ERROR "cgl_add_resource_image: no target named ${target}")
  endif()
  get_filename_component(folder "${folder}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  if(IS_ABSOLUTE "${image}")
    set(output "${image}")
  else()
    get_target_property(dir ${target} RUNTIME_OUTPUT_DIRECTORY)
    if(NOT dir)
      set(dir "${CMAKE_CURRENT_BINARY_DIR}")
    endif()
    set(output "${dir}/${image}")
  endif()
  file(GLOB_RECURSE files CONFIGURE_DEPENDS "${folder}/*")
  add_custom_command(
    OUTPUT "${output}"
    COMMAND cgl::corepack pack "${output}" "${folder}"
    DEPENDS ${files} ${arg_DEPENDS} cgl::corepack
    COMMENT "Packing ${folder} into ${image}"
    VERBATIM)
  string(MAKE_C_IDENTIFIER "${target}_${image}" pack_target)
  add_custom_target(${pack_target} DEPENDS "${output}")
  add_dependencies(${target} ${pack_target})
  if(EMSCRIPTEN)
    get_filename_component(name "${output}" NAME)
    target_link_options(${target} PRIVATE "SHELL:--preload-file ${output}@/${name}")
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS "${output}")
  endif()
endfunction()
