# The browser build of an engine program (emscripten's toolchain).
#
# A program that links cgl::main runs as a page: cgl_web_page_options gives
# that target the link options below.
#
# cgl_add_web_page(<target> [TITLE <title>] [NAME <file>] [KEYS <text>]
#                  [SCRIPT <file.js>...] [SETTINGS <name> <value>...]
#                  [OFFLINE] [ICONS <file.png>...])
# writes the page that loads the program (<target>.html, or NAME, beside
# its .js) each time the program is linked: the picture scaled to the
# window at 16:9 on black, a line naming the keys, a full-screen button, one
# progress bar over everything the page loads, and a message with a way to
# try again where loading fails or the browser lacks WebGL or WebAssembly;
# on a phone, no zooming or scrolling, full screen at the first tap, the
# program's touch buttons and its keyboard (below). The program's lines go
# to the browser's console, and its last lines to the page when it stops.
# SCRIPT adds the program's own JavaScript, run once the page has set up
# Module and before the program loads (it may set Module.arguments and
# Module.preRun, and Module.cglTouchKeys: the buttons shown once a finger
# has been seen, each { code: 'ArrowLeft', label: '◀', place: 'left',
# 'right' or 'corner' }). SETTINGS gives those scripts values of the
# build, as strings in Module.cglSettings ({ name: value }; a value holds
# no ';'). While the program reads typed text (CGL_GetKeycode) a phone
# gets a field for its own keyboard, whose text reaches the program as key
# presses.
# OFFLINE adds a web app manifest (<target>.webmanifest: the title, ICONS,
# full screen, landscape, black) and a service worker (<target>.sw.js) that
# keeps the build's files for visits without a network; a new build
# replaces them at the next visit. ICONS are square PNG files (192 and 512
# pixels for an installable page) made before the program links.
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
  cmake_parse_arguments(PARSE_ARGV 1 arg "OFFLINE" "TITLE;NAME;KEYS" "SCRIPT;SETTINGS;ICONS")
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
  set(offline OFF)
  if(arg_OFFLINE)
    set(offline ON)
  endif()
  # What the page is made of, for cglWebSite.cmake; rewritten only when it
  # changes, as it relinks the program.
  set(params ${CMAKE_CURRENT_BINARY_DIR}/${target}-web-page.cmake)
  file(WRITE ${params}.new "set(DIR [==[${dir}]==])
set(NAME [==[${arg_NAME}]==])
set(PROGRAM [==[${target}]==])
set(TITLE [==[${arg_TITLE}]==])
set(KEYS [==[${arg_KEYS}]==])
set(SCRIPTS [==[${arg_SCRIPT}]==])
set(SETTINGS [==[${arg_SETTINGS}]==])
set(ICONS [==[${arg_ICONS}]==])
set(OFFLINE ${offline})
")
  configure_file(${params}.new ${params} COPYONLY)
  set(here ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DPARAMS=${params} -P ${here}/cglWebSite.cmake
    COMMENT "Writing the page of ${target}"
    VERBATIM)
  # Linked in through cgl::main or written into the page: a change to any of
  # them must relink the program, which writes the page again.
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS
    ${here}/cgl-web-library.js ${here}/cgl-web-page.html.in ${here}/cgl-web-worker.js.in
    ${here}/cglWebSite.cmake ${params} ${arg_SCRIPT} ${arg_ICONS})
endfunction()
