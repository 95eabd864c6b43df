# Writes the page of a program built for the browser, once the program is
# linked (cgl_add_web_page runs it after every link):
#
#   cmake -DPARAMS=<file> -P cglWebSite.cmake
#
# PARAMS sets DIR (the program's folder), NAME (the page's file name),
# PROGRAM (the target: PROGRAM.js, .wasm and, if any, .data), TITLE, KEYS,
# SCRIPTS (the program's own page scripts), SETTINGS (name;value;... for
# those scripts), ICONS (square PNG files) and OFFLINE (ON: a service worker
# and a web app manifest too).
#
# The page carries the build's identity, a hash of everything it loads, by
# which it names the program's files (PROGRAM.js?v=<build>): a browser's
# cache or the worker's never mixes two builds. Whatever the build puts into
# the page is escaped for where it goes (HTML text, or a JSON value inside
# the script), so any title works.
cmake_minimum_required(VERSION 3.21)
include(${PARAMS})
set(here ${CMAKE_CURRENT_LIST_DIR})

function(html_escape out text)
  string(REPLACE "&" "&amp;" text "${text}")
  string(REPLACE "<" "&lt;" text "${text}")
  string(REPLACE ">" "&gt;" text "${text}")
  string(REPLACE "\"" "&quot;" text "${text}")
  string(REPLACE "'" "&#39;" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# A JSON string that is also safe inside a <script> element.
function(json_string out text)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  string(REPLACE "\n" "\\n" text "${text}")
  string(REPLACE "\r" "\\r" text "${text}")
  string(REPLACE "\t" "\\t" text "${text}")
  string(REPLACE "<" "\\u003c" text "${text}")
  string(REPLACE ">" "\\u003e" text "${text}")
  string(REPLACE "&" "\\u0026" text "${text}")
  set(${out} "\"${text}\"" PARENT_SCOPE)
endfunction()

# The settings for the page's scripts, as a JSON object.
set(settings_json "")
list(LENGTH SETTINGS count)
math(EXPR odd "${count} % 2")
if(odd)
  message(FATAL_ERROR "SETTINGS wants a value after each name: ${SETTINGS}")
endif()
while(count GREATER 0)
  list(POP_FRONT SETTINGS key value)
  math(EXPR count "${count} - 2")
  json_string(key "${key}")
  json_string(value "${value}")
  if(settings_json)
    string(APPEND settings_json ", ")
  endif()
  string(APPEND settings_json "${key}: ${value}")
endwhile()

# The program's files and their sizes, and the build's identity.
set(identity "${TITLE}\n${KEYS}\n${NAME}\n${OFFLINE}\n${settings_json}\n")
set(files_json "")
set(versioned "")
foreach(file ${PROGRAM}.js ${PROGRAM}.wasm ${PROGRAM}.data)
  if(EXISTS ${DIR}/${file})
    file(SIZE ${DIR}/${file} size)
    file(SHA256 ${DIR}/${file} hash)
    string(APPEND identity "${file} ${hash}\n")
    json_string(name "${file}")
    if(files_json)
      string(APPEND files_json ", ")
    endif()
    string(APPEND files_json "${name}: ${size}")
    list(APPEND versioned ${file})
  endif()
endforeach()
foreach(file ${here}/cgl-web-page.html.in ${here}/cgl-web-worker.js.in ${SCRIPTS} ${ICONS})
  file(SHA256 ${file} hash)
  string(APPEND identity "${hash}\n")
endforeach()
string(SHA256 build "${identity}")
string(SUBSTRING ${build} 0 16 build)

# The program's own page scripts, as they are.
set(CGL_WEB_SCRIPT "")
foreach(script ${SCRIPTS})
  file(READ ${script} text)
  string(APPEND CGL_WEB_SCRIPT "${text}\n")
endforeach()

# Installable and offline: the icons beside the page, a manifest and a worker.
set(CGL_WEB_HEAD "")
set(worker "")
set(scope "./${NAME}")
if(NAME STREQUAL "index.html")
  set(scope "./")
endif()
if(OFFLINE)
  set(icons_json "")
  set(cached "")
  foreach(icon ${ICONS})
    get_filename_component(icon_name ${icon} NAME)
    file(COPY_FILE ${icon} ${DIR}/${icon_name} ONLY_IF_DIFFERENT)
    # A PNG's width is the big-endian word at offset 16.
    file(READ ${icon} width HEX OFFSET 16 LIMIT 4)
    math(EXPR width "0x${width}")
    json_string(src "${icon_name}")
    if(icons_json)
      string(APPEND icons_json ",\n    ")
    endif()
    string(APPEND icons_json "{\"src\": ${src}, \"sizes\": \"${width}x${width}\", \"type\": \"image/png\"}")
    list(APPEND cached ${icon_name})
    html_escape(href "${icon_name}")
    string(APPEND CGL_WEB_HEAD "<link rel=\"icon\" href=\"${href}\" sizes=\"${width}x${width}\">\n")
    if(width EQUAL 192)
      string(APPEND CGL_WEB_HEAD "<link rel=\"apple-touch-icon\" href=\"${href}\">\n")
    endif()
  endforeach()
  json_string(title_json "${TITLE}")
  json_string(start "${scope}")
  file(WRITE ${DIR}/${PROGRAM}.webmanifest.tmp "{
  \"name\": ${title_json},
  \"short_name\": ${title_json},
  \"start_url\": ${start},
  \"scope\": ${start},
  \"display\": \"fullscreen\",
  \"orientation\": \"landscape\",
  \"background_color\": \"#000000\",
  \"theme_color\": \"#000000\",
  \"icons\": [
    ${icons_json}
  ]
}
")
  file(COPY_FILE ${DIR}/${PROGRAM}.webmanifest.tmp ${DIR}/${PROGRAM}.webmanifest ONLY_IF_DIFFERENT)
  file(REMOVE ${DIR}/${PROGRAM}.webmanifest.tmp)
  html_escape(href "${PROGRAM}.webmanifest")
  string(PREPEND CGL_WEB_HEAD "<link rel=\"manifest\" href=\"${href}\">\n")

  set(list_json "")
  foreach(file ${NAME} ${versioned} ${PROGRAM}.webmanifest ${cached})
    if(file IN_LIST versioned)
      set(file "${file}?v=${build}")
    endif()
    json_string(file "${file}")
    string(APPEND list_json "\n  ${file},")
  endforeach()
  string(REGEX REPLACE ",$" "\n" list_json "${list_json}")
  set(CGL_WEB_FILES "[${list_json}]")
  json_string(CGL_WEB_BUILD "${build}")
  json_string(CGL_WEB_CACHE "${PROGRAM}-")
  json_string(CGL_WEB_PAGE "${NAME}")
  set(worker "${PROGRAM}.sw.js")
  configure_file(${here}/cgl-web-worker.js.in ${DIR}/${worker} @ONLY)
endif()

html_escape(CGL_WEB_TITLE_HTML "${TITLE}")
html_escape(CGL_WEB_KEYS_HTML "${KEYS}")
json_string(title_json "${TITLE}")
json_string(program_json "${PROGRAM}")
json_string(worker_json "${worker}")
json_string(scope_json "${scope}")
set(CGL_WEB_CONFIG "{
    title: ${title_json},
    program: ${program_json},
    build: \"${build}\",
    files: { ${files_json} },
    worker: ${worker_json},
    scope: ${scope_json},
    settings: { ${settings_json} }
  }")
configure_file(${here}/cgl-web-page.html.in ${DIR}/${NAME} @ONLY)
