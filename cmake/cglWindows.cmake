# A program of the engine on Windows.
#
# cgl_add_console_launcher(<target>) builds <name>.com beside the window
# program <name>.exe (a WIN32_EXECUTABLE, no console window when it is
# double-clicked): cmd and PowerShell run <name>.com when <name> is typed,
# which runs <name>.exe with the same arguments and standard handles, waits
# for it and hands its exit status back, so that a command-line use of the
# program prints in the console and its status reaches the shell.
function(cgl_add_console_launcher target)
  get_target_property(name ${target} OUTPUT_NAME)
  if(NOT name)
    set(name ${target})
  endif()
  add_executable(${target}_console ${CGL_CONSOLE_LAUNCHER_SOURCE})
  set_target_properties(${target}_console PROPERTIES OUTPUT_NAME ${name} SUFFIX ".com")
  add_dependencies(${target} ${target}_console)
endfunction()
