# The browser build of an engine program (emscripten's toolchain).
#
# A program that links cgl::main runs as a page: cgl_web_page_options gives
# that target the link options below.
#
# cgl_add_web_page(<target> [TITLE <title>] [NAME <file>] [KEYS <text>]
#                  [SCRIPT <file.js>])
# writes the page that loads the program (<target>.html, or NAME, beside
# its .js): the picture scaled to the window at 16:9 on black, a line
# naming the keys, a full-screen button, a progress bar, a message where the
# browser lacks WebGL or WebAssembly, and the program's lines in the
# browser console. SCRIPT adds the program's own JavaScript, run once the
# page has set up Module and before the program loads (it may set
# Module.arguments and Module.preRun).

function(cgl_web_page_options target scope)
  target_link_options(${target} ${scope}
    # OpenGL 1.1 with client arrays, the matrix stacks and alpha test,
    # emulated on WebGL.
    -sLEGACY_GL_EMULATION=1
    # coremain keeps its loops: the frame wait hands control to the browser.
    -sASYNCIFY=1 -sASYNCIFY_STACK_SIZE=65536
    -sASYNCIFY_IMPORTS=cgl_web_animationframe,cgl_web_mountsaves,cgl_web_restart
    -sALLOW_MEMORY_GROWTH=1 -sENVIRONMENT=web
    # Saves in the browser's IndexedDB.
    -lidbfs.js
    "SHELL:-sEXPORTED_RUNTIME_METHODS=[\"FS\",\"ccall\"]")
endfunction()

function(cgl_add_web_page target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "TITLE;NAME;KEYS;SCRIPT" "")
  if(NOT arg_TITLE)
    set(arg_TITLE ${target})
  endif()
  if(NOT arg_NAME)
    set(arg_NAME ${target}.html)
  endif()
  get_target_property(dir ${target} RUNTIME_OUTPUT_DIRECTORY)
  if(NOT dir)
    set(dir "${CMAKE_CURRENT_BINARY_DIR}")
  endif()
  set(CGL_WEB_TITLE "${arg_TITLE}")
  set(CGL_WEB_PROGRAM "${target}")
  set(CGL_WEB_KEYS "${arg_KEYS}")
  set(CGL_WEB_SCRIPT "")
  if(arg_SCRIPT)
    file(READ "${arg_SCRIPT}" CGL_WEB_SCRIPT)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${arg_SCRIPT}")
  endif()
  configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/cgl-web-page.html.in ${dir}/${arg_NAME} @ONLY)
  # Linked in through cgl::main; a change to it must relink the program.
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/cgl-web-library.js)
endfunction()
